#include "Visemes.h"

#include <gtest/gtest.h>

#include <ostream>
#include <set>
#include <string>

namespace {

struct TVisemeCase {
    std::u16string Symbol;
    std::int32_t Viseme;
};

void PrintTo(const TVisemeCase& c, std::ostream* out) {
    testing::internal::UniversalPrint(c.Symbol, out);
}

class PhonemeToVisemeTest : public testing::TestWithParam<TVisemeCase> {};

TEST_P(PhonemeToVisemeTest, MapsSymbol) {
    EXPECT_EQ(PhonemeToViseme(GetParam().Symbol), GetParam().Viseme);
}

// Every listed single character, every listed longer symbol, and the near misses.
INSTANTIATE_TEST_SUITE_P(
    Tables, PhonemeToVisemeTest,
    testing::Values(
        TVisemeCase{u"@", 1}, TVisemeCase{u"A", 1}, TVisemeCase{u"E", 1}, TVisemeCase{u"Q", 1},
        TVisemeCase{u"a", 1}, TVisemeCase{u"e", 1}, TVisemeCase{u"O", 3}, TVisemeCase{u"2", 4},
        TVisemeCase{u"Y", 4}, TVisemeCase{u"u", 4}, TVisemeCase{u"y", 4}, TVisemeCase{u"I", 6},
        TVisemeCase{u"J", 6}, TVisemeCase{u"i", 6}, TVisemeCase{u"j", 6}, TVisemeCase{u"W", 7},
        TVisemeCase{u"o", 8}, TVisemeCase{u"G", 12}, TVisemeCase{u"H", 12}, TVisemeCase{u"h", 12},
        TVisemeCase{u"x", 12}, TVisemeCase{u"R", 13}, TVisemeCase{u"r", 13}, TVisemeCase{u"L", 14},
        TVisemeCase{u"l", 14}, TVisemeCase{u"s", 15}, TVisemeCase{u"z", 15}, TVisemeCase{u"S", 16},
        TVisemeCase{u"Z", 16}, TVisemeCase{u"f", 18}, TVisemeCase{u"v", 18}, TVisemeCase{u"w", 18},
        TVisemeCase{u"D", 19}, TVisemeCase{u"d", 19}, TVisemeCase{u"n", 19}, TVisemeCase{u"t", 19},
        TVisemeCase{u"N", 20}, TVisemeCase{u"g", 20}, TVisemeCase{u"k", 20}, TVisemeCase{u"b", 21},
        TVisemeCase{u"m", 21}, TVisemeCase{u"p", 21}, TVisemeCase{u"tj", 16},
        TVisemeCase{u"dj", 16}, TVisemeCase{u"nj", 16}, TVisemeCase{u"n0", 19},
        TVisemeCase{u"Ei", 11}, TVisemeCase{u"9y", 9}, TVisemeCase{u"Au", 9}, TVisemeCase{u"I:", 6},
        TVisemeCase{u"Y:", 4}, TVisemeCase{u"O:", 3}, TVisemeCase{u"E~", 1}, TVisemeCase{u"A~", 1},
        TVisemeCase{u"Y~", 4}, TVisemeCase{u"O~", 3}));

INSTANTIATE_TEST_SUITE_P(
    Unknown, PhonemeToVisemeTest,
    testing::Values(TVisemeCase{u"", 0}, TVisemeCase{u"ei", 0}, TVisemeCase{u"EI", 0},
                    TVisemeCase{u"T", 0}, TVisemeCase{u"P", 0}, TVisemeCase{u"K", 0},
                    TVisemeCase{u"c", 0}, TVisemeCase{u"q", 0}, TVisemeCase{u"B", 0},
                    TVisemeCase{u"C", 0}, TVisemeCase{u"F", 0}, TVisemeCase{u"M", 0},
                    TVisemeCase{u"U", 0}, TVisemeCase{u"V", 0}, TVisemeCase{u"X", 0},
                    TVisemeCase{u"0", 0}, TVisemeCase{u"9", 0}, TVisemeCase{u"a:", 0},
                    TVisemeCase{u"E:", 0}, TVisemeCase{u"u:", 0}, TVisemeCase{u"2:", 0},
                    TVisemeCase{u"Ay", 0}, TVisemeCase{u"Ei ", 0}, TVisemeCase{u"tjx", 0},
                    TVisemeCase{std::u16string(1, u'\0'), 0},
                    TVisemeCase{std::u16string(1, u'\u00E9'), 0}));

// Over every symbol of one or two ASCII characters the mapping yields exactly the visemes
// of the phone set, never 2, 5, 10 or 17.
TEST(PhonemeToViseme, ProducesExactlyThePhoneSetVisemes) {
    std::set<std::int32_t> produced;
    for (char16_t first = 0; first < 0x80; ++first) {
        produced.insert(PhonemeToViseme(std::u16string(1, first)));
        for (char16_t second = 0; second < 0x80; ++second)
            produced.insert(PhonemeToViseme(std::u16string{first, second}));
    }
    EXPECT_EQ(produced, (std::set<std::int32_t>{0, 1, 3, 4, 6, 7, 8, 9, 11, 12, 13, 14, 15, 16, 18,
                                                19, 20, 21}));
}

} // namespace
