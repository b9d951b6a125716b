// SAPI 5's engine-side declarations as this engine uses them: the interfaces it implements
// (ISpTTSEngine, ISpObjectWithToken) and calls (ISpTTSEngineSite with its ISpEventSink
// parent, ISpDataKey, ISpObjectToken), their IIDs in slot order, the records exchanged with
// the host (SPVTEXTFRAG, SPVSTATE, SPEVENT, WAVEFORMATEX) in their x64 layout, and the
// constants used. Text is UTF-16, declared as char16_t (the same two bytes as Windows' WCHAR).
#pragma once

#include "ComTypes.h"

#ifdef _WIN32
#include <mmreg.h>
#else
#pragma pack(push, 1)
struct WAVEFORMATEX {
    WORD wFormatTag;
    WORD nChannels;
    DWORD nSamplesPerSec;
    DWORD nAvgBytesPerSec;
    WORD nBlockAlign;
    WORD wBitsPerSample;
    WORD cbSize;
};
#pragma pack(pop)
constexpr WORD WAVE_FORMAT_PCM = 1;
#endif

// SPVACTIONS
enum SPVACTIONS : std::int32_t {
    SPVA_Speak = 0,
    SPVA_Silence = 1,
    SPVA_Pronounce = 2,
    SPVA_Bookmark = 3,
    SPVA_SpellOut = 4,
    SPVA_Section = 5,
    SPVA_ParseUnknownTag = 6,
};

// SPVESACTIONS: the bits of ISpTTSEngineSite::GetActions.
enum SPVESACTIONS : DWORD {
    SPVES_CONTINUE = 0,
    SPVES_ABORT = 1,
    SPVES_SKIP = 2,
    SPVES_RATE = 4,
    SPVES_VOLUME = 8,
};

enum SPVSKIPTYPE : std::int32_t { SPVST_SENTENCE = 1 };

// SAPI's own HRESULTs (facility ITF, codes from 0x5000): Speak found no speech engine
// library that could be started; a token has no value of the name asked for.
inline constexpr HRESULT SPERR_UNINITIALIZED = static_cast<HRESULT>(0x80045001u);
inline constexpr HRESULT SPERR_NOT_FOUND = static_cast<HRESULT>(0x8004503Au);

enum SPEVENTENUM : std::uint16_t {
    SPEI_TTS_BOOKMARK = 4,
    SPEI_WORD_BOUNDARY = 5,
    SPEI_VISEME = 8,
};

enum SPEVENTLPARAMTYPE : std::uint16_t {
    SPET_LPARAM_IS_UNDEFINED = 0,
    SPET_LPARAM_IS_STRING = 4,
};

struct SPVPITCH {
    LONG MiddleAdj;
    LONG RangeAdj;
};

struct SPVCONTEXT {
    const char16_t* pCategory;
    const char16_t* pBefore;
    const char16_t* pAfter;
};

struct SPVSTATE {
    SPVACTIONS eAction;
    LANGID LangID;
    WORD wReserved;
    LONG EmphAdj;
    LONG RateAdj;
    ULONG Volume;
    SPVPITCH PitchAdj;
    ULONG SilenceMSecs;
    std::uint16_t* pPhoneIds;
    std::int32_t ePartOfSpeech;
    SPVCONTEXT Context;
};

struct SPVTEXTFRAG {
    SPVTEXTFRAG* pNext;
    SPVSTATE State;
    const char16_t* pTextStart;
    ULONG ulTextLen;
    ULONG ulTextSrcOffset;
};

// SAPI declares the first two fields as 16-bit bit-fields of one 32-bit unit; two 16-bit
// fields have the same layout.
struct SPEVENT {
    std::uint16_t eEventId;
    std::uint16_t elParamType;
    ULONG ulStreamNum;
    ULONGLONG ullAudioStreamOffset;
    WPARAM wParam;
    LPARAM lParam;
};

inline constexpr GUID SPDFID_WaveFormatEx = {
    0xC31ADBAE, 0x527F, 0x4FF5, {0xA2, 0x30, 0xF6, 0x2B, 0xB6, 0x1F, 0xF7, 0x0C}};

inline constexpr IID IID_ISpTTSEngine = {
    0xA74D7C8E, 0x4CC5, 0x4F2F, {0xA6, 0xEB, 0x80, 0x4D, 0xEE, 0x18, 0x50, 0x0E}};
inline constexpr IID IID_ISpObjectWithToken = {
    0x5B559F40, 0xE952, 0x11D2, {0xBB, 0x91, 0x00, 0xC0, 0x4F, 0x8E, 0xE6, 0xC0}};
inline constexpr IID IID_ISpDataKey = {
    0x14056581, 0xE16C, 0x11D2, {0xBB, 0x90, 0x00, 0xC0, 0x4F, 0x8E, 0xE6, 0xC0}};
