// The platform seam on Windows: the real Win32 and COM calls.
#include "Platform.h"
#include "PlatformInternal.h"

#define WIN32_LEAN_AND_MEAN
#include <objbase.h>
#include <windows.h>

#include <vector>

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows text is UTF-16");

namespace Platform {

namespace {

const wchar_t* Wide(const std::u16string& text) {
    return reinterpret_cast<const wchar_t*>(text.c_str());
}

HKEY RootKey(TRegistryRoot root) {
    switch (root) {
    case TRegistryRoot::ClassesRoot:
        return HKEY_CLASSES_ROOT;
    case TRegistryRoot::CurrentUser:
        return HKEY_CURRENT_USER;
    case TRegistryRoot::LocalMachine:
        break;
    }
    return HKEY_LOCAL_MACHINE;
}

// An open registry key, closed on every way out.
class TOpenKey {
public:
    TOpenKey() = default;
    TOpenKey(const TOpenKey&) = delete;
    TOpenKey& operator=(const TOpenKey&) = delete;
    ~TOpenKey() {
        if (FKey)
            RegCloseKey(FKey);
    }
    HKEY* Receive() { return &FKey; }
    HKEY Get() const { return FKey; }

private:
    HKEY FKey = nullptr;
};

} // namespace

TReadResult ReadRegistryString(TRegistryRoot root, std::u16string_view key,
                               std::u16string_view valueName, std::u16string& value) {
    value.clear();
    const std::u16string keyName(key), name(valueName);
    TOpenKey open;
    if (RegOpenKeyExW(RootKey(root), Wide(keyName), 0, KEY_READ, open.Receive()) != ERROR_SUCCESS)
        return TReadResult::Missing;
    std::vector<BYTE> data;
    DWORD type = 0;
    LSTATUS status = ERROR_MORE_DATA;
    while (status == ERROR_MORE_DATA) {
        DWORD size = static_cast<DWORD>(data.size());
        status = RegQueryValueExW(open.Get(), Wide(name), nullptr, &type,
                                  data.empty() ? nullptr : data.data(), &size);
        if (status == ERROR_SUCCESS && data.empty() && size > 0)
            status = ERROR_MORE_DATA;
        data.resize(size);
    }
    if (status != ERROR_SUCCESS)
        return TReadResult::Missing;
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        return TReadResult::WrongType;
    value = RegistryStringFromBytes(data.data(), data.size());
    return TReadResult::Found;
}

bool WriteRegistryValue(TRegistryRoot root, std::u16string_view key, std::u16string_view valueName,
                        TRegistryType type, const void* data, std::size_t byteCount) {
    const std::u16string keyName(key), name(valueName);
    TOpenKey open;
    if (RegCreateKeyExW(RootKey(root), Wide(keyName), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_READ | KEY_WRITE, nullptr, open.Receive(), nullptr) != ERROR_SUCCESS)
        return false;
    return RegSetValueExW(open.Get(), Wide(name), 0, type, static_cast<const BYTE*>(data),
                          static_cast<DWORD>(byteCount)) == ERROR_SUCCESS;
}

std::vector<std::u16string> RegistrySubkeys(TRegistryRoot root, std::u16string_view key) {
    const std::u16string keyName(key);
    std::vector<std::u16string> names;
    TOpenKey open;
    if (RegOpenKeyExW(RootKey(root), Wide(keyName), 0, KEY_READ, open.Receive()) != ERROR_SUCCESS)
        return names;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD length = 256;
        if (RegEnumKeyExW(open.Get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        names.emplace_back(reinterpret_cast<const char16_t*>(name), length);
    }
    return names;
}

bool DeleteRegistryKey(TRegistryRoot root, std::u16string_view key) {
    const std::u16string keyName(key);
    return RegDeleteKeyW(RootKey(root), Wide(keyName)) == ERROR_SUCCESS;
}

void SetLibrarySearchDirectory(std::u16string_view directory) {
    const std::u16string path(directory);
    SetDllDirectoryW(Wide(path));
}

std::u16string LibrarySearchDirectory() {
    std::u16string directory(MAX_PATH, u'\0');
    for (;;) {
        DWORD length = GetDllDirectoryW(static_cast<DWORD>(directory.size()),
                                        reinterpret_cast<wchar_t*>(directory.data()));
        if (length < directory.size()) {
            directory.resize(length);
            return directory;
        }
        directory.resize(length + 1);
    }
}

TModule LoadLibraryModule(std::u16string_view path) {
    const std::u16string file(path);
    return LoadLibraryW(Wide(file));
}

void* FindEntryPoint(TModule module, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}

void FreeLibraryModule(TModule module) {
    FreeLibrary(static_cast<HMODULE>(module));
}

void PinModuleContaining(const void* codeAddress) {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       static_cast<LPCWSTR>(codeAddress), &module);
}

int ShowMessageBox(const char16_t* text, const char16_t* caption, unsigned style) {
    if (PassToMessageBoxHandler(text, caption, style))
        return IDOK;
    return MessageBoxW(nullptr, reinterpret_cast<const wchar_t*>(text),
                       reinterpret_cast<const wchar_t*>(caption), style);
}

std::size_t AnsiToUtf16(const char* text, std::size_t length, char16_t* out, std::size_t capacity) {
    if (length == 0)
        return 0;
    int written = MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length),
                                      reinterpret_cast<wchar_t*>(out), static_cast<int>(capacity));
    return written > 0 ? static_cast<std::size_t>(written) : 0;
}

