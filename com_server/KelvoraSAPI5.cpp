// KelvoraSAPI5: the DLL's main module. The four COM exports, and the start-up and shut-down
// steps that the DLL entry point runs on process attach and detach (on Linux, the shared
// library's constructor and destructor).
#include "ComServer.h"
#include "Engine.h"
#include "KElvoraAPI.h"
#include "Residency.h"

#ifdef _WIN32
#define KELVORA_EXPORT(result) extern "C" result STDAPICALLTYPE
#else
#define KELVORA_EXPORT(result) extern "C" __attribute__((visibility("default"))) result
#endif

namespace {

TComObject* CreateEngine(TComClassFactory* factory, IUnknown* controller) {
    return TComObject::Construct<TKelvoraSAPI5Engine>(factory, controller);
}

const TComClassSettings EngineClass = {
    CLSID_KelvoraSAPI5Engine, u"KelvoraSAPI5Engine", u"Kelvora SAPI5 Engine", u"Both", CreateEngine,
};

void StartUp() {
    ComServer = new TComServer;
    InitializeResidency();
    new TComClassFactory(EngineClass);
}

// When the process ends, the system has already detached the libraries loaded after this
// one (KELVORA.DLL among them) and stopped every other thread, the ticker too, perhaps
// inside EngineLock: nothing of the shut-down is safe then, and nothing of it is needed.
void ShutDown(bool processEnding) {
    if (processEnding)
        return;
    FinalizeResidency();
    UnloadEngineLibrary();
    delete ComServer;
    ComServer = nullptr;
    DestroyClassFactoryList();
}

} // namespace

KELVORA_EXPORT(HRESULT) DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
    return GetClassObject(rclsid, riid, ppv);
}

KELVORA_EXPORT(HRESULT) DllCanUnloadNow() {
    return CanUnloadNow();
}

KELVORA_EXPORT(HRESULT) DllRegisterServer() {
    return RegisterServer();
}

KELVORA_EXPORT(HRESULT) DllUnregisterServer() {
    return UnregisterServer();
}

#ifdef _WIN32

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    try {
        if (reason == DLL_PROCESS_ATTACH)
            StartUp();
        else if (reason == DLL_PROCESS_DETACH)
            ShutDown(reserved != nullptr);
        return TRUE;
    } catch (...) {
        return FALSE; // start-up failed: the DLL does not load
    }
}

#else

namespace {

// A running ticker pins the library, so its destructor then runs only at process exit.
struct TProcessAttachment {
    TProcessAttachment() { StartUp(); }
    ~TProcessAttachment() { ShutDown(TickerRunning()); }
} ProcessAttachment;

} // namespace

#endif
