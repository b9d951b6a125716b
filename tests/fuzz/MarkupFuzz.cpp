// kelvora-speak's reader of SAPI XML over any text: it gives fragments or a markup error with
// a position inside the text, and every fragment's text lies inside the text it was given.
#include "SpeechInput.h"

#include <cstdlib>

namespace {

void Require(bool holds) {
    if (!holds)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::u16string text(size / 2, u'\0');
    for (std::size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
    try {
        const TSpeechInput input = TSpeechInput::FromMarkup(text);
        for (const SPVTEXTFRAG* fragment = input.First(); fragment; fragment = fragment->pNext) {
            Require(fragment->ulTextSrcOffset <= text.size());
            Require(fragment->ulTextLen == 0 || fragment->pTextStart != nullptr);
        }
    } catch (const TMarkupError& error) {
        Require(error.Position <= text.size());
        TSpeechInput::Where(text, error.Position);
    }
    return 0;
}
