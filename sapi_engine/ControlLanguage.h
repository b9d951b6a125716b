// The control language of the engine input text: the pause units of " \insert=...\ " and a
// reader of the control sequences "\name=value\". The fragment translation writes this
// language; the fake and the demo speech engine libraries read it with the reader below.
// Header only and free of the rest of the system, so that those libraries can use it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

struct TPauseUnit {
    const char16_t* Code;
    std::uint32_t Milliseconds;
};

// Largest first: a pause is written greedily as a run of these codes.
inline constexpr TPauseUnit PauseUnits[] = {
    {u"$M", 1000}, {u"$D", 500}, {u"$C", 100}, {u"$L", 50}, {u"$X", 10}, {u"$V", 5}, {u"$I", 1},
};

// The milliseconds of a pause code: the sum of its two-character units, an unknown pair
// counting 0.
inline std::uint32_t PauseMilliseconds(std::u16string_view code) {
    std::uint32_t total = 0;
    for (std::size_t i = 0; i + 1 < code.size(); i += 2)
        for (const TPauseUnit& unit : PauseUnits)
            if (code.substr(i, 2) == unit.Code)
                total += unit.Milliseconds;
    return total;
}

// One control sequence: "\name=value\" (a name alone when there is no "=").
struct TControlSequence {
    std::u16string_view Name;
    std::u16string_view Value;

    // The value read as a decimal number the way strtol reads it; 0 when it is none.
    long Number() const {
        std::string narrow;
        for (char16_t c : Value)
            narrow.push_back(c < 0x80 ? static_cast<char>(c) : '?');
        return std::strtol(narrow.c_str(), nullptr, 10);
    }
};

// When `text` has a control sequence at `position` (a "\"), reads it up to the next "\" or
// the end of the text, moves `position` past it and returns true.
inline bool ReadControlSequence(std::u16string_view text, std::size_t& position,
                                TControlSequence& sequence) {
    if (position >= text.size() || text[position] != u'\\')
        return false;
    std::size_t close = text.find(u'\\', position + 1);
    if (close == std::u16string_view::npos)
        close = text.size();
    const std::u16string_view inside = text.substr(position + 1, close - position - 1);
    const std::size_t equals = inside.find(u'=');
    sequence.Name = inside.substr(0, equals);
    sequence.Value =
        equals == std::u16string_view::npos ? std::u16string_view() : inside.substr(equals + 1);
    position = close + 1;
    return true;
}
