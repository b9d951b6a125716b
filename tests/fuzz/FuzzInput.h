// The bytes a fuzzer hands a target, read as the values a target needs. Reading past the end
// gives zeros, so every input decodes to something.
#pragma once

#include "FragmentList.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

class TFuzzInput {
public:
    TFuzzInput(const std::uint8_t* data, std::size_t size) : FData(data), FSize(size) {}

    bool Empty() const { return FAt >= FSize; }

    template <class T> T Take() {
        T value{};
        const std::size_t count = FAt < FSize ? std::min(sizeof value, FSize - FAt) : 0;
        std::memcpy(&value, FData + FAt, count);
        FAt += sizeof value;
        return value;
    }

    // Up to `longest` UTF-16 code units, any value, NUL included.
    std::u16string Text(std::size_t longest) {
        std::u16string text(Take<std::uint8_t>() % (longest + 1), u'\0');
        for (char16_t& unit : text)
            unit = Take<char16_t>();
        return text;
    }

    // A fragment list as SAPI could hand it over: every action (and unknown ones), any
    // rate, pitch and volume, texts with NULs and surrogates inside their length, any source
    // offset. `textFilter` may change the code units of the texts.
    template <class TFilter> std::vector<TFragment> Fragments(TFilter textFilter) {
        std::vector<TFragment> fragments;
        while (!Empty() && fragments.size() < 64) {
            TFragment fragment;
            fragment.Action = static_cast<SPVACTIONS>(Take<std::uint8_t>() % 9);
            const std::uint8_t present = Take<std::uint8_t>();
            if (present & 1)
                fragment.RateAdj = Take<std::int32_t>();
            if (present & 2)
                fragment.PitchMiddle = Take<std::int32_t>();
            if (present & 4)
                fragment.Volume = Take<std::uint32_t>();
            if (present & 8) // pauses up to 20 s: longer ones only repeat "$M"
                fragment.SilenceMSecs = Take<std::uint16_t>() % 20001;
            fragment.Text = Text(40);
            for (char16_t& unit : fragment.Text)
                unit = textFilter(unit);
            if (present & 16)
                fragment.TextLen = Take<std::uint8_t>();
            if (present & 32)
                fragment.SrcOffset = Take<std::uint32_t>();
            fragment.NullText = (present & 64) != 0;
            fragments.push_back(fragment);
        }
        return fragments;
    }

private:
    const std::uint8_t* FData;
    std::size_t FSize;
    std::size_t FAt = 0;
};
