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
    std::size_t End = 0; // just past its ">"
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

    bool AtEntity() const { return !AtEnd() && FText[FAt] == u'&'; }
    // "<?...?>" (an XML declaration) or "<!--...-->" (a comment).
    bool AtDeclarationOrComment() const {
        return FText.compare(FAt, 2, u"<?") == 0 || FText.compare(FAt, 4, u"<!--") == 0;
    }

    // Text up to the next tag or character entity.
    std::u16string Text() {
        const std::size_t start = FAt;
        while (!AtEnd() && !AtTag() && !AtEntity())
            ++FAt;
        return FText.substr(start, FAt - start);
    }

    // The character an entity stands for: one of the five named ones, or "&#N;" or "&#xH;".
    std::u16string Entity() {
        const std::size_t start = FAt;
        const std::size_t end = FText.find(u';', start);
        const std::u16string_view name =
            end == std::u16string::npos
                ? std::u16string_view()
                : std::u16string_view(FText).substr(start + 1, end - start - 1);
        static const std::pair<std::u16string_view, char16_t> named[] = {
            {u"lt", u'<'}, {u"gt", u'>'}, {u"amp", u'&'}, {u"quot", u'"'}, {u"apos", u'\''}};
        for (const auto& [entity, character] : named)
            if (name == entity) {
                FAt = end + 1;
                return std::u16string(1, character);
            }
        if (name.size() > 1 && name[0] == u'#') {
            const bool hexadecimal = name[1] == u'x' || name[1] == u'X';
            const std::u16string_view number = name.substr(hexadecimal ? 2 : 1);
            std::uint32_t code = 0;
            bool digits = !number.empty();
            for (std::size_t k = 0; digits && k < number.size(); ++k) {
                const char16_t c = number[k];
                const int digit = c >= u'0' && c <= u'9'                  ? c - u'0'
                                  : hexadecimal && c >= u'a' && c <= u'f' ? c - u'a' + 10
                                  : hexadecimal && c >= u'A' && c <= u'F' ? c - u'A' + 10
                                                                          : -1;
                // Past U+10FFFF it is no character; stopping there keeps the sum small.
                digits = digit >= 0 && code <= 0x10FFFF;
                if (digits)
                    code = code * (hexadecimal ? 16 : 10) + static_cast<std::uint32_t>(digit);
            }
            if (digits && code > 0 && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF)) {
                FAt = end + 1;
                if (code < 0x10000)
                    return std::u16string(1, static_cast<char16_t>(code));
                code -= 0x10000;
                return {static_cast<char16_t>(0xD800 + (code >> 10)),
                        static_cast<char16_t>(0xDC00 + (code & 0x3FF))};
            }
        }
        throw TMarkupError(start, "unknown character entity; write & as &amp;");
    }

    void SkipDeclarationOrComment() {
        const bool comment = FText.compare(FAt, 4, u"<!--") == 0;
        const std::u16string_view close = comment ? u"-->" : u"?>";
        const std::size_t end = FText.find(close, FAt + 2);
        if (end == std::u16string::npos)
            throw TMarkupError(FAt, comment ? "the comment is not closed with '-->'"
                                            : "the declaration is not closed with '?>'");
        FAt = end + close.size();
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
                tag.End = ++FAt;
                return tag;
            }
            if (FText[FAt] == u'/' && FAt + 1 < FText.size() && FText[FAt + 1] == u'>') {
                tag.Empty = true;
                FAt += 2;
                tag.End = FAt;
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
            std::u16string value;
            while (FAt < close)
                value += AtEntity() ? Entity() : std::u16string(1, FText[FAt++]);
            if (FAt > close)
                throw TMarkupError(attributeAt, "a character entity runs past the value's end");
            tag.Attributes[attribute] = std::move(value);
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
    // Each run of text and each entity is a fragment of its own at its place in the input,
    // as SAPI makes them, so that positions in the engine's text map back to the input.
    while (!reader.AtEnd()) {
        const std::size_t at = reader.Position();
        if (reader.AtEntity() || !reader.AtTag()) {
            std::u16string run = reader.AtEntity() ? reader.Entity() : reader.Text();
            if (HasWords(run))
                input.Add(spelling ? SPVA_SpellOut : SPVA_Speak, state, std::move(run), at);
            continue;
        }
        if (reader.AtDeclarationOrComment()) {
            reader.SkipDeclarationOrComment();
            continue;
        }
        TTag tag = reader.Tag();
        const bool scoped = tag.Name == u"rate" || tag.Name == u"volume" || tag.Name == u"pitch" ||
                            tag.Name == u"spell";
        if (!scoped && tag.Name != u"bookmark" && tag.Name != u"silence") {
            // Outside the subset: passed on as SAPI passes an unknown tag, and said so.
            input.Add(SPVA_ParseUnknownTag, state,
                      input.FSource.substr(tag.Position, tag.End - tag.Position), tag.Position);
            input.FWarnings.push_back(Where(input.FSource, tag.Position) + ": <" +
                                      std::string(tag.Closing ? "/" : "") + Narrow(tag.Name) +
                                      "> is not a tag the engine acts on; passed on as an "
                                      "unknown tag");
            continue;
        }
        if (tag.Closing) {
            if (open.empty() || open.back().Name != tag.Name)
                throw TMarkupError(tag.Position, "</" + Narrow(tag.Name) + "> closes no open <" +
                                                     Narrow(tag.Name) + ">");
            state = open.back().State;
            spelling = open.back().Spelling;
            open.pop_back();
            continue;
        }
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
