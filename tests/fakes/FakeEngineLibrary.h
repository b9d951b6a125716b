// Test access to the fake speech engine library: the install directory of each build
// variant, the registry value that leads the loader to it, the fake's call log and steering
// exports reached through the loaded module, and a reset of the process-wide residency.
#pragma once

#include "FakePaths.h"
#include "KElvoraAPI.h"
#include "Platform.h"
#include "Residency.h"

#include <sstream>
#include <string>
#include <vector>

namespace FakeEngineLibrary {

inline std::u16string InstallDir(const std::u16string& variant) {
    return std::u16string(KELVORA_FAKES_DIR) + u"\\" + variant;
}

inline void SetInstallPath(const std::u16string& path) {
    Platform::WriteRegistryString(Platform::TRegistryRoot::LocalMachine, EngineRegistryKey,
                                  EngineRegistryValue, path);
}

inline void UseVariant(const std::u16string& variant) {
    SetInstallPath(InstallDir(variant));
}

inline void RemoveInstallPath() {
    Platform::DeleteRegistryKey(Platform::TRegistryRoot::LocalMachine, EngineRegistryKey);
}

template <typename TFunction>
TFunction Export(const char* name, Platform::TModule module = EngineLibraryHandle) {
    return reinterpret_cast<TFunction>(Platform::FindEntryPoint(module, name));
}

// The calls the fake has recorded, one entry per call; by default those of the library the
// loader has loaded.
inline std::vector<std::string> Calls(Platform::TModule module = EngineLibraryHandle) {
    std::vector<std::string> calls;
    auto log = Export<const char* (*)()>("fakeCallLog", module);
    if (!log)
        return calls;
    std::istringstream lines(log());
    for (std::string line; std::getline(lines, line);)
        calls.push_back(line);
    return calls;
}

// A reference of the test's own to a variant's module: the module and its call log stay in
// memory while the loader unloads and loads it again.
class THeldLibrary {
public:
    explicit THeldLibrary(const std::u16string& variant)
        : FModule(Platform::LoadLibraryModule(InstallDir(variant) + EngineLibraryFolder +
                                              EngineLibraryFile)) {}
    THeldLibrary(const THeldLibrary&) = delete;
    THeldLibrary& operator=(const THeldLibrary&) = delete;
    ~THeldLibrary() { Platform::FreeLibraryModule(FModule); }
    std::vector<std::string> Calls() const { return FakeEngineLibrary::Calls(FModule); }
    Platform::TModule Module() const { return FModule; }
    void ClearCalls() const { Export<void (*)()>("fakeClearCallLog", FModule)(); }

private:
    Platform::TModule FModule;
};

// Back to a process with no library loaded and no Speak counted.
inline void ResetResidency() {
    std::lock_guard<std::recursive_mutex> guard(EngineLock());
    UnloadEngineLibrary();
    EngineLoaded = false;
    ActiveSpeakCount = 0;
    IdleCountdown = 0;
}

} // namespace FakeEngineLibrary