std::u16string ModulePath(const void* codeAddress) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCWSTR>(codeAddress), &module))
        return {};
    std::u16string path(MAX_PATH, u'\0');
    for (;;) {
        DWORD length = GetModuleFileNameW(module, reinterpret_cast<wchar_t*>(path.data()),
                                          static_cast<DWORD>(path.size()));
        if (length == 0)
            return {};
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    std::u16string longPath(path.size() + MAX_PATH, u'\0');
    DWORD length = GetLongPathNameW(Wide(path), reinterpret_cast<wchar_t*>(longPath.data()),
                                    static_cast<DWORD>(longPath.size()));
    if (length > longPath.size()) {
        longPath.resize(length);
        length = GetLongPathNameW(Wide(path), reinterpret_cast<wchar_t*>(longPath.data()),
                                  static_cast<DWORD>(longPath.size()));
    }
    if (length == 0 || length >= longPath.size())
        return path;
    longPath.resize(length);
    return longPath;
}

std::u16string ShortPath(std::u16string_view path) {
    const std::u16string longPath(path);
    DWORD length = GetShortPathNameW(Wide(longPath), nullptr, 0);
    if (length == 0)
        return {};
    std::u16string shortPath(length, u'\0');
    length =
        GetShortPathNameW(Wide(longPath), reinterpret_cast<wchar_t*>(shortPath.data()), length);
    if (length == 0 || length >= shortPath.size())
        return {};
    shortPath.resize(length);
    return shortPath;
}

// The rules by which programs split their command line: blanks separate arguments, double
// quotes group, backslashes escape a quote only when they stand right before one.
std::vector<std::u16string> CommandLineArguments() {
    const char16_t* line = reinterpret_cast<const char16_t*>(GetCommandLineW());
    std::vector<std::u16string> arguments;
    std::size_t i = 0;
    std::u16string line16 = line ? line : u"";
    const std::size_t n = line16.size();
    bool first = true;
    while (i < n) {
        while (i < n && (line16[i] == u' ' || line16[i] == u'\t'))
            ++i;
        if (i >= n)
            break;
        std::u16string argument;
        bool quoted = false;
        while (i < n && (quoted || (line16[i] != u' ' && line16[i] != u'\t'))) {
            if (line16[i] == u'\\') {
                std::size_t slashes = 0;
                while (i < n && line16[i] == u'\\')
                    ++slashes, ++i;
                if (i < n && line16[i] == u'"') {
                    argument.append(slashes / 2, u'\\');
                    if (slashes % 2) {
                        argument.push_back(u'"');
                        ++i;
                    }
                } else {
                    argument.append(slashes, u'\\');
                }
            } else if (line16[i] == u'"') {
                quoted = !quoted;
                ++i;
            } else {
                argument.push_back(line16[i++]);
            }
        }
        if (!first)
            arguments.push_back(argument);
        first = false;
    }
    return arguments;
}

std::u16string ClsidText(const GUID& clsid) {
    LPOLESTR text = nullptr;
    if (FAILED(StringFromCLSID(clsid, &text)) || !text)
        return {};
    std::u16string result(reinterpret_cast<const char16_t*>(text));
    CoTaskMemFree(text);
    return result;
}

HRESULT LockObjectExternal(IUnknown* object, bool lock, bool lastUnlockReleases) {
    return CoLockObjectExternal(object, lock, lastUnlockReleases);
}

void* TaskMemAlloc(std::size_t byteCount) {
    return CoTaskMemAlloc(byteCount);
}

void TaskMemFree(void* block) {
    CoTaskMemFree(block);
}

} // namespace Platform
