// UTF-8 to and from the system's UTF-16: what is not UTF-8 becomes U+FFFD, byte by byte.
#include "TextCodec.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct TDecodeCase {
    const char* Name;
    std::string Utf8;
    std::u16string Utf16;
};

TEST(TextCodec, DecodesUtf8AndReplacesWhatIsNot) {
    const TDecodeCase cases[] = {
        {"ASCII", "Hallo", u"Hallo"},
        {"two, three and four bytes", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80",
         u"\u00E9\u20AC\U0001F600"},
        {"overlong NUL", "\xC0\x80", u"\uFFFD\uFFFD"},
        {"overlong slash", "\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},
        {"encoded surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
        {"past U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"cut short", "a\xE2\x82", u"a\uFFFD\uFFFD"},
        {"lone continuation", "\x80z", u"\uFFFDz"},
    };
    for (const TDecodeCase& c : cases) {
        EXPECT_EQ(Utf16FromUtf8(c.Utf8), c.Utf16) << c.Name;
        if (c.Utf16.find(u'\uFFFD') == std::u16string::npos) {
            EXPECT_EQ(Utf8FromUtf16(c.Utf16), c.Utf8) << c.Name;
        }
    }
    // A lone surrogate of UTF-16 has no UTF-8 form.
    EXPECT_EQ(Utf8FromUtf16(std::u16string(u"a\xD800z")), "a\xEF\xBF\xBDz");
    EXPECT_EQ(Utf8FromUtf16(std::u16string(u"\xDC00")), "\xEF\xBF\xBD");
}

} // namespace
