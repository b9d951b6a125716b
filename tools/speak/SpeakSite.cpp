#include "SpeakSite.h"

HRESULT STDMETHODCALLTYPE TSpeakSite::QueryInterface(REFIID riid, void** ppv) {
    if (riid == IID_IUnknown || riid == IID_ISpEventSink || riid == IID_ISpTTSEngineSite) {
        *ppv = static_cast<ISpTTSEngineSite*>(this);
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

HRESULT STDMETHODCALLTYPE TSpeakSite::AddEvents(const SPEVENT* events, ULONG count) {
    for (ULONG i = 0; i < count; ++i) {
        const SPEVENT& e = events[i];
        TSpokenEvent spoken{e.eEventId, e.ullAudioStreamOffset, e.wParam, e.lParam, {}};
        if (e.elParamType == SPET_LPARAM_IS_STRING && e.lParam)
            spoken.Name = reinterpret_cast<const char16_t*>(e.lParam);
        Events.push_back(std::move(spoken));
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TSpeakSite::GetEventInterest(ULONGLONG* interest) {
    *interest = (1ull << SPEI_TTS_BOOKMARK) | (1ull << SPEI_WORD_BOUNDARY) | (1ull << SPEI_VISEME);
    return S_OK;
}

DWORD STDMETHODCALLTYPE TSpeakSite::GetActions() {
    return FInterrupted.load() ? DWORD{SPVES_ABORT} : DWORD{SPVES_CONTINUE};
}

HRESULT STDMETHODCALLTYPE TSpeakSite::Write(const void* buffer, ULONG bytes, ULONG* written) {
    const auto* samples = static_cast<const std::int16_t*>(buffer);
    Audio.insert(Audio.end(), samples, samples + bytes / 2);
    if (written)
        *written = bytes;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TSpeakSite::GetRate(LONG* rate) {
    *rate = 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TSpeakSite::GetVolume(USHORT* volume) {
    *volume = 100;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TSpeakSite::GetSkipInfo(SPVSKIPTYPE* type, LONG* count) {
    *type = SPVST_SENTENCE;
    *count = 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TSpeakSite::CompleteSkip(LONG) {
    return S_OK;
}
