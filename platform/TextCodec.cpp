#include "TextCodec.h"

#include <cstdint>

std::u16string Utf16FromUtf8(std::string_view text) {
    std::u16string out;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = lead < 0x80       ? 1
                             : lead >> 5 == 6  ? 2
                             : lead >> 4 == 14 ? 3
                             : lead >> 3 == 30 ? 4
                                               : 0;
        std::uint32_t code = length == 1   ? lead
                             : length == 2 ? lead & 0x1F
                             : length == 3 ? lead & 0x0F
                                           : lead & 0x07;
        bool valid = length != 0 && i + length <= text.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            valid = next >> 6 == 2;
            code = code << 6 | (next & 0x3F);
        }
        // The shortest form only, and no surrogate or value past U+10FFFF: anything else is
        // not UTF-8, whatever its bit pattern.
        static constexpr std::uint32_t Smallest[] = {0, 0, 0x80, 0x800, 0x10000};
        valid = valid && code >= Smallest[length] && code <= 0x10FFFF &&
                (code < 0xD800 || code > 0xDFFF);
        if (!valid) {
            out.push_back(u'\uFFFD');
            ++i;
            continue;
        }
        if (code >= 0x10000) {
            code -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(code));
        }
        i += length;
    }
    return out;
}

std::size_t Utf8OfCodePoint(std::u16string_view text, std::size_t& position, char out[4]) {
    std::uint32_t c = text[position++];
    if (c >= 0xD800 && c < 0xDC00 && position < text.size() && text[position] >= 0xDC00 &&
        text[position] < 0xE000)
        c = 0x10000 + ((c - 0xD800) << 10) + (text[position++] - 0xDC00);
    else if (c >= 0xD800 && c < 0xE000)
        c = 0xFFFD; // a lone surrogate has no UTF-8 form
    if (c < 0x80) {
        out[0] = static_cast<char>(c);
        return 1;
    }
    if (c < 0x800) {
        out[0] = static_cast<char>(0xC0 | c >> 6);
        out[1] = static_cast<char>(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        out[0] = static_cast<char>(0xE0 | c >> 12);
        out[1] = static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out[2] = static_cast<char>(0x80 | (c & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | c >> 18);
    out[1] = static_cast<char>(0x80 | (c >> 12 & 0x3F));
    out[2] = static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out[3] = static_cast<char>(0x80 | (c & 0x3F));
    return 4;
}

std::string Utf8FromUtf16(std::u16string_view text) {
    std::string out;
    char bytes[4];
    for (std::size_t i = 0; i < text.size();)
        out.append(bytes, Utf8OfCodePoint(text, i, bytes));
    return out;
}
