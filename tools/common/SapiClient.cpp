#include "SapiClient.h"

#include <sperror.h>

#include <cstring>

namespace {

// The last part of a token id: the token's key name.
std::wstring KeyName(const std::wstring& tokenId) {
    const std::size_t slash = tokenId.rfind(L'\\');
    return slash == std::wstring::npos ? tokenId : tokenId.substr(slash + 1);
}

// The text a SAPI call handed out in task memory, which is freed; empty when the call failed.
std::wstring TakenText(HRESULT result, wchar_t* text) {
    std::wstring taken = SUCCEEDED(result) && text ? std::wstring(text) : std::wstring();
    CoTaskMemFree(text);
    return taken;
}

std::wstring TokenId(ISpObjectToken& token) {
    wchar_t* id = nullptr;
    const HRESULT result = token.GetId(&id);
    return TakenText(result, id);
}

std::wstring AttributeName(ISpObjectToken& token) {
    TComPtr<ISpDataKey> attributes;
    if (FAILED(token.OpenKey(L"Attributes", attributes.Receive())))
        return {};
    wchar_t* name = nullptr;
    const HRESULT result = attributes->GetStringValue(L"Name", &name);
    return TakenText(result, name);
}

} // namespace

HRESULT FindSapiVoices(const std::wstring& required, std::vector<TComPtr<ISpObjectToken>>& tokens) {
    tokens.clear();
    TComPtr<ISpObjectTokenCategory> category;
    HRESULT result = CoCreateInstance(CLSID_SpObjectTokenCategory, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_ISpObjectTokenCategory, category.ReceiveUntyped());
    if (FAILED(result))
        return result;
    if (FAILED(result = category->SetId(SPCAT_VOICES, FALSE)))
        return result;
    TComPtr<IEnumSpObjectTokens> found;
    result = category->EnumTokens(required.empty() ? nullptr : required.c_str(), nullptr,
                                  found.Receive());
    if (FAILED(result))
        return result;
    ULONG count = 0;
    if (FAILED(result = found->GetCount(&count)))
        return result;
    for (ULONG i = 0; i < count; ++i) {
        TComPtr<ISpObjectToken> token;
        if (FAILED(result = found->Item(i, token.Receive())))
            return result;
        tokens.push_back(std::move(token));
    }
    return S_OK;
}

HRESULT FindSapiVoice(const std::wstring& name, TComPtr<ISpObjectToken>& token) {
    std::vector<TComPtr<ISpObjectToken>> tokens;
    const HRESULT result = FindSapiVoices(L"", tokens);
    if (FAILED(result))
        return result;
    for (TComPtr<ISpObjectToken>& candidate : tokens) {
        if (KeyName(TokenId(*candidate.Get())) == name || AttributeName(*candidate.Get()) == name) {
            token = std::move(candidate);
            return S_OK;
        }
    }
    return SPERR_NOT_FOUND;
}

std::wstring TokenString(ISpObjectToken& token, const wchar_t* valueName) {
    wchar_t* value = nullptr;
    const HRESULT result = token.GetStringValue(valueName, &value);
    return TakenText(result, value);
}

TComPtr<TRecordingStream> TRecordingStream::Make(std::uint32_t samplingRate,
                                                 DWORD pauseMsPerWrite) {
    return TComPtr<TRecordingStream>::Adopt(new TRecordingStream(samplingRate, pauseMsPerWrite));
}

std::vector<std::uint8_t> TRecordingStream::Bytes() const {
    std::lock_guard<std::mutex> guard(FLock);
    return FBytes;
}

HRESULT STDMETHODCALLTYPE TRecordingStream::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_ISequentialStream || riid == IID_IStream ||
        riid == IID_ISpStreamFormat) {
        *ppv = static_cast<ISpStreamFormat*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE TRecordingStream::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&FReferences));
}

ULONG STDMETHODCALLTYPE TRecordingStream::Release() {
    const LONG references = InterlockedDecrement(&FReferences);
    if (references == 0)
        delete this;
    return static_cast<ULONG>(references);
}

HRESULT STDMETHODCALLTYPE TRecordingStream::Read(void*, ULONG, ULONG* read) {
    if (read)
        *read = 0;
    return STG_E_ACCESSDENIED;
}

HRESULT STDMETHODCALLTYPE TRecordingStream::Write(const void* buffer, ULONG size, ULONG* written) {
    if (size && !buffer)
        return STG_E_INVALIDPOINTER;
    {
        std::lock_guard<std::mutex> guard(FLock);
        const auto* bytes = static_cast<const std::uint8_t*>(buffer);
        FBytes.insert(FBytes.end(), bytes, bytes + size);
    }
    if (written)
        *written = size;
    if (FPauseMsPerWrite)
        Sleep(FPauseMsPerWrite);
    return S_OK;
}

// Only where the end is: SAPI asks for the position with a move of 0.
HRESULT STDMETHODCALLTYPE TRecordingStream::Seek(LARGE_INTEGER move, DWORD origin,
                                                 ULARGE_INTEGER* position) {
    std::lock_guard<std::mutex> guard(FLock);
    const auto end = static_cast<LONGLONG>(FBytes.size());
    LONGLONG target = move.QuadPart;
    if (origin == STREAM_SEEK_CUR || origin == STREAM_SEEK_END)
        target += end;
    else if (origin != STREAM_SEEK_SET)
        return STG_E_INVALIDFUNCTION;
    if (target != end)
        return STG_E_INVALIDFUNCTION;
    if (position)
        position->QuadPart = static_cast<ULONGLONG>(end);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TRecordingStream::SetSize(ULARGE_INTEGER) {
    return STG_E_INVALIDFUNCTION;
}

HRESULT STDMETHODCALLTYPE TRecordingStream::CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*,
                                                   ULARGE_INTEGER*) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE TRecordingStream::Commit(DWORD) {
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TRecordingStream::Revert() {
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TRecordingStream::LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) {
    return STG_E_INVALIDFUNCTION;
}

HRESULT STDMETHODCALLTYPE TRecordingStream::UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) {
    return STG_E_INVALIDFUNCTION;
}

HRESULT STDMETHODCALLTYPE TRecordingStream::Stat(STATSTG* stat, DWORD) {
    if (!stat)
        return STG_E_INVALIDPOINTER;
    std::memset(stat, 0, sizeof *stat);
    stat->type = STGTY_STREAM;
    std::lock_guard<std::mutex> guard(FLock);
    stat->cbSize.QuadPart = FBytes.size();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TRecordingStream::Clone(IStream** copy) {
    if (copy)
        *copy = nullptr;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE TRecordingStream::GetFormat(GUID* formatId, WAVEFORMATEX** format) {
    if (!formatId || !format)
        return E_POINTER;
    *format = static_cast<WAVEFORMATEX*>(CoTaskMemAlloc(sizeof(WAVEFORMATEX)));
    if (!*format)
        return E_OUTOFMEMORY;
    WAVEFORMATEX& pcm = **format;
    pcm.wFormatTag = WAVE_FORMAT_PCM;
    pcm.nChannels = 1;
    pcm.nSamplesPerSec = FSamplingRate;
    pcm.nAvgBytesPerSec = 2 * FSamplingRate;
    pcm.nBlockAlign = 2;
    pcm.wBitsPerSample = 16;
    pcm.cbSize = 0;
    *formatId = WaveFormatExFormatId;
    return S_OK;
}
