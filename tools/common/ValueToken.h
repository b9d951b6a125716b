// A voice token made of given values, for programs that play SAPI's part: the whole
// ISpDataKey and ISpObjectToken table, with GetStringValue serving the values (from the task
// allocator, as SAPI does) and failing with a chosen HRESULT for chosen names. The other
// operations are not implemented. Its owner keeps it alive while objects hold it.
#pragma once

#include "Platform.h"
#include "SAPI5DDI.h"

#include <atomic>
#include <cstring>
#include <initializer_list>
#include <map>
#include <string>

class TValueToken : public ISpObjectToken {
public:
    using TValues = std::map<std::u16string, std::u16string>;
    using TFailures = std::map<std::u16string, HRESULT>;

    TValueToken(std::initializer_list<TValues::value_type> values) : FValues(values) {}
    TValueToken(TValues values, TFailures failures)
        : FValues(std::move(values)), FFailures(std::move(failures)) {}
    TValueToken(const TValueToken&) = delete;
    TValueToken& operator=(const TValueToken&) = delete;
    virtual ~TValueToken() = default;

    std::int32_t References() const { return FReferences; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == IID_ISpDataKey || riid == IID_ISpObjectToken) {
            *ppv = static_cast<ISpObjectToken*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++FReferences); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--FReferences); }

    HRESULT STDMETHODCALLTYPE GetStringValue(const char16_t* name, char16_t** value) override {
        std::u16string key = name ? name : u"";
        if (auto failure = FFailures.find(key); failure != FFailures.end()) {
            *value = nullptr;
            return failure->second;
        }
        auto found = FValues.find(key);
        if (found == FValues.end()) {
            *value = nullptr;
            return SPERR_NOT_FOUND;
        }
        std::size_t bytes = (found->second.size() + 1) * sizeof(char16_t);
        *value = static_cast<char16_t*>(Platform::TaskMemAlloc(bytes));
        std::memcpy(*value, found->second.c_str(), bytes);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE SetData(const char16_t*, ULONG, const BYTE*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetData(const char16_t*, ULONG*, BYTE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetStringValue(const char16_t*, const char16_t*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetDWORD(const char16_t*, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDWORD(const char16_t*, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OpenKey(const char16_t*, ISpDataKey**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreateKey(const char16_t*, ISpDataKey**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE DeleteKey(const char16_t*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DeleteValue(const char16_t*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumKeys(ULONG, char16_t**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumValues(ULONG, char16_t**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetId(const char16_t*, const char16_t*, BOOL) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetId(char16_t**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCategory(ISpObjectTokenCategory**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, DWORD, REFIID, void**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetStorageFileName(REFCLSID, const char16_t*, const char16_t*, ULONG,
                                                 char16_t**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE RemoveStorageFileName(REFCLSID, const char16_t*, BOOL) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Remove(const CLSID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsUISupported(const char16_t*, void*, ULONG, IUnknown*,
                                            BOOL*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE DisplayUI(HWND, const char16_t*, const char16_t*, void*, ULONG,
                                        IUnknown*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE MatchesAttributes(const char16_t*, BOOL*) override {
        return E_NOTIMPL;
    }

private:
    std::map<std::u16string, std::u16string> FValues;
    std::map<std::u16string, HRESULT> FFailures;
    std::atomic<std::int32_t> FReferences{0};
};
