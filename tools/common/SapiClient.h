// The client side of the system's SAPI runtime (Windows only), as applications use it: the
// voice tokens of SAPI's voice category found by their attributes or by name, and an output
// stream of our own that records what a voice speaks, in memory, in a format of our choosing
// (16-bit mono PCM at a given rate). Only SAPI's published client interfaces are used.
#pragma once

#include <windows.h>
// After windows.h, whose types it needs.
#include <sapi.h>

#include "ComPtr.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

// SAPI's format id of a WAVEFORMATEX stream: {C31ADBAE-527F-4FF5-A230-F62BB61FF70C}.
inline constexpr GUID WaveFormatExFormatId = {
    0xC31ADBAE, 0x527F, 0x4FF5, {0xA2, 0x30, 0xF6, 0x2B, 0xB6, 0x1F, 0xF7, 0x0C}};

// The tokens of SAPI's voice category that have every attribute of `required`
// ("Language=413;Gender=Male"; empty for all), in SAPI's order.
HRESULT FindSapiVoices(const std::wstring& required, std::vector<TComPtr<ISpObjectToken>>& tokens);

// The voice token whose key name or Attributes\Name is `name`; SPERR_NOT_FOUND when there is
// none.
HRESULT FindSapiVoice(const std::wstring& name, TComPtr<ISpObjectToken>& token);

// A string value of a token ("" for its default value).
std::wstring TokenString(ISpObjectToken& token, const wchar_t* valueName);

// An output stream that keeps every byte written to it. Made with one reference, held by
// the maker; SAPI takes its own. Thread-safe: SAPI writes from its own thread when it speaks
// asynchronously. A pause per write makes it behave like a sound card that plays as it goes.
class TRecordingStream : public ISpStreamFormat {
public:
    static TComPtr<TRecordingStream> Make(std::uint32_t samplingRate, DWORD pauseMsPerWrite = 0);

    std::vector<std::uint8_t> Bytes() const;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // ISequentialStream
    HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG size, ULONG* read) override;
    HRESULT STDMETHODCALLTYPE Write(const void* buffer, ULONG size, ULONG* written) override;
    // IStream
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin,
                                   ULARGE_INTEGER* position) override;
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER size) override;
    HRESULT STDMETHODCALLTYPE CopyTo(IStream* target, ULARGE_INTEGER size, ULARGE_INTEGER* read,
                                     ULARGE_INTEGER* written) override;
    HRESULT STDMETHODCALLTYPE Commit(DWORD flags) override;
    HRESULT STDMETHODCALLTYPE Revert() override;
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER size,
                                         DWORD type) override;
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER size,
                                           DWORD type) override;
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE Clone(IStream** copy) override;
    // ISpStreamFormat
    HRESULT STDMETHODCALLTYPE GetFormat(GUID* formatId, WAVEFORMATEX** format) override;

private:
    TRecordingStream(std::uint32_t samplingRate, DWORD pauseMsPerWrite)
        : FSamplingRate(samplingRate), FPauseMsPerWrite(pauseMsPerWrite) {}
    virtual ~TRecordingStream() = default;

    LONG FReferences = 1;
    const std::uint32_t FSamplingRate;
    const DWORD FPauseMsPerWrite;
    mutable std::mutex FLock;
    std::vector<std::uint8_t> FBytes;
};
