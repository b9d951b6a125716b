// A whole number in a range, as the tools read one from their command line or from a markup
// attribute: an optional sign, then decimal digits and nothing else.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// The number, or nothing when the text is not such a number or lies outside lowest..highest.
inline std::optional<std::int64_t> WholeNumberIn(std::u16string_view text, std::int64_t lowest,
                                                 std::int64_t highest) {
    const bool negative = !text.empty() && text[0] == u'-';
    if (!text.empty() && (text[0] == u'-' || text[0] == u'+'))
        text.remove_prefix(1);
    if (text.empty())
        return std::nullopt;
    // Past 2^40 no range of the tools is reached; stopping there keeps the sum from overflowing.
    constexpr std::int64_t beyondEveryRange = std::int64_t{1} << 40;
    std::int64_t value = 0;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c - u'0');
        if (value > beyondEveryRange)
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value < lowest || value > highest)
        return std::nullopt;
    return value;
}