inline constexpr IID IID_ISpObjectToken = {
    0x14056589, 0xE16C, 0x11D2, {0xBB, 0x90, 0x00, 0xC0, 0x4F, 0x8E, 0xE6, 0xC0}};
inline constexpr IID IID_ISpEventSink = {
    0xBE7A9CC9, 0x5F9E, 0x11D2, {0x96, 0x0F, 0x00, 0xC0, 0x4F, 0x8E, 0xE6, 0x28}};
inline constexpr IID IID_ISpTTSEngineSite = {
    0x9880499B, 0xCCE9, 0x11D2, {0xB5, 0x03, 0x00, 0xC0, 0x4F, 0x79, 0x73, 0x96}};

struct ISpObjectTokenCategory;

struct ISpDataKey : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetData(const char16_t* pszValueName, ULONG cbData,
                                              const BYTE* pData) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetData(const char16_t* pszValueName, ULONG* pcbData,
                                              BYTE* pData) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetStringValue(const char16_t* pszValueName,
                                                     const char16_t* pszValue) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetStringValue(const char16_t* pszValueName,
                                                     char16_t** ppszValue) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetDWORD(const char16_t* pszValueName, DWORD dwValue) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDWORD(const char16_t* pszValueName, DWORD* pdwValue) = 0;
    virtual HRESULT STDMETHODCALLTYPE OpenKey(const char16_t* pszSubKeyName,
                                              ISpDataKey** ppSubKey) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateKey(const char16_t* pszSubKey,
                                                ISpDataKey** ppSubKey) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeleteKey(const char16_t* pszSubKey) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeleteValue(const char16_t* pszValueName) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumKeys(ULONG Index, char16_t** ppszSubKeyName) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumValues(ULONG Index, char16_t** ppszValueName) = 0;
};

struct ISpObjectToken : ISpDataKey {
    virtual HRESULT STDMETHODCALLTYPE SetId(const char16_t* pszCategoryId,
                                            const char16_t* pszTokenId, BOOL fCreateIfNotExist) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetId(char16_t** ppszCoMemTokenId) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCategory(ISpObjectTokenCategory** ppTokenCategory) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, DWORD dwClsContext,
                                                     REFIID riid, void** ppvObject) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetStorageFileName(REFCLSID clsidCaller,
                                                         const char16_t* pszValueName,
                                                         const char16_t* pszFileNameSpecifier,
                                                         ULONG nFolder,
                                                         char16_t** ppszFilePath) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveStorageFileName(REFCLSID clsidCaller,
                                                            const char16_t* pszKeyName,
                                                            BOOL fDeleteFile) = 0;
    virtual HRESULT STDMETHODCALLTYPE Remove(const CLSID* pclsidCaller) = 0;
    virtual HRESULT STDMETHODCALLTYPE IsUISupported(const char16_t* pszTypeOfUI, void* pvExtraData,
                                                    ULONG cbExtraData, IUnknown* punkObject,
                                                    BOOL* pfSupported) = 0;
    virtual HRESULT STDMETHODCALLTYPE DisplayUI(HWND hwndParent, const char16_t* pszTitle,
                                                const char16_t* pszTypeOfUI, void* pvExtraData,
                                                ULONG cbExtraData, IUnknown* punkObject) = 0;
    virtual HRESULT STDMETHODCALLTYPE MatchesAttributes(const char16_t* pszAttributes,
                                                        BOOL* pfMatches) = 0;
};

struct ISpEventSink : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE AddEvents(const SPEVENT* pEventArray, ULONG ulCount) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetEventInterest(ULONGLONG* pullEventInterest) = 0;
};

struct ISpTTSEngineSite : ISpEventSink {
    virtual DWORD STDMETHODCALLTYPE GetActions() = 0;
    virtual HRESULT STDMETHODCALLTYPE Write(const void* pBuff, ULONG cb, ULONG* pcbWritten) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRate(LONG* pRateAdjust) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetVolume(USHORT* pusVolume) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSkipInfo(SPVSKIPTYPE* peType, LONG* plNumItems) = 0;
    virtual HRESULT STDMETHODCALLTYPE CompleteSkip(LONG ulNumSkipped) = 0;
};

struct ISpObjectWithToken : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetObjectToken(ISpObjectToken* pToken) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetObjectToken(ISpObjectToken** ppToken) = 0;
};

struct ISpTTSEngine : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Speak(DWORD dwSpeakFlags, REFGUID rguidFormatId,
                                            const WAVEFORMATEX* pWaveFormatEx,
                                            const SPVTEXTFRAG* pTextFragList,
                                            ISpTTSEngineSite* pOutputSite) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetOutputFormat(const GUID* pTargetFmtId,
                                                      const WAVEFORMATEX* pTargetWaveFormatEx,
                                                      GUID* pOutputFormatId,
                                                      WAVEFORMATEX** ppCoMemOutputWaveFormatEx) = 0;
};
