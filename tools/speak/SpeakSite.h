// The output site of kelvora-speak: keeps the audio and the events Speak hands it, and
// asks Speak to abort once Interrupted is set (by Ctrl-C).
#pragma once

#include "EngineSiteBase.h"

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
    explicit TSpeakSite(const std::atomic<bool>& interrupted) : FInterrupted(interrupted) {}

    std::vector<std::int16_t> Audio;
    std::vector<TSpokenEvent> Events;

    HRESULT STDMETHODCALLTYPE AddEvents(const SPEVENT* events, ULONG count) override;
    HRESULT STDMETHODCALLTYPE GetEventInterest(ULONGLONG* interest) override;
    DWORD STDMETHODCALLTYPE GetActions() override;
    HRESULT STDMETHODCALLTYPE Write(const void* buffer, ULONG bytes, ULONG* written) override;

private:
    const std::atomic<bool>& FInterrupted;
};
