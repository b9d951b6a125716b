#include "SpeechInput.h"

#include "WholeNumber.h"

#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <vector>

namespace {

SPVSTATE NeutralState() {
    SPVSTATE state{};
    state.eAction = SPVA_Speak;
    state.LangID = 0x413;
    state.Volume = 100;
    return state;
}

bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

bool HasWords(const std::u16string& text) {
    for (char16_t c : text)
        if (!IsBlank(c))
            return true;
    return false;
}

std::string Narrow(std::u16string_view text) {
    std::string narrow;
    for (char16_t c : text)
        narrow.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return narrow;
}

struct TTag {
    std::size_t Position;
    std::u16string Name;
    std::map<std::u16string, std::u16string> Attributes;
    bool Closing = false;
    bool Empty = false;
};

// Reads markup from left to right.
class TMarkupReader {
public:
    explicit TMarkupReader(const std::u16string& text) : FText(text) {}

    bool AtEnd() const { return FAt >= FText.size(); }
    bool AtTag() const { return !AtEnd() && FText[FAt] == u'<'; }
    std::size_t Position() const { return FAt; }

    // Text up to the next tag, with the five character entities replaced.
    std::u16string Text() {
        std::u16string text;
        while (!AtEnd() && !AtTag()) {
            if (FText[FAt] != u'&') {
                text.push_back(FText[FAt++]);
                continue;
            }
            static const std::pair<std::u16string_view, char16_t> entities[] = {{u"&lt;", u'<'},
                                                                                {u"&gt;", u'>'},
                                                                                {u"&amp;", u'&'},
                                                                                {u"&quot;", u'"'},
                                                                                {u"&apos;", u'\''}};
            bool known = false;
            for (const auto& [entity, character] : entities) {
                if (FText.compare(FAt, entity.size(), entity) == 0) {
                    text.push_back(character);
                    FAt += entity.size();
                    known = true;
                    break;
                }
            }
            if (!known)
                throw TMarkupError(FAt, "unknown character entity; write & as &amp;");
        }
        return text;
    }

    TTag Tag() {
        TTag tag;
        tag.Position = FAt++;
        if (!AtEnd() && FText[FAt] == u'/') {
            tag.Closing = true;
            ++FAt;
        }
        tag.Name = Name();
        if (tag.Name.empty())
            throw TMarkupError(tag.Position, "a tag without a name");
        for (;;) {
            SkipBlanks();
            if (AtEnd())
                throw TMarkupError(tag.Position,
                                   "the tag <" + Narrow(tag.Name) + "> is not closed with '>'");
            if (FText[FAt] == u'>') {
                ++FAt;
                return tag;
            }
            if (FText[FAt] == u'/' && FAt + 1 < FText.size() && FText[FAt + 1] == u'>') {
                tag.Empty = true;
                FAt += 2;
                return tag;
            }
            const std::size_t attributeAt = FAt;
            std::u16string attribute = Name();
            SkipBlanks();
            if (attribute.empty() || AtEnd() || FText[FAt] != u'=')
                throw TMarkupError(attributeAt, "expected an attribute name=\"value\"");
            ++FAt;
            SkipBlanks();
            if (AtEnd() || (FText[FAt] != u'"' && FText[FAt] != u'\''))
                throw TMarkupError(FAt, "an attribute value must be in quotes");
            const char16_t quote = FText[FAt++];
            const std::size_t close = FText.find(quote, FAt);
            if (close == std::u16string::npos)
                throw TMarkupError(attributeAt, "the attribute value is not closed");
            tag.Attributes[attribute] = FText.substr(FAt, close - FAt);
            FAt = close + 1;
        }
    }

private:
    std::u16string Name() {
        std::u16string name;
        while (!AtEnd() && ((FText[FAt] >= u'a' && FText[FAt] <= u'z') ||
                            (FText[FAt] >= u'A' && FText[FAt] <= u'Z')))
            name.push_back(FText[FAt++]);
        return name;
    }
    void SkipBlanks() {
        while (!AtEnd() && IsBlank(FText[FAt]))
            ++FAt;
    }

    const std::u16string& FText;
    std::size_t FAt = 0;
};

std::int64_t Number(const TTag& tag, const std::u16string& attribute, std::int64_t lowest,
                    std::int64_t highest) {
    auto found = tag.Attributes.find(attribute);
    if (found == tag.Attributes.end())
        throw TMarkupError(tag.Position,
                           "<" + Narrow(tag.Name) + "> needs the attribute " + Narrow(attribute));
    const std::optional<std::int64_t> value = WholeNumberIn(found->second, lowest, highest);
    if (!value)
        throw TMarkupError(tag.Position, Narrow(attribute) + " of <" + Narrow(tag.Name) +
                                             "> must be a whole number from " +
                                             std::to_string(lowest) + " to " +
                                             std::to_string(highest));
    return *value;
}

struct TOpenElement {
    std::u16string Name;
    std::size_t Position;
    SPVSTATE State;
    bool Spelling;
};

} // namespace

