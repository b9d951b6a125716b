// The COM in-process server: the server state (FFactoryCount, RegisterPerUser from the host's
// command line), the class factory of a COM class with its self-registration, and the
// process-wide list of class factories under a readers-writer lock whose exclusive holder
// may take it again.
#pragma once

#include "ComObject.h"

#include <atomic>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

class TComClassFactory;

using TCreateComObject = TComObject* (*)(TComClassFactory* factory, IUnknown* controller);

// A COM class as its class factory knows it.
struct TComClassSettings {
    CLSID ClassId;
    const char16_t* ClassName;      // the second half of the ProgID
    const char16_t* Description;    // the default value of the CLSID and ProgID keys
    const char16_t* ThreadingModel; // as registered
    TCreateComObject Create;        // the construction sequence; throws on failure
};

// A registry entry that cannot be written.
class TRegistryError : public std::runtime_error {
public:
    TRegistryError() : std::runtime_error("Error creating system registry entry") {}
};

// One per process, from start-up to shut-down.
class TComServer {
public:
    TComServer();
    TComServer(const TComServer&) = delete;
    TComServer& operator=(const TComServer&) = delete;
    // Destroys every class factory of the server.
    ~TComServer();

    std::atomic<std::int32_t> FFactoryCount{0};
    // Registration under HKEY_CURRENT_USER\Software\Classes instead of HKEY_CLASSES_ROOT.
    bool RegisterPerUser = false;
};

extern TComServer* ComServer;

// Decides RegisterPerUser from the host's command-line arguments (program name excluded).
bool RegisterPerUserFromSwitches(const std::vector<std::u16string>& arguments);

class TComClassFactory : public IClassFactory {
public:
    // A new factory goes to the front of the list of class factories.
    explicit TComClassFactory(const TComClassSettings& settings);
    TComClassFactory(const TComClassFactory&) = delete;
    TComClassFactory& operator=(const TComClassFactory&) = delete;
    // Takes itself out of the list.
    virtual ~TComClassFactory();

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid,
                                             void** ppvObject) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) override;

    // Writes or deletes the class's registry entries; throws TRegistryError when one cannot
    // be written. Deletions that fail are ignored.
    void UpdateRegistry(bool registering) const;

private:
    friend class TComClassFactoryList;
    TComClassSettings FSettings;
    TComClassFactory* FNext = nullptr;
};

// The factory for `clsid` through DllGetClassObject's rules.
HRESULT GetClassObject(REFCLSID rclsid, REFIID riid, void** ppv);
// S_OK when the DLL may be unloaded.
HRESULT CanUnloadNow();
// Self-registration and self-unregistration of every class of the server.
HRESULT RegisterServer();
HRESULT UnregisterServer();
// Shut-down step 4: the list of class factories goes.
void DestroyClassFactoryList();
