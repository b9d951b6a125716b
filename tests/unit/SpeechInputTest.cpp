// kelvora-speak's input: the fragment lists of plain text and of the SAPI XML subset, its
// errors, and the WAV files it writes.
#include "SpeechInput.h"
#include "WavFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <streambuf>
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

// Counts what is written and keeps only the first bytes, where the header is: a writer can
// be fed past 4 GiB without the audio being held anywhere.
class TCountingBuffer : public std::streambuf {
public:
    std::uint8_t Header[64] = {};
    std::uint64_t Size = 0;

protected:
    std::streamsize xsputn(const char* bytes, std::streamsize count) override {
        for (std::streamsize i = 0; i < count && FAt + i < sizeof Header; ++i)
            Header[FAt + i] = static_cast<std::uint8_t>(bytes[i]);
        FAt += static_cast<std::uint64_t>(count);
        Size = std::max(Size, FAt);
        return count;
    }
    int_type overflow(int_type c) override {
        const char byte = static_cast<char>(c);
        return xsputn(&byte, 1) == 1 ? c : traits_type::eof();
    }
    pos_type seekoff(off_type offset, std::ios::seekdir from, std::ios::openmode) override {
        FAt = static_cast<std::uint64_t>((from == std::ios::beg   ? 0
                                          : from == std::ios::end ? static_cast<off_type>(Size)
                                                                  : static_cast<off_type>(FAt)) +
                                         offset);
        return static_cast<pos_type>(static_cast<off_type>(FAt));
    }
    pos_type seekpos(pos_type position, std::ios::openmode mode) override {
        return seekoff(static_cast<off_type>(position), std::ios::beg, mode);
    }

private:
    std::uint64_t FAt = 0;
};

TEST(WavFile, StopsAtTheRiffLimitWithAValidFile) {
    TCountingBuffer buffer;
    std::ostream out(&buffer);
    TWavWriter writer(out, 22050);
    static const std::vector<std::int16_t> second(1 << 20, 0); // 2 MiB of silence
    std::uint64_t appended = 0;
    while (writer.Append(second.data(), second.size()))
        appended += second.size() * 2;
    EXPECT_GT(appended, 0xFFFFFFFFull - 36 - 2 * second.size() * 2);
    // What is left below the limit still goes in; past it nothing does.
    const std::size_t rest =
        static_cast<std::size_t>((TWavWriter::MaximumDataBytes - appended) / 2);
    EXPECT_TRUE(writer.Append(second.data(), rest));
    EXPECT_FALSE(writer.Append(second.data(), 1));
    ASSERT_TRUE(writer.Finish());
    auto u32 = [&](std::size_t at) {
        return buffer.Header[at] | buffer.Header[at + 1] << 8 | buffer.Header[at + 2] << 16 |
               static_cast<std::uint32_t>(buffer.Header[at + 3]) << 24;
    };
    EXPECT_EQ(buffer.Size, 44 + TWavWriter::MaximumDataBytes);
    EXPECT_EQ(u32(40), TWavWriter::MaximumDataBytes);
    EXPECT_EQ(u32(4), 36 + TWavWriter::MaximumDataBytes); // 0xFFFFFFFE: the RIFF size fits
}

} // namespace
