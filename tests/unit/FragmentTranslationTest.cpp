#include "FragmentTranslation.h"

#include "FragmentList.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

namespace {

// A sync node as a line: "at FIndex from SIndex", then "mark" for HLLen -1 or "spell HLLen"
// for a spelled-out fragment, then the bookmark name in quotes.
std::vector<std::string> Nodes(const TSyncQueue& list) {
    std::vector<std::string> nodes;
    for (Sync node = list.Head(); node; node = node->Next) {
        std::string line =
            "at " + std::to_string(node->FIndex) + " from " + std::to_string(node->SIndex);
        if (node->HLLen < 0)
            line += " mark";
        else if (node->HLLen > 0)
            line += " spell " + std::to_string(node->HLLen);
        if (!node->BkMrk.empty())
            line += " \"" + std::string(node->BkMrk.begin(), node->BkMrk.end()) + "\"";
        nodes.push_back(line);
    }
    return nodes;
}

struct TTranslationCase {
    const char* Name;
    std::initializer_list<TFragment> Fragments;
    std::u16string Text;
    std::vector<std::string> Expected;
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
    {"PlainWordGetsASpace", {Speak(u"Hello").At(40)}, u"Hello ", {"at 0 from 40"}},
    {"TrailingSpaceIsKept", {Speak(u"Hello ")}, u"Hello ", {"at 0 from 0"}},
    {"TabOrLineBreakStillGetsASpace",
     {Speak(u"a\t"), Speak(u"b\n")},
     u"a\t b\n ",
     {"at 0 from 0", "at 3 from 2"}},
    {"TempoBeforeText", {Speak(u"Hello").Rate(2)}, u" \\tempo=2\\ Hello ", {"at 11 from 0"}},
    {"VolumeChangesBothWays",
     {Speak(u"a").Vol(50), Speak(u"b").Vol(100)},
     u" \\volume=50\\ a  \\volume=100\\ b ",
     {"at 13 from 0", "at 29 from 1"}},
    {"UnchangedValuesSendNothing",
     {Speak(u"a").Rate(-3), Speak(u"b").Rate(-3)},
     u" \\tempo=-3\\ a b ",
     {"at 12 from 0", "at 14 from 1"}},
    {"SequencesInTempoPitchVolumeOrder",
     {Speak(u"x").Rate(1).Pitch(-2).Vol(3)},
     u" \\tempo=1\\  \\pitch=-2\\  \\volume=3\\ x ",
     {"at 35 from 0"}},
    {"ExtremeValuesInFullDecimal",
     {Speak(u"x")
          .Rate(std::numeric_limits<LONG>::min())
          .Pitch(std::numeric_limits<LONG>::max())
          .Vol(std::numeric_limits<ULONG>::max())},
     u" \\tempo=-2147483648\\  \\pitch=2147483647\\  \\volume=4294967295\\ x ",
     {"at 62 from 0"}},
    {"Silence1999",
     {Silence(1999)},
     u" \\insert=$M$D$C$C$C$C$L$X$X$X$X$V$I$I$I$I\\ ",
     {"at 0 from 0 mark"}},
    {"Silence2750AfterWord",
     {Speak(u"a"), Silence(2750)},
     u"a  \\insert=$M$M$D$C$C$L\\ ",
     {"at 0 from 0", "at 2 from 1 mark"}},
    {"ZeroSilenceWritesNothing", {Silence(0)}, u"", {"at 0 from 0"}},
    {"SpellOut", {SpellOut(u"AB").At(10)}, u"A B ", {"at 0 from 10 spell 2"}},
    {"SpellOutAfterTempo",
     {SpellOut(u"AB").Rate(2)},
     u" \\tempo=2\\ A B ",
     {"at 11 from 0 spell 2"}},
    {"BookmarkBetweenWords",
     {Speak(u"Hello"), Bookmark(u"7"), Speak(u"world")},
     u"Hello world ",
     {"at 0 from 0", "at 6 from 5 mark \"7\"", "at 6 from 6"}},
    {"EmptyBookmarkName", {Bookmark(u"")}, u"", {"at 0 from 0 mark"}},
    {"OtherActionsAddOnlyNodes",
     {Fragment(SPVA_Pronounce, u"p"), Fragment(SPVA_Section, u"s"),
      Fragment(SPVA_ParseUnknownTag, u"t"), Fragment(static_cast<SPVACTIONS>(99), u"u")},
     u"",
     {"at 0 from 0", "at 0 from 1", "at 0 from 2", "at 0 from 3"}},
    {"UnknownActionIgnoresItsState",
     {Fragment(static_cast<SPVACTIONS>(-1), u"x").Rate(5), Speak(u"y")},
     u"y ",
     {"at 0 from 0", "at 0 from 1"}},
    {"TextEndsAtNul",
     {Speak(std::u16string(u"ab\0cd", 5)), Bookmark(std::u16string(u"9\0x", 3))},
     u"ab ",
     {"at 0 from 0", "at 3 from 5 mark \"9\""}},
    {"NulBeforeALengthThatRunsPastTheBuffer",
     {Speak(std::u16string(u"ab\0", 3)).Length(1000000)},
     u"ab ",
     {"at 0 from 0"}},
    {"LengthShorterThanText", {Speak(u"abcdef").Length(3)}, u"abc ", {"at 0 from 0"}},
    {"SpellOutEndsAtNul",
     {SpellOut(std::u16string(u"AB\0C", 4))},
     u"A B ",
     {"at 0 from 0 spell 2"}},
    {"EmptySpeechAddsNoSpace",
     {Speak(u"a"), Speak(u""), Speak(u"b")},
     u"a b ",
     {"at 0 from 0", "at 2 from 1", "at 2 from 1"}},
    {"EmptySpeechStillSendsItsTempo",
     {Speak(u"").Rate(4), Speak(u"b").Rate(4)},
     u" \\tempo=4\\ b ",
     {"at 11 from 0", "at 11 from 0"}},
    {"EmptySpellOutAddsNothing", {SpellOut(u"")}, u"", {"at 0 from 0"}},
    {"NullTextIsEmpty",
     {Speak(u"abc").WithoutText(), Bookmark(u"1").WithoutText()},
     u"",
     {"at 0 from 0", "at 0 from 3 mark"}},
    {"PunctuationFragmentAttachesToWord",
     {Speak(u"Hello world"), Speak(u".")},
     u"Hello world.  ",
     {"at 0 from 0", "at 12 from 11"}},
    {"MarkAfterControlSequence", {Speak(u". x").Rate(2)}, u" \\tempo=2\\.  x ", {"at 11 from 0"}},
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
