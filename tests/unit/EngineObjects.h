// Test helpers for engine objects: making one as the class factory does, reaching its
// private fields, and an outer unknown that aggregates it.
#pragma once

#include "ComPtr.h"
#include "Engine.h"

#include <atomic>

struct TKelvoraSAPI5EngineProbe {
    static TEngineHandles& Library(TKelvoraSAPI5Engine& engine) { return engine.Library; }
    static const std::u16string& VoiceName(TKelvoraSAPI5Engine& engine) { return engine.VoiceName; }
    static std::uint32_t SamplingRate(TKelvoraSAPI5Engine& engine) { return engine.SamplingRate; }
};

// A new engine object, not aggregated, held through its ISpTTSEngine.
inline TComPtr<ISpTTSEngine> NewEngine(TKelvoraSAPI5Engine** object = nullptr) {
    TKelvoraSAPI5Engine* engine = TComObject::Construct<TKelvoraSAPI5Engine>(nullptr, nullptr);
    if (object)
        *object = engine;
    TComPtr<ISpTTSEngine> held;
    engine->ObjQueryInterface(IID_ISpTTSEngine, held.ReceiveUntyped());
    return held;
}

// The outer object of an aggregate: counts its own references and answers QueryInterface
// for IUnknown itself, for everything else through the inner object.
class TOuterUnknown : public IUnknown {
public:
    IUnknown* Inner = nullptr;
    std::atomic<std::int32_t> References{1};
    std::atomic<std::int32_t> Queries{0};

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        ++Queries;
        if (riid == IID_IUnknown) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        return Inner ? Inner->QueryInterface(riid, ppv) : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++References); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--References); }
};
