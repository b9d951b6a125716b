#include "FragmentTranslation.h"

#include "ControlLanguage.h"

#include <exception>
#include <limits>

TSyncQueue::TSyncQueue(TSyncQueue&& other) noexcept {
    *this = std::move(other);
}

TSyncQueue& TSyncQueue::operator=(TSyncQueue&& other) noexcept {
    if (this != &other) {
        FBlocks = std::move(other.FBlocks);
        FUsedInLastBlock = other.FUsedInLastBlock;
        FHead = other.FHead;
        FTail = other.FTail;
        other.Clear();
    }
    return *this;
}

void TSyncQueue::Append(TSyncList node) {
    if (FUsedInLastBlock == BlockSize) {
        FBlocks.push_back(std::make_unique<TSyncList[]>(BlockSize));
        FUsedInLastBlock = 0;
    }
    Sync added = &FBlocks.back()[FUsedInLastBlock++];
    *added = std::move(node);
    added->Next = nullptr;
    if (FTail)
        FTail->Next = added;
    else
        FHead = added;
    FTail = added;
}

void TSyncQueue::DropHead() {
    if (!FHead)
        return;
    std::u16string().swap(FHead->BkMrk);
    FHead = FHead->Next;
    if (!FHead)
        FTail = nullptr;
}

void TSyncQueue::Clear() {
    FBlocks.clear();
    FUsedInLastBlock = BlockSize;
    FHead = nullptr;
    FTail = nullptr;
}

namespace {

// The last values sent to the library; the library starts at tempo 0, pitch 0, volume 100.
struct TSentValues {
    std::int64_t Tempo = 0;
    std::int64_t Pitch = 0;
    std::int64_t Volume = 100;
};

// The fragment's text: at most ulTextLen code units, ending early at a NUL.
std::u16string_view FragmentText(const SPVTEXTFRAG& fragment) {
    if (!fragment.pTextStart)
        return {};
    const char16_t* text = fragment.pTextStart;
    std::size_t length = 0;
    while (length < fragment.ulTextLen && text[length] != u'\0')
        ++length;
    return {text, length};
}

void AppendDecimal(std::u16string& out, std::int64_t value) {
    char16_t digits[24];
    char16_t* end = digits + sizeof digits / sizeof digits[0];
    char16_t* first = end;
    std::uint64_t magnitude =
        value < 0 ? ~static_cast<std::uint64_t>(value) + 1 : static_cast<std::uint64_t>(value);
    do {
        *--first = static_cast<char16_t>(u'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0)
        *--first = u'-';
    out.append(first, end);
}

// " \keyword=value\ ", written only when the value differs from the last one sent.
void AppendControlSequence(std::u16string& out, std::u16string_view keyword, std::int64_t value,
                           std::int64_t& lastSent) {
    if (value == lastSent)
        return;
    lastSent = value;
    out.append(u" \\");
    out.append(keyword);
    out.push_back(u'=');
    AppendDecimal(out, value);
    out.append(u"\\ ");
}

void AppendControlSequences(std::u16string& out, const SPVSTATE& state, TSentValues& sent) {
    AppendControlSequence(out, u"tempo", state.RateAdj, sent.Tempo);
    AppendControlSequence(out, u"pitch", state.PitchAdj.MiddleAdj, sent.Pitch);
    AppendControlSequence(out, u"volume", state.Volume, sent.Volume);
}

void AppendSpeechText(std::u16string& out, std::u16string_view text) {
    // An empty fragment contributes no word, so it gets no space either.
    if (text.empty())
        return;
    out.append(text);
    if (text.back() != u' ')
        out.push_back(u' ');
}

void AppendSpelledText(std::u16string& out, std::u16string_view text) {
    for (char16_t unit : text) {
        out.push_back(unit);
        out.push_back(u' ');
    }
}

void AppendPauseCode(std::u16string& out, std::uint32_t milliseconds) {
    for (const TPauseUnit& unit : PauseUnits) {
        for (; milliseconds >= unit.Milliseconds; milliseconds -= unit.Milliseconds)
            out.append(unit.Code, 2);
    }
}

// "!", ",", ".", ":", ";" and "?", all below U+0040, as bits of one mask.
constexpr std::uint64_t AttachedMarks = (1ull << u'!') | (1ull << u',') | (1ull << u'.') |
                                        (1ull << u':') | (1ull << u';') | (1ull << u'?');

bool IsAttachedMark(char16_t c) {
    return c < 64 && (AttachedMarks >> c & 1) != 0;
}

std::int32_t HighlightLength(std::size_t spelledLength) {
    constexpr std::size_t limit = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(spelledLength < limit ? spelledLength : limit);
}

} // namespace

std::u16string PauseCode(std::uint32_t milliseconds) {
    std::u16string code;
    AppendPauseCode(code, milliseconds);
    return code;
}

std::u16string SpellOutText(std::u16string_view text) {
    std::u16string spelled;
    spelled.reserve(text.size() * 2);
    AppendSpelledText(spelled, text);
    return spelled;
}

void AttachPunctuation(std::u16string& text) {
    if (text.size() <= 2)
        return;
    if (text[0] == u',' && text[1] == u' ')
        text[0] = u' ';
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] == u' ' && IsAttachedMark(text[i + 1])) {
            text[i] = text[i + 1];
            text[i + 1] = u' ';
        }
    }
}

TTranslation TranslateFragments(const SPVTEXTFRAG* first) noexcept {
    TTranslation result;
    std::u16string& out = result.EngineInputText;
    TSentValues sent;
    try {
        for (const SPVTEXTFRAG* fragment = first; fragment; fragment = fragment->pNext) {
            TSyncList node;
            node.FIndex = static_cast<std::uint32_t>(out.size());
            node.SIndex = fragment->ulTextSrcOffset;
            const SPVSTATE& state = fragment->State;
            switch (state.eAction) {
            case SPVA_Speak:
                AppendControlSequences(out, state, sent);
                node.FIndex = static_cast<std::uint32_t>(out.size());
                AppendSpeechText(out, FragmentText(*fragment));
                break;
            case SPVA_SpellOut: {
                std::u16string_view text = FragmentText(*fragment);
                node.HLLen = HighlightLength(text.size());
                AppendControlSequences(out, state, sent);
                node.FIndex = static_cast<std::uint32_t>(out.size());
                AppendSpelledText(out, text);
                break;
            }
            case SPVA_Bookmark:
                node.HLLen = -1;
                node.BkMrk = FragmentText(*fragment);
                break;
            case SPVA_Silence:
                if (state.SilenceMSecs > 0) {
                    node.HLLen = -1;
                    out.append(u" \\insert=");
                    AppendPauseCode(out, state.SilenceMSecs);
                    out.append(u"\\ ");
                }
                break;
            default:
                break;
            }
            result.SyncList.Append(std::move(node));
        }
    } catch (const std::exception&) {
        std::u16string().swap(out);
        result.Stopped = true;
    }
    AttachPunctuation(out);
    return result;
}
