#include "Engine.h"

#include "FragmentTranslation.h"
#include "Platform.h"
#include "Visemes.h"

#include <cmath>
#include <cstring>
#include <limits>
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

int HexDigit(char16_t c) {
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

// The events of one Speak call, each filled in this one place and added by itself.
class TSpeakEvents {
public:
    explicit TSpeakEvents(ISpTTSEngineSite& site) : FSite(site) {}

    void Bookmark(ULONGLONG audioOffset, const std::u16string& name) {
        Raise(SPEI_TTS_BOOKMARK, SPET_LPARAM_IS_STRING, audioOffset,
              static_cast<WPARAM>(static_cast<std::int64_t>(BookmarkNumber(name))),
              reinterpret_cast<LPARAM>(name.c_str()));
    }
    void WordBoundary(ULONGLONG audioOffset, std::uint32_t length, std::uint32_t sourcePosition) {
        Raise(SPEI_WORD_BOUNDARY, SPET_LPARAM_IS_UNDEFINED, audioOffset, length,
              static_cast<LPARAM>(sourcePosition));
    }
    // The duration in bits 16 to 31 of wParam (the next viseme, bits 0 to 15, is always 0),
    // the viseme in bits 0 to 15 of lParam (no feature flags); both sign-extended.
    void Viseme(ULONGLONG audioOffset, std::uint32_t milliseconds, std::int32_t viseme) {
        const auto durationBits = static_cast<std::int32_t>(milliseconds << 16);
        const auto visemeBits = static_cast<std::int32_t>(viseme & 0xFFFF);
        Raise(SPEI_VISEME, SPET_LPARAM_IS_UNDEFINED, audioOffset,
              static_cast<WPARAM>(static_cast<std::int64_t>(durationBits)),
              static_cast<LPARAM>(visemeBits));
    }

private:
    void Raise(std::uint16_t id, std::uint16_t parameterType, ULONGLONG audioOffset, WPARAM wParam,
               LPARAM lParam) {
        FEvent.eEventId = id;
        FEvent.elParamType = parameterType;
        FEvent.ulStreamNum = 0;
        FEvent.ullAudioStreamOffset = audioOffset;
        FEvent.wParam = wParam;
        FEvent.lParam = lParam;
        FSite.AddEvents(&FEvent, 1);
    }

    ISpTTSEngineSite& FSite;
    SPEVENT FEvent{};
};

// The viseme of a phone symbol in the system's code page; 0 for none.
std::int32_t VisemeOfSymbol(const char* symbol) {
    if (!symbol)
        return 0;
    // No symbol of the phone set is longer than two characters.
    constexpr std::size_t longest = 4;
    std::size_t length = 0;
    while (length <= longest && symbol[length] != '\0')
        ++length;
    if (length > longest)
        return 0;
    char16_t wide[longest];
    std::size_t wideLength = Platform::AnsiToUtf16(symbol, length, wide, longest);
    return PhonemeToViseme(std::u16string_view(wide, wideLength));
}

// Pulls the phones of the text handed to `channel` and hands their audio and events to the
// site, until the text ends, the host aborts or skips, or a write is refused.
void RunPhoneLoop(ISpTTSEngineSite& site, KelvoraChannel channel, TSyncQueue& syncList,
                  const std::uint32_t& samplingRate) {
    const TKelvoraAPI& api = KelvoraAPI;
    TSpeakEvents events(site);
    ULONGLONG audioOffset = 0;
    std::uint32_t textPosition = 0;
    std::uint32_t wordLength = 0;
    std::int32_t reachedHLLen = 0;
    std::uint32_t reachedFIndex = 0;
    std::uint32_t reachedSIndex = 0;
    bool highlightPending = false;
    for (;;) {
        if (DWORD actions = site.GetActions()) {
            if (actions & SPVES_ABORT) {
                api.kelvoraSetInputTextW(channel, u"");
                return;
            }
            // The library cannot skip by sentences or words: any skip ends this Speak, and
            // -1 tells SAPI that the whole rest was skipped, whatever was asked. A count of 0
            // asks for nothing, so speaking goes on.
            if (actions & SPVES_SKIP) {
                SPVSKIPTYPE skipType = SPVST_SENTENCE;
                LONG itemCount = 0;
                site.GetSkipInfo(&skipType, &itemCount);
                if (itemCount != 0) {
                    site.CompleteSkip(-1);
                    api.kelvoraSetInputTextW(channel, u"");
                    return;
                }
            }
            if (actions & SPVES_RATE) {
                LONG rate = 0;
                site.GetRate(&rate);
                api.kelvoraSetTempo(channel, rate);
            }
            if (actions & SPVES_VOLUME) {
                USHORT volume = 0;
                site.GetVolume(&volume);
                api.kelvoraSetVolume(channel, volume);
            }
        }

        const char* symbol = nullptr;
        std::uint32_t sampleCount = 0;
        const std::int16_t* samples = nullptr;
        if (!api.kelvoraGetPhone(channel, &symbol, &sampleCount, &samples, &textPosition,
                                 &wordLength)) {
            for (; !syncList.Empty(); syncList.DropHead())
                if (!syncList.Head()->BkMrk.empty())
                    events.Bookmark(audioOffset, syncList.Head()->BkMrk);
            return;
        }

        if (wordLength != 0) {
            for (; !syncList.Empty() && syncList.Head()->FIndex <= textPosition;
                 syncList.DropHead()) {
                const TSyncList& reached = *syncList.Head();
                reachedHLLen = reached.HLLen;
                reachedFIndex = reached.FIndex;
                reachedSIndex = static_cast<std::uint32_t>(reached.SIndex);
                highlightPending = reached.HLLen > 0;
                if (!reached.BkMrk.empty())
                    events.Bookmark(audioOffset, reached.BkMrk);
            }
            const std::uint32_t sourcePosition = textPosition - reachedFIndex + reachedSIndex;
            if (highlightPending || reachedHLLen == 0) {
                std::uint32_t length = wordLength;
                if (reachedHLLen > 0) {
                    length = static_cast<std::uint32_t>(reachedHLLen);
                    highlightPending = false;
                }
                events.WordBoundary(audioOffset, length, sourcePosition);
            }
        }

        events.Viseme(audioOffset, PhoneMilliseconds(sampleCount, samplingRate),
                      VisemeOfSymbol(symbol));

        const ULONG byteCount = sampleCount * 2;
        audioOffset += byteCount;
        ULONG written = 0;
        if (site.Write(samples, byteCount, &written) != S_OK)
            return;
    }
}

} // namespace

