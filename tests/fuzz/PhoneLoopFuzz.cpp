// The phone loop against a scripted speech engine library and host: phones with any symbol,
// sample count, text position and word length (positions past the text, word lengths near
// 2^32), any host actions and write results. Events never go back in audio offset, each
// phone's audio is written once and whole, and nothing reads outside a buffer (ASan).
#include "EngineSiteBase.h"
#include "FragmentTranslation.h"
#include "FuzzInput.h"
#include "KElvoraAPI.h"
#include "PhoneLoop.h"

#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

void Require(bool holds) {
    if (!holds)
        std::abort();
}

// The script of one run, read by the library's and the host's calls.
struct TScript {
    TFuzzInput* Input = nullptr;
    // Each phone's samples in a buffer of exactly its size, so that ASan sees any overrun.
    std::unique_ptr<std::int16_t[]> Buffer;
    std::uint32_t BufferSamples = 0;
    char Symbol[4] = {};
    int PhonesLeft = 0;
    bool Ended = false; // the library said the text is finished
} Script;

std::uint8_t ScriptedGetPhone(void*, const char** symbol, std::uint32_t* samples,
                              const std::int16_t** buffer, std::uint32_t* position,
                              std::uint32_t* wordLength) {
    Require(!Script.Ended);
    TFuzzInput& input = *Script.Input;
    if (Script.PhonesLeft-- <= 0 || input.Empty()) {
        Script.Ended = true;
        return 0;
    }
    Script.BufferSamples = input.Take<std::uint16_t>() % 4096;
    Script.Buffer.reset(new std::int16_t[Script.BufferSamples ? Script.BufferSamples : 1]);
    for (std::uint32_t i = 0; i < Script.BufferSamples; ++i)
        Script.Buffer[i] = static_cast<std::int16_t>(i);
    for (char& c : Script.Symbol)
        c = static_cast<char>(input.Take<std::uint8_t>() % 3 == 0 ? 0 : input.Take<char>());
    Script.Symbol[3] = input.Take<std::uint8_t>() & 1 ? '\0' : Script.Symbol[3];
    *symbol = input.Take<std::uint8_t>() % 16 == 0 ? nullptr : Script.Symbol;
    *samples = Script.BufferSamples;
    *buffer = Script.Buffer.get();
    *position = input.Take<std::uint32_t>();
    *wordLength = input.Take<std::uint8_t>() % 4 == 0 ? input.Take<std::uint32_t>() : 0;
    return 1;
}

void ScriptedSetInputText(void*, const char16_t* text) {
    Require(text != nullptr);
}
void ScriptedSetTempo(void*, std::int32_t) {}
void ScriptedSetVolume(void*, std::uint32_t) {}

class TScriptedSite : public TEngineSiteBase {
public:
    ULONGLONG LastEventOffset = 0;
    ULONGLONG AudioWritten = 0;
    std::uint64_t Checksum = 0;

    DWORD STDMETHODCALLTYPE GetActions() override {
        const std::uint8_t byte = Script.Input->Take<std::uint8_t>();
        return byte % 8 == 0 ? (byte >> 3) & 15 : 0;
    }
    HRESULT STDMETHODCALLTYPE GetSkipInfo(SPVSKIPTYPE* type, LONG* count) override {
        *type = SPVST_SENTENCE;
        *count = Script.Input->Take<std::int8_t>();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE AddEvents(const SPEVENT* events, ULONG count) override {
        Require(count == 1);
        Require(events->ullAudioStreamOffset >= LastEventOffset);
        Require(events->ullAudioStreamOffset == AudioWritten);
        LastEventOffset = events->ullAudioStreamOffset;
        if (events->elParamType == SPET_LPARAM_IS_STRING)
            Checksum += std::strlen(reinterpret_cast<const char*>(events->lParam)) > 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Write(const void* buffer, ULONG bytes, ULONG* written) override {
        Require(buffer == Script.Buffer.get());
        Require(bytes == Script.BufferSamples * 2);
        // Read every byte handed over, so that ASan sees an overrun.
        const auto* audio = static_cast<const std::uint8_t*>(buffer);
        for (ULONG i = 0; i < bytes; ++i)
            Checksum += audio[i];
        AudioWritten += bytes;
        if (written)
            *written = bytes;
        const std::uint8_t byte = Script.Input->Take<std::uint8_t>();
        return byte % 16 == 0 ? (byte & 16 ? S_FALSE : E_FAIL) : S_OK;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TFuzzInput input(data, size);
    const std::size_t fragmentBytes = input.Take<std::uint8_t>();
    TFuzzInput fragmentInput(data + (size > 1 ? 1 : size),
                             std::min(fragmentBytes, size > 1 ? size - 1 : 0));
    const TFragmentList fragments(fragmentInput.Fragments([](char16_t unit) { return unit; }));
    TTranslation translation = TranslateFragments(fragments.First());

    KelvoraAPI = TKelvoraAPI{};
    KelvoraAPI.kelvoraGetPhone = ScriptedGetPhone;
    KelvoraAPI.kelvoraSetInputTextW = ScriptedSetInputText;
    KelvoraAPI.kelvoraSetTempo = ScriptedSetTempo;
    KelvoraAPI.kelvoraSetVolume = ScriptedSetVolume;

    const std::size_t scriptStart = std::min(size, 1 + fragmentBytes);
    TFuzzInput script(data + scriptStart, size - scriptStart);
    Script.Input = &script;
    Script.PhonesLeft = 2000;
    Script.Ended = false;
    const std::uint32_t rates[] = {0, 1, 999, 8000, 16000, 22050, 96000, 0xFFFFFFFFu};
    const std::uint32_t rate = rates[script.Take<std::uint8_t>() % 8];
    TScriptedSite site;
    TPhoneLoop(site, &Script, translation.SyncList, rate).Run();
    Script.Buffer.reset();
    return 0;
}
