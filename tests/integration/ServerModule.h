// The real server module (KelvoraSAPI5.dll, or KelvoraSAPI5.so on Linux) loaded the way the
// platform loads it, from its build place or from a copy under another name or folder.
#pragma once

#include "Platform.h"
#include "ServerPaths.h"

#include <filesystem>
#include <string>

namespace ServerModule {

// A path of this machine as the system under test names it: "\\" as the separator, and
// under Wine on drive Z:.
inline std::u16string SystemPath(const std::filesystem::path& path) {
    std::string text = path.generic_string();
    for (char& c : text)
        if (c == '/')
            c = '\\';
#ifdef _WIN32
    text = "Z:" + text;
#endif
    return std::u16string(text.begin(), text.end());
}

inline std::filesystem::path BuiltServer() {
    return KELVORA_SERVER_FILE;
}

// A copy of the server as `folder`/`fileName` under the test's own scratch folder.
inline std::filesystem::path Copy(const std::string& folder, const std::string& fileName) {
    std::filesystem::path directory = std::filesystem::path(KELVORA_SCRATCH_DIR) / folder;
    std::filesystem::create_directories(directory);
    std::filesystem::path copy = directory / fileName;
    // Removed first: overwrite_existing is unreliable in some standard libraries.
    std::filesystem::remove(copy);
    std::filesystem::copy_file(BuiltServer(), copy);
    return copy;
}

class TServer {
public:
    explicit TServer(const std::filesystem::path& file = BuiltServer())
        : Path(SystemPath(file)), FModule(Platform::LoadLibraryModule(Path)) {
        DllGetClassObject = Entry<HRESULT (*)(REFCLSID, REFIID, void**)>("DllGetClassObject");
        DllCanUnloadNow = Entry<HRESULT (*)()>("DllCanUnloadNow");
        DllRegisterServer = Entry<HRESULT (*)()>("DllRegisterServer");
        DllUnregisterServer = Entry<HRESULT (*)()>("DllUnregisterServer");
    }
    TServer(const TServer&) = delete;
    TServer& operator=(const TServer&) = delete;
    ~TServer() { Unload(); }

    bool Loaded() const {
        return FModule && DllGetClassObject && DllCanUnloadNow && DllRegisterServer &&
               DllUnregisterServer;
    }
    void Unload() {
        if (FModule)
            Platform::FreeLibraryModule(FModule);
        FModule = nullptr;
    }

    const std::u16string Path;
    HRESULT (*DllGetClassObject)(REFCLSID, REFIID, void**) = nullptr;
    HRESULT (*DllCanUnloadNow)() = nullptr;
    HRESULT (*DllRegisterServer)() = nullptr;
    HRESULT (*DllUnregisterServer)() = nullptr;

private:
    template <class TFunction> TFunction Entry(const char* name) {
        return reinterpret_cast<TFunction>(Platform::FindEntryPoint(FModule, name));
    }
    Platform::TModule FModule;
};

} // namespace ServerModule
