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
    for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
        char16_t unit = static_cast<char16_t>(data[i] | data[i + 1] << 8);
        if (unit == u'\0')
            break;
        value.push_back(unit);
    }
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

int ShowMessageBox(std::u16string_view text, std::u16string_view caption, unsigned style) {
    ReportMessageBox(text, caption, style);
    const std::u16string message(text), title(caption);
    return MessageBoxW(nullptr, Wide(message), Wide(title), style);
}

std::size_t AnsiToUtf16(const char* text, std::size_t length, char16_t* out, std::size_t capacity) {
    if (length == 0)
        return 0;
    int written = MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length),
                                      reinterpret_cast<wchar_t*>(out), static_cast<int>(capacity));
    return written > 0 ? static_cast<std::size_t>(written) : 0;
}

void* TaskMemAlloc(std::size_t byteCount) {
    return CoTaskMemAlloc(byteCount);
}

void TaskMemFree(void* block) {
    CoTaskMemFree(block);
}

} // namespace Platform
