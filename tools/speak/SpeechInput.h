// The fragment list SAPI would hand to Speak for a text: plain text (one fragment per line),
// or the subset of SAPI's XML that the engine acts on: <bookmark mark=""/>,
// <silence msec=""/>, <rate absspeed="">, <volume level="">, <pitch absmiddle=""> and
// <spell>, the last four as elements around text or as empty elements that hold for the
// rest of the enclosing one. Character entities, an XML declaration and comments are read;
// another tag becomes an SPVA_ParseUnknownTag fragment and a warning. ulTextSrcOffset points
// into the input, each entity being a fragment of its own at its place.
#pragma once

#include "SAPI5DDI.h"

#include <cstddef>
#include <deque>
#include <stdexcept>
#include <string>
#include <vector>

// Bad markup, with the position (UTF-16 code units from the start) where it was found.
class TMarkupError : public std::runtime_error {
public:
    TMarkupError(std::size_t position, const std::string& message)
        : std::runtime_error(message), Position(position) {}
    const std::size_t Position;
};

class TSpeechInput {
public:
    static TSpeechInput FromText(std::u16string text);
    // Throws TMarkupError.
    static TSpeechInput FromMarkup(std::u16string text);

    TSpeechInput(TSpeechInput&&) = default;
    TSpeechInput& operator=(TSpeechInput&&) = default;

    const SPVTEXTFRAG* First() const { return FFragments.empty() ? nullptr : &FFragments.front(); }
    const std::u16string& Source() const { return FSource; }
    // What the reader passed over with a word to the user (tags outside the subset).
    const std::vector<std::string>& Warnings() const { return FWarnings; }

    // "line L, column C" of a position in a text.
    static std::string Where(const std::u16string& text, std::size_t position);

private:
    TSpeechInput() = default;
    void Add(SPVACTIONS action, const SPVSTATE& state, std::u16string text, std::size_t offset);

    std::u16string FSource;
    std::deque<std::u16string> FTexts;
    std::deque<SPVTEXTFRAG> FFragments;
    std::vector<std::string> FWarnings;
};