void TSpeechInput::Add(SPVACTIONS action, const SPVSTATE& state, std::u16string text,
                       std::size_t offset) {
    FTexts.push_back(std::move(text));
    SPVTEXTFRAG fragment{};
    fragment.State = state;
    fragment.State.eAction = action;
    fragment.pTextStart = FTexts.back().c_str();
    fragment.ulTextLen = static_cast<ULONG>(FTexts.back().size());
    fragment.ulTextSrcOffset = static_cast<ULONG>(offset);
    FFragments.push_back(fragment);
    if (FFragments.size() > 1)
        FFragments[FFragments.size() - 2].pNext = &FFragments.back();
}

TSpeechInput TSpeechInput::FromText(std::u16string text) {
    TSpeechInput input;
    input.FSource = std::move(text);
    const SPVSTATE state = NeutralState();
    std::size_t start = 0;
    while (start < input.FSource.size()) {
        std::size_t end = input.FSource.find(u'\n', start);
        if (end == std::u16string::npos)
            end = input.FSource.size();
        std::u16string line = input.FSource.substr(start, end - start);
        if (HasWords(line))
            input.Add(SPVA_Speak, state, std::move(line), start);
        start = end + 1;
    }
    return input;
}

TSpeechInput TSpeechInput::FromMarkup(std::u16string text) {
    TSpeechInput input;
    input.FSource = std::move(text);
    TMarkupReader reader(input.FSource);
    std::vector<TOpenElement> open;
    SPVSTATE state = NeutralState();
    bool spelling = false;
    while (!reader.AtEnd()) {
        if (!reader.AtTag()) {
            const std::size_t at = reader.Position();
            std::u16string run = reader.Text();
            if (HasWords(run))
                input.Add(spelling ? SPVA_SpellOut : SPVA_Speak, state, std::move(run), at);
            continue;
        }
        TTag tag = reader.Tag();
        if (tag.Closing) {
            if (open.empty() || open.back().Name != tag.Name)
                throw TMarkupError(tag.Position, "</" + Narrow(tag.Name) + "> closes no open <" +
                                                     Narrow(tag.Name) + ">");
            state = open.back().State;
            spelling = open.back().Spelling;
            open.pop_back();
            continue;
        }
        const bool scoped = tag.Name == u"rate" || tag.Name == u"volume" || tag.Name == u"pitch" ||
                            tag.Name == u"spell";
        if (tag.Name == u"bookmark" || tag.Name == u"silence") {
            if (!tag.Empty)
                throw TMarkupError(tag.Position, "<" + Narrow(tag.Name) + "> must be empty: <" +
                                                     Narrow(tag.Name) + " .../>");
            if (tag.Name == u"bookmark") {
                auto mark = tag.Attributes.find(u"mark");
                if (mark == tag.Attributes.end())
                    throw TMarkupError(tag.Position, "<bookmark> needs the attribute mark");
                input.Add(SPVA_Bookmark, state, mark->second, tag.Position);
            } else {
                SPVSTATE silence = state;
                silence.SilenceMSecs = static_cast<ULONG>(
                    Number(tag, u"msec", 0, std::numeric_limits<std::uint32_t>::max()));
                input.Add(SPVA_Silence, silence, u"", tag.Position);
            }
            continue;
        }
        if (!scoped)
            throw TMarkupError(tag.Position, "unknown tag <" + Narrow(tag.Name) + ">");
        if (!tag.Empty)
            open.push_back({tag.Name, tag.Position, state, spelling});
        if (tag.Name == u"rate")
            state.RateAdj = static_cast<LONG>(Number(tag, u"absspeed", -10, 10));
        else if (tag.Name == u"volume")
            state.Volume = static_cast<ULONG>(Number(tag, u"level", 0, 100));
        else if (tag.Name == u"pitch")
            state.PitchAdj.MiddleAdj = static_cast<LONG>(Number(tag, u"absmiddle", -10, 10));
        else
            spelling = true;
    }
    if (!open.empty())
        throw TMarkupError(open.back().Position,
                           "<" + Narrow(open.back().Name) + "> is never closed");
    return input;
}

std::string TSpeechInput::Where(const std::u16string& text, std::size_t position) {
    std::size_t line = 1, column = 1;
    for (std::size_t i = 0; i < position && i < text.size(); ++i) {
        if (text[i] == u'\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
    return "line " + std::to_string(line) + ", column " + std::to_string(column);
}
