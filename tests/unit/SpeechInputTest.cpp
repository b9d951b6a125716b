// kelvora-speak's input: the fragment lists of plain text and of the SAPI XML subset, its
// errors, and the WAV files it writes.
#include "SpeechInput.h"
#include "WavFile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// One line per fragment: action, source offset, text, and the state that differs.
std::vector<std::string> Describe(const TSpeechInput& input) {
    static const char* const actions[] = {"speak", "silence", "pronounce",  "bookmark",
                                          "spell", "section", "unknown tag"};
    std::vector<std::string> lines;
    for (const SPVTEXTFRAG* f = input.First(); f; f = f->pNext) {
        std::string line = std::string(actions[f->State.eAction]) + " @" +
                           std::to_string(f->ulTextSrcOffset) + " \"" +
                           std::string(f->pTextStart, f->pTextStart + f->ulTextLen) + "\"";
        if (f->State.RateAdj)
            line += " rate " + std::to_string(f->State.RateAdj);
        if (f->State.Volume != 100)
            line += " volume " + std::to_string(f->State.Volume);
        if (f->State.PitchAdj.MiddleAdj)
            line += " pitch " + std::to_string(f->State.PitchAdj.MiddleAdj);
        if (f->State.SilenceMSecs)
            line += " " + std::to_string(f->State.SilenceMSecs) + " ms";
        lines.push_back(line);
    }
    return lines;
}

TEST(SpeechInput, PlainTextIsOneFragmentPerLine) {
    EXPECT_EQ(Describe(TSpeechInput::FromText(u"Een twee.\n\n  \nDrie <vier>")),
              (std::vector<std::string>{"speak @0 \"Een twee.\"", "speak @14 \"Drie <vier>\""}));
}

TEST(SpeechInput, MarkupBecomesTheFragmentsSapiMakes) {
    const TSpeechInput input = TSpeechInput::FromMarkup(
        u"Een <bookmark mark='b1'/>twee <silence msec=\"250\"/>"
        u"<rate absspeed=\"-3\">drie <volume level=\"40\">vier</volume></rate> "
        u"<pitch absmiddle='5'/>vijf <spell>KLM</spell> &lt;zes&gt;");
    EXPECT_EQ(Describe(input),
              (std::vector<std::string>{
                  "speak @0 \"Een \"", "bookmark @4 \"b1\"", "speak @25 \"twee \"",
                  "silence @30 \"\" 250 ms", "speak @71 \"drie \" rate -3",
                  "speak @95 \"vier\" rate -3 volume 40", "speak @138 \"vijf \" pitch 5",
                  "spell @150 \"KLM\" pitch 5", "speak @162 \"<\" pitch 5",
                  "speak @166 \"zes\" pitch 5", "speak @169 \">\" pitch 5"}));
}

TEST(SpeechInput, EntitiesKeepThePositionsOfTheInput) {
    const TSpeechInput input = TSpeechInput::FromMarkup(
        u"<?xml version=\"1.0\"?><!-- a -->Tom &amp; Jerry <bookmark mark='a&amp;b'/>"
        u"<spell>A&#66;</spell> <b x='1'>lopen</b>");
    EXPECT_EQ(Describe(input), (std::vector<std::string>{
                                   "speak @31 \"Tom \"", "speak @35 \"&\"", "speak @40 \" Jerry \"",
                                   "bookmark @47 \"a&b\"", "spell @80 \"A\"", "spell @81 \"B\"",
                                   "unknown tag @95 \"<b x='1'>\"", "speak @104 \"lopen\"",
                                   "unknown tag @109 \"</b>\""}));
    EXPECT_EQ(input.Warnings(),
              (std::vector<std::string>{
                  "line 1, column 96: <b> is not a tag the engine acts on; passed on as an "
                  "unknown tag",
                  "line 1, column 110: </b> is not a tag the engine acts on; passed on as an "
                  "unknown tag"}));
}

struct TBadMarkup {
    const char16_t* Text;
    std::size_t Position;
    const char* Message;
};

TEST(SpeechInput, BadMarkupNamesItsPosition) {
    const TBadMarkup cases[] = {
        {u"a <rate absspeed=\"3\">b", 2, "<rate> is never closed"},
        {u"a </volume>", 2, "</volume> closes no open <volume>"},
        {u"<rate absspeed=\"11\"/>", 0, "absspeed of <rate> must be a whole number from -10 to 10"},
        {u"<volume level=\"x\"/>", 0, "level of <volume> must be a whole number from 0 to 100"},
        {u"<silence/>", 0, "<silence> needs the attribute msec"},
        {u"<bookmark mark=\"1\">", 0, "<bookmark> must be empty: <bookmark .../>"},
        {u"x <spell", 2, "the tag <spell> is not closed with '>'"},
        {u"<rate absspeed=3/>", 15, "an attribute value must be in quotes"},
        {u"a & b", 2, "unknown character entity; write & as &amp;"},
        {u"<>", 0, "a tag without a name"},
        {u"a &amp b;", 2, "unknown character entity; write & as &amp;"},
        {u"<bookmark mark=\"&bogus;\"/>", 16, "unknown character entity; write & as &amp;"},
        {u"a <!-- b", 2, "the comment is not closed with '-->'"},
    };
    for (const TBadMarkup& c : cases) {
        std::u16string text = c.Text;
        try {
            TSpeechInput::FromMarkup(text);
            ADD_FAILURE() << "accepted: " << std::string(text.begin(), text.end());
        } catch (const TMarkupError& error) {
            EXPECT_EQ(error.Position, c.Position) << c.Message;
            EXPECT_STREQ(error.what(), c.Message);
        }
    }
    EXPECT_EQ(TSpeechInput::Where(u"ab\ncd", 4), "line 2, column 2");
}

TEST(WavFile, IsA16BitMonoPcmRiffFile) {
    const std::vector<std::uint8_t> bytes = WavFileBytes({1, -2, 0x1234}, 22050);
    ASSERT_EQ(bytes.size(), 44u + 6u);
    auto u32 = [&](std::size_t at) {
        return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
               static_cast<std::uint32_t>(bytes[at + 3]) << 24;
    };
    auto u16 = [&](std::size_t at) { return bytes[at] | bytes[at + 1] << 8; };
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "RIFF");
    EXPECT_EQ(u32(4), 42u);
    EXPECT_EQ(std::string(bytes.begin() + 8, bytes.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(u32(16), 16u);
    EXPECT_EQ(u16(20), 1);      // PCM
    EXPECT_EQ(u16(22), 1);      // mono
    EXPECT_EQ(u32(24), 22050u); // rate
    EXPECT_EQ(u32(28), 44100u); // bytes per second
    EXPECT_EQ(u16(32), 2);      // block
    EXPECT_EQ(u16(34), 16);     // bits
    EXPECT_EQ(std::string(bytes.begin() + 36, bytes.begin() + 40), "data");
    EXPECT_EQ(u32(40), 6u);
    EXPECT_EQ(u16(44), 1);
    EXPECT_EQ(u16(46), 0xFFFE);
    EXPECT_EQ(u16(48), 0x1234);
}

} // namespace