std::int32_t BookmarkNumber(std::u16string_view name) {
    std::size_t i = 0;
    while (i < name.size() && name[i] == u' ')
        ++i;
    bool negative = false;
    if (i < name.size() && (name[i] == u'+' || name[i] == u'-'))
        negative = name[i++] == u'-';
    std::u16string_view digits = name.substr(i);
    std::uint64_t value = 0;
    if (!digits.empty() &&
        (digits[0] == u'$' || digits[0] == u'x' || digits[0] == u'X' ||
         (digits.size() > 1 && digits[0] == u'0' && (digits[1] == u'x' || digits[1] == u'X')))) {
        digits.remove_prefix(digits[0] == u'0' ? 2 : 1);
        if (digits.empty())
            return 0;
        for (char16_t c : digits) {
            int digit = HexDigit(c);
            if (digit < 0)
                return 0;
            value = value << 4 | static_cast<std::uint64_t>(digit);
            if (value > std::numeric_limits<std::uint32_t>::max())
                return 0;
        }
        // A hexadecimal number is the bit pattern of the signed one.
        const auto pattern = static_cast<std::uint32_t>(value);
        return static_cast<std::int32_t>(negative ? 0u - pattern : pattern);
    }
    if (digits.empty())
        return 0;
    const std::uint64_t limit =
        negative ? std::uint64_t{1} << 31 : std::uint64_t{std::numeric_limits<std::int32_t>::max()};
    for (char16_t c : digits) {
        if (c < u'0' || c > u'9')
            return 0;
        value = value * 10 + static_cast<std::uint64_t>(c - u'0');
        if (value > limit)
            return 0;
    }
    return negative ? static_cast<std::int32_t>(-static_cast<std::int64_t>(value))
                    : static_cast<std::int32_t>(value);
}

std::uint32_t PhoneMilliseconds(std::uint32_t sampleCount, std::uint32_t samplingRate) {
    if (samplingRate == 0)
        return 0;
    // Round-to-nearest is the floating-point default: halves go to the even neighbour.
    const double milliseconds = std::nearbyint(sampleCount / (samplingRate / 1000.0));
    return milliseconds >= 65535.0 ? 65535u : static_cast<std::uint32_t>(milliseconds);
}

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
        api.kelvoraSetInputTextW(channel, translation.EngineInputText.c_str());
        RunPhoneLoop(*pOutputSite, channel, translation.SyncList, SamplingRate);
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
