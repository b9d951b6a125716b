#include "Visemes.h"

namespace {

struct TSingleVisemes {
    std::int32_t Viseme;
    std::u16string_view Characters;
};

// Single-character symbols, by viseme.
constexpr TSingleVisemes SingleCharacterVisemes[] = {
    {1, u"@AEQae"}, {3, u"O"},     {4, u"2Yuy"},  {6, u"IJij"}, {7, u"W"},
    {8, u"o"},      {12, u"GHhx"}, {13, u"Rr"},   {14, u"Ll"},  {15, u"sz"},
    {16, u"SZ"},    {18, u"fvw"},  {19, u"Ddnt"}, {20, u"Ngk"}, {21, u"bmp"},
};

// Table A as a lookup by character, made at compile time.
struct TSingleCharacterLookup {
    std::int32_t Viseme[128] = {};
};

constexpr TSingleCharacterLookup SingleCharacterLookup = [] {
    TSingleCharacterLookup lookup;
    for (const TSingleVisemes& entry : SingleCharacterVisemes)
        for (char16_t c : entry.Characters)
            lookup.Viseme[c] = entry.Viseme;
    return lookup;
}();

struct TSymbolViseme {
    std::u16string_view Symbol;
    std::int32_t Viseme;
};

// Symbols of any other length, in the order they are compared.
constexpr TSymbolViseme LongerSymbolVisemes[] = {
    {u"tj", 16}, {u"dj", 16}, {u"nj", 16}, {u"n0", 19}, {u"Ei", 11}, {u"9y", 9}, {u"Au", 9},
    {u"I:", 6},  {u"Y:", 4},  {u"O:", 3},  {u"E~", 1},  {u"A~", 1},  {u"Y~", 4}, {u"O~", 3},
};

} // namespace

std::int32_t PhonemeToViseme(std::u16string_view phoneSymbol) {
    if (phoneSymbol.size() == 1)
        return phoneSymbol[0] < 128 ? SingleCharacterLookup.Viseme[phoneSymbol[0]] : 0;
    for (const TSymbolViseme& entry : LongerSymbolVisemes)
        if (entry.Symbol == phoneSymbol)
            return entry.Viseme;
    return 0;
}
