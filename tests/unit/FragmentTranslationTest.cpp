#include "FragmentTranslation.h"

#include "FragmentList.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

namespace {

struct TNode {
    std::uint32_t FIndex;
    std::uint64_t SIndex;
    std::int32_t HLLen;
    std::u16string BkMrk;

    bool operator==(const TNode& other) const {
        return FIndex == other.FIndex && SIndex == other.SIndex && HLLen == other.HLLen &&
               BkMrk == other.BkMrk;
    }
};

void PrintTo(const TNode& node, std::ostream* out) {
    *out << "{FIndex " << node.FIndex << ", SIndex " << node.SIndex << ", HLLen " << node.HLLen
         << ", BkMrk ";
    testing::internal::UniversalPrint(node.BkMrk, out);
    *out << "}";
}

std::vector<TNode> Nodes(const TSyncQueue& list) {
    std::vector<TNode> nodes;
    for (Sync node = list.Head(); node; node = node->Next)
        nodes.push_back({node->FIndex, node->SIndex, node->HLLen, node->BkMrk});
    return nodes;
}

struct TTranslationCase {
    const char* Name;
    std::initializer_list<TFragment> Fragments;
    std::u16string Text;
    std::vector<TNode> Expected;
};

void PrintTo(const TTranslationCase& c, std::ostream* out) {
    *out << c.Name;
}

class TranslateFragmentsTest : public testing::TestWithParam<TTranslationCase> {};

TEST_P(TranslateFragmentsTest, BuildsTextAndSyncList) {
    const TTranslationCase& c = GetParam();
    TFragmentList fragments(c.Fragments);
    TTranslation translation = TranslateFragments(fragments.First());
    EXPECT_EQ(translation.EngineInputText, c.Text);
    EXPECT_EQ(Nodes(translation.SyncList), c.Expected);
}

const TTranslationCase TranslationCases[] = {
    {"PlainWordGetsASpace", {Speak(u"Hello").At(40)}, u"Hello ", {{0, 40, 0, u""}}},
    {"TrailingSpaceIsKept", {Speak(u"Hello ")}, u"Hello ", {{0, 0, 0, u""}}},
    {"TabOrLineBreakStillGetsASpace",
     {Speak(u"a\t"), Speak(u"b\n")},
     u"a\t b\n ",
     {{0, 0, 0, u""}, {3, 2, 0, u""}}},
    {"TempoBeforeText", {Speak(u"Hello").Rate(2)}, u" \\tempo=2\\ Hello ", {{11, 0, 0, u""}}},
    {"VolumeChangesBothWays",
     {Speak(u"a").Vol(50), Speak(u"b").Vol(100)},
     u" \\volume=50\\ a  \\volume=100\\ b ",
     {{13, 0, 0, u""}, {29, 1, 0, u""}}},
    {"UnchangedValuesSendNothing",
     {Speak(u"a").Rate(-3), Speak(u"b").Rate(-3)},
     u" \\tempo=-3\\ a b ",
     {{12, 0, 0, u""}, {14, 1, 0, u""}}},
    {"SequencesInTempoPitchVolumeOrder",
     {Speak(u"x").Rate(1).Pitch(-2).Vol(3)},
     u" \\tempo=1\\  \\pitch=-2\\  \\volume=3\\ x ",
     {{35, 0, 0, u""}}},
    {"ExtremeValuesInFullDecimal",
     {Speak(u"x")
          .Rate(std::numeric_limits<LONG>::min())
          .Pitch(std::numeric_limits<LONG>::max())
          .Vol(std::numeric_limits<ULONG>::max())},
     u" \\tempo=-2147483648\\  \\pitch=2147483647\\  \\volume=4294967295\\ x ",
     {{62, 0, 0, u""}}},
    {"Silence1999",
     {Silence(1999)},
     u" \\insert=$M$D$C$C$C$C$L$X$X$X$X$V$I$I$I$I\\ ",
     {{0, 0, -1, u""}}},
    {"Silence2750AfterWord",
     {Speak(u"a"), Silence(2750)},
     u"a  \\insert=$M$M$D$C$C$L\\ ",
     {{0, 0, 0, u""}, {2, 1, -1, u""}}},
    {"ZeroSilenceWritesNothing", {Silence(0)}, u"", {{0, 0, 0, u""}}},
    {"SpellOut", {SpellOut(u"AB").At(10)}, u"A B ", {{0, 10, 2, u""}}},
    {"SpellOutAfterTempo", {SpellOut(u"AB").Rate(2)}, u" \\tempo=2\\ A B ", {{11, 0, 2, u""}}},
    {"BookmarkBetweenWords",
     {Speak(u"Hello"), Bookmark(u"7"), Speak(u"world")},
     u"Hello world ",
     {{0, 0, 0, u""}, {6, 5, -1, u"7"}, {6, 6, 0, u""}}},
    {"EmptyBookmarkName", {Bookmark(u"")}, u"", {{0, 0, -1, u""}}},
    {"OtherActionsAddOnlyNodes",
     {Fragment(SPVA_Pronounce, u"p"), Fragment(SPVA_Section, u"s"),
      Fragment(SPVA_ParseUnknownTag, u"t"), Fragment(static_cast<SPVACTIONS>(99), u"u")},
     u"",
     {{0, 0, 0, u""}, {0, 1, 0, u""}, {0, 2, 0, u""}, {0, 3, 0, u""}}},
    {"UnknownActionIgnoresItsState",
     {Fragment(static_cast<SPVACTIONS>(-1), u"x").Rate(5), Speak(u"y")},
     u"y ",
     {{0, 0, 0, u""}, {0, 1, 0, u""}}},
    {"TextEndsAtNul",
     {Speak(std::u16string(u"ab\0cd", 5)), Bookmark(std::u16string(u"9\0x", 3))},
     u"ab ",
     {{0, 0, 0, u""}, {3, 5, -1, u"9"}}},
    {"NulBeforeALengthThatRunsPastTheBuffer",
     {Speak(std::u16string(u"ab\0", 3)).Length(1000000)},
     u"ab ",
     {{0, 0, 0, u""}}},
    {"LengthShorterThanText", {Speak(u"abcdef").Length(3)}, u"abc ", {{0, 0, 0, u""}}},
    {"SpellOutEndsAtNul", {SpellOut(std::u16string(u"AB\0C", 4))}, u"A B ", {{0, 0, 2, u""}}},
    {"EmptySpeechAddsNoSpace",
     {Speak(u"a"), Speak(u""), Speak(u"b")},
     u"a b ",
     {{0, 0, 0, u""}, {2, 1, 0, u""}, {2, 1, 0, u""}}},
    {"EmptySpeechStillSendsItsTempo",
     {Speak(u"").Rate(4), Speak(u"b").Rate(4)},
     u" \\tempo=4\\ b ",
     {{11, 0, 0, u""}, {11, 0, 0, u""}}},
    {"EmptySpellOutAddsNothing", {SpellOut(u"")}, u"", {{0, 0, 0, u""}}},
    {"NullTextIsEmpty",
     {Speak(u"abc").WithoutText(), Bookmark(u"1").WithoutText()},
     u"",
     {{0, 0, 0, u""}, {0, 3, -1, u""}}},
    {"PunctuationFragmentAttachesToWord",
     {Speak(u"Hello world"), Speak(u".")},
     u"Hello world.  ",
     {{0, 0, 0, u""}, {12, 11, 0, u""}}},
    {"MarkAfterControlSequence", {Speak(u". x").Rate(2)}, u" \\tempo=2\\.  x ", {{11, 0, 0, u""}}},
};

INSTANTIATE_TEST_SUITE_P(Cases, TranslateFragmentsTest, testing::ValuesIn(TranslationCases),
                         [](const testing::TestParamInfo<TTranslationCase>& info) {
                             return std::string(info.param.Name);
                         });

TEST(TranslateFragments, NullListGivesEmptyTextAndList) {
    TTranslation translation = TranslateFragments(nullptr);
    EXPECT_TRUE(translation.EngineInputText.empty());
    EXPECT_TRUE(translation.SyncList.Empty());
}

TEST(TranslateFragments, LargestSilenceIsWrittenInFull) {
    TFragmentList fragments{Silence(std::numeric_limits<ULONG>::max())};
    TTranslation translation = TranslateFragments(fragments.First());
    const std::u16string& text = translation.EngineInputText;
    // 4294967 thousands, then 295 ms as $C$C$L$X$X$X$X$V.
    const std::size_t codeLength = 2 * (4294967 + 8);
    ASSERT_EQ(text.size(), 9 + codeLength + 2);
    EXPECT_EQ(text.substr(0, 11), u" \\insert=$M");
    EXPECT_EQ(text.substr(text.size() - 18), u"$C$C$L$X$X$X$X$V\\ ");
}

TEST(TSyncQueue, ConsumesFromTheHeadAcrossBlocks) {
    TSyncQueue list;
    for (std::uint32_t i = 0; i < 1000; ++i) {
        TSyncList node;
        node.FIndex = i;
        node.BkMrk = u"a bookmark name too long for the short-string buffer";
        list.Append(std::move(node));
    }
    Sync first = list.Head();
    list.DropHead();
    EXPECT_TRUE(first->BkMrk.empty());
    ASSERT_FALSE(list.Empty());
    EXPECT_EQ(list.Head()->FIndex, 1u);
    TSyncQueue moved = std::move(list);
    EXPECT_TRUE(list.Empty());
    EXPECT_EQ(moved.Head()->FIndex, 1u);
    std::uint32_t expected = 1;
    for (Sync node = moved.Head(); node; node = node->Next)
        EXPECT_EQ(node->FIndex, expected++);
    EXPECT_EQ(expected, 1000u);
    while (!moved.Empty())
        moved.DropHead();
    moved.Append(TSyncList{});
    EXPECT_EQ(moved.Head()->Next, nullptr);
}

struct TTextCase {
    std::u16string Input;
    std::u16string Expected;
};

void PrintTo(const TTextCase& c, std::ostream* out) {
    testing::internal::UniversalPrint(c.Input, out);
}

class AttachPunctuationTest : public testing::TestWithParam<TTextCase> {};

TEST_P(AttachPunctuationTest, MovesSpacesBehindMarks) {
    std::u16string text = GetParam().Input;
    AttachPunctuation(text);
    EXPECT_EQ(text, GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, AttachPunctuationTest,
                         testing::Values(TTextCase{u"Hello world . ", u"Hello world.  "},
                                         TTextCase{u"Hi , there ?! ", u"Hi,  there?!  "},
                                         TTextCase{u", hello ", u"  hello "},
                                         TTextCase{u", ", u", "}, TTextCase{u" ?", u" ?"},
                                         TTextCase{u"", u""}, TTextCase{u"a ?!", u"a?! "},
                                         TTextCase{u"a !,.:;?", u"a!,.:;? "},
                                         TTextCase{u"a ,b", u"a, b"}, TTextCase{u",  a", u"   a"},
                                         TTextCase{u"a -'\"", u"a -'\""},
                                         TTextCase{u"a \u3002\uFF0C", u"a \u3002\uFF0C"},
                                         TTextCase{u"a \u012E", u"a \u012E"}));

TEST(SpellOutText, FollowsEveryCodeUnitWithASpace) {
    EXPECT_EQ(SpellOutText(u"AB"), u"A B ");
    EXPECT_EQ(SpellOutText(u""), u"");
    EXPECT_EQ(SpellOutText(u"a b"), u"a   b ");
}

class PauseCodeTest : public testing::TestWithParam<std::pair<std::uint32_t, std::u16string>> {};

TEST_P(PauseCodeTest, UsesLargestUnitsFirst) {
    EXPECT_EQ(PauseCode(GetParam().first), GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(Cases, PauseCodeTest,
                         testing::Values(std::pair<std::uint32_t, std::u16string>{0, u""},
                                         std::pair<std::uint32_t, std::u16string>{1, u"$I"},
                                         std::pair<std::uint32_t, std::u16string>{4, u"$I$I$I$I"},
                                         std::pair<std::uint32_t, std::u16string>{9, u"$V$I$I$I$I"},
                                         std::pair<std::uint32_t, std::u16string>{
                                             1999, u"$M$D$C$C$C$C$L$X$X$X$X$V$I$I$I$I"},
                                         std::pair<std::uint32_t, std::u16string>{
                                             2750, u"$M$M$D$C$C$L"}));

} // namespace
