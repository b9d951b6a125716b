// The COM basic types: HRESULT and its values, GUID, IUnknown and the integer types of the
// Windows ABI. On Windows they come from the platform's headers; elsewhere they are declared
// here with the same widths, layout and virtual-slot order, so the same code builds on both.
#pragma once

#include <cstdint>

#ifdef _WIN32

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <oaidl.h>
#include <objbase.h>
#include <unknwn.h>

static_assert(sizeof(wchar_t) == 2, "UTF-16 text is passed to the platform as wchar_t");

#else

using HRESULT = std::int32_t;
using ULONG = std::uint32_t;
using LONG = std::int32_t;
using DWORD = std::uint32_t;
using WORD = std::uint16_t;
using USHORT = std::uint16_t;
using BYTE = std::uint8_t;
using BOOL = std::int32_t;
using LANGID = std::uint16_t;
using ULONGLONG = std::uint64_t;
using WPARAM = std::uint64_t;
using LPARAM = std::int64_t;
using HWND = struct HWND__*;

#define STDMETHODCALLTYPE

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;

struct GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};
using IID = GUID;
using CLSID = GUID;
using REFIID = const IID&;
using REFGUID = const GUID&;
using REFCLSID = const CLSID&;

inline bool operator==(const GUID& a, const GUID& b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3)
        return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i])
            return false;
    return true;
}
inline bool operator!=(const GUID& a, const GUID& b) {
    return !(a == b);
}

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110u);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = static_cast<HRESULT>(0x80040111u);

inline bool SUCCEEDED(HRESULT hr) {
    return hr >= 0;
}
inline bool FAILED(HRESULT hr) {
    return hr < 0;
}

struct IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;
};

struct IClassFactory : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid,
                                                     void** ppvObject) = 0;
    virtual HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) = 0;
};

struct ISupportErrorInfo : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) = 0;
};

inline constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IClassFactory = {
    0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_ISupportErrorInfo = {
    0xDF0B3D60, 0x548F, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};

#endif

static_assert(sizeof(GUID) == 16, "GUID is 16 bytes");
static_assert(sizeof(HRESULT) == 4 && sizeof(ULONG) == 4 && sizeof(LONG) == 4, "32-bit ABI types");
static_assert(sizeof(WPARAM) == 8 && sizeof(LPARAM) == 8, "64-bit message parameters");
