// TEngineSiteBase: an output site that behaves as a quiet host does. It answers for its
// interfaces, asks for no action, takes every event and every write, and gives rate 0, volume
// 100 and no skip. The sites of the tools, tests and benchmarks derive from it and override
// only what they record or script. Its owner keeps it alive: AddRef and Release count nothing.
#pragma once

#include "SAPI5DDI.h"

class TEngineSiteBase : public ISpTTSEngineSite {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == IID_ISpEventSink || riid == IID_ISpTTSEngineSite) {
            *ppv = static_cast<ISpTTSEngineSite*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE AddEvents(const SPEVENT*, ULONG) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetEventInterest(ULONGLONG* interest) override {
        *interest = 0;
        return S_OK;
    }
    DWORD STDMETHODCALLTYPE GetActions() override { return SPVES_CONTINUE; }
    HRESULT STDMETHODCALLTYPE Write(const void*, ULONG bytes, ULONG* written) override {
        if (written)
            *written = bytes;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetRate(LONG* rate) override {
        *rate = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetVolume(USHORT* volume) override {
        *volume = 100;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetSkipInfo(SPVSKIPTYPE* type, LONG* count) override {
        *type = SPVST_SENTENCE;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE CompleteSkip(LONG) override { return S_OK; }
};
