// The timeline's JSON and drawing stay well-formed whatever the text and bookmark names hold.
#include "Timeline.h"
#include "TextCodec.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

bool ValidUtf8(const std::string& text) {
    return Utf8FromUtf16(Utf16FromUtf8(text)) == text &&
           Utf16FromUtf8(text).find(u'\uFFFF') == std::u16string::npos;
}

// The bytes XML 1.0 cannot hold: control characters but tab, line feed and carriage return.
bool HasXmlControlCharacter(const std::string& text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r')
            return true;
    return false;
}

TEST(Timeline, StaysWellFormedForAnyText) {
    const std::u16string names[] = {u"bel\u0001", std::u16string(u"a\xD800z"), u"<&\">", u"\u001F"};
    for (const std::u16string& name : names) {
        const std::u16string source = u"Hallo " + name + u" wereld";
        const std::vector<TSpokenEvent> events = {
            {SPEI_TTS_BOOKMARK, 0, 0, 0, name},
            {SPEI_WORD_BOUNDARY, 0, static_cast<WPARAM>(name.size()), 6, {}},
            {SPEI_VISEME, 0, 10u << 16, 1, {}},
        };
        const std::vector<std::int16_t> audio(441, 100);
        const std::string json = TimelineJson(events, source, 22050);
        const std::string svg = TimelineSvg(audio, events, source, 22050);
        EXPECT_TRUE(ValidUtf8(json)) << json;
        EXPECT_TRUE(ValidUtf8(svg));
        EXPECT_FALSE(HasXmlControlCharacter(svg));
        EXPECT_FALSE(HasXmlControlCharacter(json)) << "JSON escapes control characters";
    }
    EXPECT_NE(
        TimelineJson({{SPEI_TTS_BOOKMARK, 0, 0, 0, u"bel\u0001"}}, u"", 22050).find("\\u0001"),
        std::string::npos);
}

} // namespace
