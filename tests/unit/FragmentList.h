// Test helper: builds the linked SPVTEXTFRAG list that SAPI hands to Speak, from a short
// description per fragment. Source offsets run on from fragment to fragment unless given.
#pragma once

#include "SAPI5DDI.h"

#include <deque>
#include <initializer_list>
#include <string>
#include <vector>

struct TFragment {
    SPVACTIONS Action = SPVA_Speak;
    std::u16string Text;
    LONG RateAdj = 0;
    LONG PitchMiddle = 0;
    ULONG Volume = 100;
    ULONG SilenceMSecs = 0;
    long long TextLen = -1;   // -1: the length of Text
    long long SrcOffset = -1; // -1: right after the previous fragment's text
    bool NullText = false;

    TFragment& Rate(LONG value) { return RateAdj = value, *this; }
    TFragment& Pitch(LONG value) { return PitchMiddle = value, *this; }
    TFragment& Vol(ULONG value) { return Volume = value, *this; }
    TFragment& Length(ULONG value) { return TextLen = value, *this; }
    TFragment& At(ULONG offset) { return SrcOffset = offset, *this; }
    TFragment& WithoutText() { return NullText = true, *this; }
};

inline TFragment Fragment(SPVACTIONS action, std::u16string text = {}) {
    TFragment fragment;
    fragment.Action = action;
    fragment.Text = std::move(text);
    return fragment;
}
inline TFragment Speak(std::u16string text) {
    return Fragment(SPVA_Speak, std::move(text));
}
inline TFragment SpellOut(std::u16string text) {
    return Fragment(SPVA_SpellOut, std::move(text));
}
inline TFragment Bookmark(std::u16string name) {
    return Fragment(SPVA_Bookmark, std::move(name));
}
inline TFragment Silence(ULONG milliseconds) {
    TFragment fragment = Fragment(SPVA_Silence);
    fragment.SilenceMSecs = milliseconds;
    return fragment;
}

class TFragmentList {
public:
    TFragmentList(std::initializer_list<TFragment> fragments)
        : TFragmentList(std::vector<TFragment>(fragments)) {}
    explicit TFragmentList(const std::vector<TFragment>& fragments) {
        ULONG offset = 0;
        for (const TFragment& description : fragments) {
            FTexts.push_back(description.Text);
            SPVTEXTFRAG fragment{};
            fragment.State.eAction = description.Action;
            fragment.State.RateAdj = description.RateAdj;
            fragment.State.PitchAdj.MiddleAdj = description.PitchMiddle;
            fragment.State.Volume = description.Volume;
            fragment.State.SilenceMSecs = description.SilenceMSecs;
            fragment.pTextStart = description.NullText ? nullptr : FTexts.back().c_str();
            fragment.ulTextLen = description.TextLen < 0
                                     ? static_cast<ULONG>(description.Text.size())
                                     : static_cast<ULONG>(description.TextLen);
            fragment.ulTextSrcOffset =
                description.SrcOffset < 0 ? offset : static_cast<ULONG>(description.SrcOffset);
            offset = fragment.ulTextSrcOffset + static_cast<ULONG>(description.Text.size());
            FFragments.push_back(fragment);
        }
        for (std::size_t i = 0; i + 1 < FFragments.size(); ++i)
            FFragments[i].pNext = &FFragments[i + 1];
    }
    TFragmentList(const TFragmentList&) = delete;
    TFragmentList& operator=(const TFragmentList&) = delete;

    const SPVTEXTFRAG* First() const { return FFragments.empty() ? nullptr : &FFragments[0]; }

private:
    std::deque<std::u16string> FTexts;
    std::deque<SPVTEXTFRAG> FFragments;
};
