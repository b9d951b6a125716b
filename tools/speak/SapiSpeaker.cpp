#include "SapiSpeaker.h"

#include "SapiClient.h"

#include <sperror.h>

#include <cstdio>
#include <cstring>
#include <cwchar>

namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wchar_t");

std::wstring Wide(const std::u16string& text) {
    return std::wstring(text.begin(), text.end());
}

void Check(HRESULT result, const char* step) {
    if (FAILED(result))
        throw TSapiFailure(step, result);
}

// Frees what an event's lParam owns, as SAPI's own helpers do.
void ClearEvent(SPEVENT& event) {
    switch (event.elParamType) {
    case SPET_LPARAM_IS_POINTER:
    case SPET_LPARAM_IS_STRING:
        CoTaskMemFree(reinterpret_cast<void*>(event.lParam));
        break;
    case SPET_LPARAM_IS_TOKEN:
    case SPET_LPARAM_IS_OBJECT:
        if (event.lParam)
            reinterpret_cast<IUnknown*>(event.lParam)->Release();
        break;
    default:
        break;
    }
    event.lParam = 0;
}

void CollectEvents(ISpVoice& voice, std::vector<TSapiEvent>& events) {
    SPEVENT batch[32];
    for (;;) {
        ULONG fetched = 0;
        if (FAILED(voice.GetEvents(32, batch, &fetched)) || fetched == 0)
            return;
        for (ULONG i = 0; i < fetched; ++i) {
            SPEVENT& e = batch[i];
            TSapiEvent event{static_cast<std::uint16_t>(e.eEventId),
                             e.ullAudioStreamOffset,
                             static_cast<std::uint64_t>(e.wParam),
                             static_cast<std::int64_t>(e.lParam),
                             {}};
            if (e.elParamType == SPET_LPARAM_IS_STRING && e.lParam) {
                const auto* name = reinterpret_cast<const wchar_t*>(e.lParam);
                event.Name.assign(name, name + std::wcslen(name));
            }
            if (e.eEventId == SPEI_TTS_BOOKMARK || e.eEventId == SPEI_WORD_BOUNDARY ||
                e.eEventId == SPEI_VISEME)
                events.push_back(std::move(event));
            ClearEvent(e);
        }
    }
}

std::string HexResult(HRESULT result) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08lX", static_cast<unsigned long>(result));
    return hex;
}

} // namespace

TSapiSpeech SpeakThroughSapi(const std::u16string& text, bool xml,
                             const std::optional<std::u16string>& voice, std::uint32_t formatRate) {
    TSapiSpeech speech;
    TComPtr<ISpVoice> spVoice;
    Check(CoCreateInstance(CLSID_SpVoice, nullptr, CLSCTX_ALL, IID_ISpVoice,
                           spVoice.ReceiveUntyped()),
          "SAPI's voice object (SpVoice) could not be made");
    TComPtr<ISpObjectToken> token;
    if (voice) {
        const HRESULT found = FindSapiVoice(Wide(*voice), token);
        if (found == SPERR_NOT_FOUND)
            throw TSapiFailure("no voice token of that name in SAPI's voice category", found, true);
        Check(found, "SAPI's voice category could not be read");
        Check(spVoice->SetVoice(token.Get()), "SAPI refused the voice (ISpVoice::SetVoice)");
    } else {
        Check(spVoice->GetVoice(token.Receive()), "SAPI has no default voice");
    }
    if (!formatRate)
        formatRate = static_cast<std::uint32_t>(
            std::wcstoul(TokenString(*token.Get(), L"SamplingRate").c_str(), nullptr, 10));
    if (!formatRate)
        formatRate = 22050;
    speech.SamplingRate = formatRate;

    TComPtr<TRecordingStream> stream = TRecordingStream::Make(formatRate);
    Check(spVoice->SetOutput(static_cast<ISpStreamFormat*>(stream.Get()), FALSE),
          "SAPI refused the output stream (ISpVoice::SetOutput)");

    const ULONGLONG interest =
        SPFEI(SPEI_TTS_BOOKMARK) | SPFEI(SPEI_WORD_BOUNDARY) | SPFEI(SPEI_VISEME);
    const HRESULT interested = spVoice->SetInterest(interest, interest);
    if (FAILED(interested))
        speech.NoEventsReason = "ISpVoice::SetInterest answered " + HexResult(interested);

    // Synchronous, so that a failure of the engine or of the format comes back here.
    const std::wstring wide = Wide(text);
    Check(spVoice->Speak(wide.c_str(), xml ? SPF_IS_XML : SPF_IS_NOT_XML, nullptr),
          "ISpVoice::Speak failed");

    if (speech.NoEventsReason.empty()) {
        CollectEvents(*spVoice.Get(), speech.Events);
        if (speech.Events.empty())
            speech.NoEventsReason = "ISpVoice::GetEvents gave none";
    }
    const std::vector<std::uint8_t> bytes = stream->Bytes();
    speech.Audio.resize(bytes.size() / 2);
    std::memcpy(speech.Audio.data(), bytes.data(), speech.Audio.size() * 2);
    return speech;
}
