// The output site of kelvora-speak: keeps the audio and the events Speak hands it, and
// asks Speak to abort once Interrupted is set (by Ctrl-C).
#pragma once

#include "SAPI5DDI.h"

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

class TSpeakSite : public ISpTTSEngineSite {
public:
    explicit TSpeakSite(const std::atomic<bool>& interrupted) : FInterrupted(interrupted) {}

    std::vector<std::int16_t> Audio;
    std::vector<TSpokenEvent> Events;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE AddEvents(const SPEVENT* events, ULONG count) override;
    HRESULT STDMETHODCALLTYPE GetEventInterest(ULONGLONG* interest) override;
    DWORD STDMETHODCALLTYPE GetActions() override;
    HRESULT STDMETHODCALLTYPE Write(const void* buffer, ULONG bytes, ULONG* written) override;
    HRESULT STDMETHODCALLTYPE GetRate(LONG* rate) override;
    HRESULT STDMETHODCALLTYPE GetVolume(USHORT* volume) override;
    HRESULT STDMETHODCALLTYPE GetSkipInfo(SPVSKIPTYPE* type, LONG* count) override;
    HRESULT STDMETHODCALLTYPE CompleteSkip(LONG skipped) override;

private:
    const std::atomic<bool>& FInterrupted;
};
