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
    if (phoneSymbol.size() == 1) {
        for (const TSingleVisemes& entry : SingleCharacterVisemes)
            if (entry.Characters.find(phoneSymbol[0]) != std::u16string_view::npos)
                return entry.Viseme;
        return 0;
    }
    for (const TSymbolViseme& entry : LongerSymbolVisemes)
        if (entry.Symbol == phoneSymbol)
            return entry.Viseme;
    return 0;
}
