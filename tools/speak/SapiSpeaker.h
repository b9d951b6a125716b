// Speaking through the system's SAPI runtime (Windows): kelvora-speak --sapi. The voice comes
// from SAPI's voice category, SAPI drives the engine, and the audio arrives in an output
// stream of ours; the events too, where the runtime delivers them. This header keeps SAPI's
// own declarations away from the engine's, which the rest of the tool uses.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

struct TSapiEvent {
    std::uint16_t Id;
    std::uint64_t AudioOffset; // bytes
    std::uint64_t WParam;
    std::int64_t LParam;
    std::u16string Name; // of a bookmark
};

struct TSapiSpeech {
    std::vector<std::int16_t> Audio;
    std::uint32_t SamplingRate = 0;
    // Why the runtime gave no events (empty when it did): a runtime without them still speaks.
    std::string NoEventsReason;
    std::vector<TSapiEvent> Events;
};

// A step of SAPI that failed, with its HRESULT; VoiceMissing when the voice is not in SAPI's
// voice category.
class TSapiFailure : public std::runtime_error {
public:
    TSapiFailure(const std::string& step, long result, bool voiceMissing = false)
        : std::runtime_error(step), Result(result), VoiceMissing(voiceMissing) {}
    const long Result;
    const bool VoiceMissing;
};

// Speaks `text` (SAPI XML when `xml`) with the voice token named `voice` (SAPI's default
// voice when none) into a stream of 16-bit mono PCM at `formatRate`, or at the voice's
// "SamplingRate" when none is given. Throws TSapiFailure.
TSapiSpeech SpeakThroughSapi(const std::u16string& text, bool xml,
                             const std::optional<std::u16string>& voice, std::uint32_t formatRate);
