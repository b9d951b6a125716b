// Visemes: the SAPI viseme number (SP_VISEME_0 .. SP_VISEME_21) of a phone symbol of the
// speech engine library. Exact, case-sensitive lookup; 0 for a symbol it does not know.
// Stateless; callable from any thread.
#pragma once

#include <cstdint>
#include <string_view>

std::int32_t PhonemeToViseme(std::u16string_view phoneSymbol);
