#include "SpeakSite.h"

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
    if (!FWav.Append(samples, bytes / 2)) {
        LimitReached = true;
        return E_FAIL;
    }
    if (FKeepAudio)
        Audio.insert(Audio.end(), samples, samples + bytes / 2);
    if (written)
        *written = bytes;
    return S_OK;
}
