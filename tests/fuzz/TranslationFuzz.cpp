// Fragment translation over any fragment list. The texts hold no backslash here, so every
// backslash of the engine input text belongs to a control sequence of the translation's own.
#include "ControlLanguage.h"
#include "FragmentTranslation.h"
#include "FuzzInput.h"

#include <cstdlib>
#include <string_view>

namespace {

void Require(bool holds) {
    if (!holds)
        std::abort();
}

bool IsDecimal(std::u16string_view value) {
    if (!value.empty() && value[0] == u'-')
        value.remove_prefix(1);
    if (value.empty() || (value.size() > 1 && value[0] == u'0'))
        return false;
    for (char16_t c : value)
        if (c < u'0' || c > u'9')
            return false;
    return true;
}

bool IsPauseCode(std::u16string_view value) {
    if (value.empty() || value.size() % 2 != 0)
        return false;
    for (std::size_t i = 0; i < value.size(); i += 2) {
        bool known = false;
        for (const TPauseUnit& unit : PauseUnits)
            known = known || value.substr(i, 2) == unit.Code;
        if (!known)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TFuzzInput input(data, size);
    const TFragmentList fragments(
        input.Fragments([](char16_t unit) { return unit == u'\\' ? u'/' : unit; }));
    const TTranslation translation = TranslateFragments(fragments.First());
    const std::u16string& text = translation.EngineInputText;

    // Sync nodes: positions never go back and never lie past the text.
    std::uint32_t last = 0;
    for (Sync node = translation.SyncList.Head(); node; node = node->Next) {
        Require(node->FIndex >= last);
        Require(node->FIndex <= text.size());
        last = node->FIndex;
    }

    // Attaching punctuation again keeps the length.
    std::u16string attached = text;
    AttachPunctuation(attached);
    Require(attached.size() == text.size());

    // Every control sequence: " \keyword=value\" with a known keyword and a value of its kind
    // (the space behind it may have moved behind a punctuation mark).
    for (std::size_t at = 0; at < text.size();) {
        if (text[at] != u'\\') {
            ++at;
            continue;
        }
        Require(at > 0 && text[at - 1] == u' ');
        TControlSequence sequence;
        Require(ReadControlSequence(text, at, sequence));
        Require(at <= text.size() && text[at - 1] == u'\\'); // closed, not cut off by the end
        if (sequence.Name == u"insert")
            Require(IsPauseCode(sequence.Value));
        else
            Require((sequence.Name == u"tempo" || sequence.Name == u"pitch" ||
                     sequence.Name == u"volume") &&
                    IsDecimal(sequence.Value));
    }
    return 0;
}
