#include "Engine.h"

#include "FragmentTranslation.h"
#include "PhoneLoop.h"
#include "Platform.h"

#include <cstring>
#include <new>
#include <utility>

namespace {

constexpr std::uint32_t LowestRequestedRate = 4000;
constexpr std::uint32_t HighestRequestedRate = 96000;
// SAPI's format record is 18 bytes. The block handed out has room for 20, zeroed, so that a
// host that reads the record rounded up to its 4-byte alignment (sizeof on a padded
// platform) reads zeros rather than past the block.
constexpr std::size_t OutputFormatBlockSize = 20;

constexpr TInterfaceEntry EngineInterfaces[] = {
    {&IID_ISpObjectWithToken, &ReachInterface<TKelvoraSAPI5Engine, ISpObjectWithToken>},
    {&IID_ISpTTSEngine, &ReachInterface<TKelvoraSAPI5Engine, ISpTTSEngine>},
};

// A string that GetStringValue handed out, freed with the task allocator.
class TTokenString {
public:
    TTokenString() = default;
    TTokenString(const TTokenString&) = delete;
    TTokenString& operator=(const TTokenString&) = delete;
    ~TTokenString() { Platform::TaskMemFree(FText); }
    char16_t** Receive() { return &FText; }
    std::u16string Text() const { return FText ? std::u16string(FText) : std::u16string(); }

private:
    char16_t* FText = nullptr;
};

// A sampling rate: decimal digits only, 1 to 4294967295 Hz.
bool ParseSamplingRate(const std::u16string& text, std::uint32_t& rate) {
    if (text.empty())
        return false;
    std::uint64_t value = 0;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9')
            return false;
        value = value * 10 + static_cast<std::uint64_t>(c - u'0');
        if (value > UINT32_MAX)
            return false;
    }
    rate = static_cast<std::uint32_t>(value);
    return rate != 0;
}

// The counted part of a Speak call: BeginEngineUse on entry, EndEngineUse on every way out.
class TEngineUse {
public:
    explicit TEngineUse(TEngineHandles& handles) : FUsable(BeginEngineUse(handles)) {}
    TEngineUse(const TEngineUse&) = delete;
    TEngineUse& operator=(const TEngineUse&) = delete;
    ~TEngineUse() { EndEngineUse(); }
    bool Usable() const { return FUsable; }

private:
    bool FUsable;
};

} // namespace

TInterfaceTable TKelvoraSAPI5Engine::ClassInterfaces() const {
    return {EngineInterfaces, sizeof EngineInterfaces / sizeof EngineInterfaces[0]};
}

TKelvoraSAPI5Engine::~TKelvoraSAPI5Engine() {
    ReleaseEngineHandles(Library);
}

HRESULT STDMETHODCALLTYPE TKelvoraSAPI5Engine::SetObjectToken(ISpObjectToken* pToken) {
    if (!pToken)
        return E_INVALIDARG;
    try {
        TTokenString name, rateText;
        HRESULT hr = pToken->GetStringValue(u"", name.Receive());
        if (FAILED(hr))
            return hr;
        hr = pToken->GetStringValue(u"SamplingRate", rateText.Receive());
        if (FAILED(hr))
            return hr;
        std::uint32_t rate = 0;
        if (!ParseSamplingRate(rateText.Text(), rate))
            return E_INVALIDARG;
        std::u16string voiceName = name.Text();
        FVoice = TComPtr<ISpObjectToken>(pToken);
        VoiceName.swap(voiceName);
        SamplingRate = rate;
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT STDMETHODCALLTYPE TKelvoraSAPI5Engine::GetObjectToken(ISpObjectToken** ppToken) {
    if (!ppToken)
        return E_POINTER;
    *ppToken = FVoice.Share();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TKelvoraSAPI5Engine::Speak(DWORD, REFGUID, const WAVEFORMATEX*,
                                                     const SPVTEXTFRAG* pTextFragList,
                                                     ISpTTSEngineSite* pOutputSite) {
    if (!pOutputSite)
        return E_POINTER;
    try {
        TEngineUse use(Library);
        if (!use.Usable())
            return SPERR_UNINITIALIZED;
        const TKelvoraAPI& api = KelvoraAPI;
        const std::uint32_t rate = SamplingRate;
        if (!Library.VoiceObject)
            Library.VoiceObject = api.kelvoraCreateVoiceW(VoiceName.c_str());
        // The audio must be at the rate the host was last told: a channel made at another
        // rate is replaced, from the same voice.
        if (Library.ChannelObject && Library.ChannelRate != rate)
            DeleteEngineChannel(Library);
        if (Library.VoiceObject && !Library.ChannelObject) {
            Library.ChannelObject = api.kelvoraCreateChannel(Library.VoiceObject, rate, 0);
            Library.ChannelRate = rate;
        }
        if (!Library.VoiceObject || !Library.ChannelObject)
            return E_FAIL;
        KelvoraChannel channel = Library.ChannelObject;

        LONG tempo = 0;
        pOutputSite->GetRate(&tempo);
        api.kelvoraSetTempo(channel, tempo);
        USHORT volume = 0;
        pOutputSite->GetVolume(&volume);
        api.kelvoraSetVolume(channel, volume);

        TTranslation translation = TranslateFragments(pTextFragList);
        // Speaking a part of the text, or nothing, would tell the host that all of it was
        // spoken.
        if (translation.Stopped)
            return E_OUTOFMEMORY;
        api.kelvoraSetInputTextW(channel, translation.EngineInputText.c_str());
        TPhoneLoop(*pOutputSite, channel, translation.SyncList, SamplingRate).Run();
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

HRESULT STDMETHODCALLTYPE TKelvoraSAPI5Engine::GetOutputFormat(
    const GUID* pTargetFmtId, const WAVEFORMATEX* pTargetWaveFormatEx, GUID* pOutputFormatId,
    WAVEFORMATEX** ppCoMemOutputWaveFormatEx) {
    if (!pOutputFormatId || !ppCoMemOutputWaveFormatEx)
        return E_POINTER;
    void* block = Platform::TaskMemAlloc(OutputFormatBlockSize);
    *ppCoMemOutputWaveFormatEx = static_cast<WAVEFORMATEX*>(block);
    if (!block) {
        *pOutputFormatId = GUID{};
        return E_OUTOFMEMORY;
    }
    if (pTargetFmtId && pTargetWaveFormatEx) {
        std::uint32_t requested = pTargetWaveFormatEx->nSamplesPerSec;
        if (requested >= LowestRequestedRate && requested <= HighestRequestedRate)
            SamplingRate = requested;
    }
    *pOutputFormatId = SPDFID_WaveFormatEx;
    std::memset(block, 0, OutputFormatBlockSize);
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 1;
    format.nSamplesPerSec = SamplingRate;
    format.nAvgBytesPerSec = 2 * SamplingRate;
    format.nBlockAlign = 2;
    format.wBitsPerSample = 16;
    format.cbSize = 0;
    std::memcpy(block, &format, sizeof format);
    return S_OK;
}
