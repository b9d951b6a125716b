// The output site of kelvora-speak: writes the audio Speak hands it to a WAV file as it comes
// (keeping a copy only when asked, for the drawing), keeps the events, and asks Speak to
// abort once Interrupted is set (by Ctrl-C). A write past the WAV file's limit is refused,
// which ends the speaking.
#pragma once

#include "EngineSiteBase.h"
#include "WavFile.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

struct TSpokenEvent {
    std::uint16_t Id;
    ULONGLONG AudioOffset; // bytes
    WPARAM WParam;
    LPARAM LParam;
    std::u16string Name; // of a bookmark
};

class TSpeakSite : public TEngineSiteBase {
public:
    TSpeakSite(const std::atomic<bool>& interrupted, TWavWriter& wav, bool keepAudio)
        : FInterrupted(interrupted), FWav(wav), FKeepAudio(keepAudio) {}

    std::vector<std::int16_t> Audio; // only when asked to keep it
    std::vector<TSpokenEvent> Events;
    bool LimitReached = false; // the WAV file took no more

    HRESULT STDMETHODCALLTYPE AddEvents(const SPEVENT* events, ULONG count) override;
    HRESULT STDMETHODCALLTYPE GetEventInterest(ULONGLONG* interest) override;
    DWORD STDMETHODCALLTYPE GetActions() override;
    HRESULT STDMETHODCALLTYPE Write(const void* buffer, ULONG bytes, ULONG* written) override;

private:
    const std::atomic<bool>& FInterrupted;
    TWavWriter& FWav;
    const bool FKeepAudio;
};
