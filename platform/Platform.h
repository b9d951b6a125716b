// The operating-system services this system uses, and nothing more: registry values, run-time
// library loading, the modal message box, the COM task allocator. The Win32 implementation
// calls the real API; the portable one is a small stand-in (an in-memory registry, dlopen)
// so that the same code runs on Linux. Text is UTF-16; paths use "\" as the separator.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ComTypes.h"

namespace Platform {

enum class TRegistryRoot { ClassesRoot, CurrentUser, LocalMachine };

// Registry value types, numbered as the registry numbers them.
enum TRegistryType : std::uint32_t {
    RegistryString = 1,
    RegistryExpandString = 2,
    RegistryBinary = 3,
    RegistryDWord = 4,
};

enum class TReadResult { Found, Missing, WrongType };

// Reads a string value of `key`, opened read-only in the process's own registry view. A
// REG_SZ or REG_EXPAND_SZ value is taken as stored, up to its first NUL; an odd trailing
// byte is dropped. A value of another type gives WrongType; a missing key or value Missing.
TReadResult ReadRegistryString(TRegistryRoot root, std::u16string_view key,
                               std::u16string_view valueName, std::u16string& value);

// Creates or opens `key` (read and write access, not volatile), sets one value, closes the
// key. False when the key cannot be created or the value cannot be set.
bool WriteRegistryValue(TRegistryRoot root, std::u16string_view key, std::u16string_view valueName,
                        TRegistryType type, const void* data, std::size_t byteCount);

// A REG_SZ value; its byte count includes the terminating NUL.
bool WriteRegistryString(TRegistryRoot root, std::u16string_view key, std::u16string_view valueName,
                         std::u16string_view text);

// The names of the direct subkeys of `key`, in the registry's order; empty when it is missing.
std::vector<std::u16string> RegistrySubkeys(TRegistryRoot root, std::u16string_view key);

// Deletes a key that has no subkeys. False when it is missing or still has subkeys.
bool DeleteRegistryKey(TRegistryRoot root, std::u16string_view key);

using TModule = void*;

// The process's DLL search directory (SetDllDirectoryW / GetDllDirectoryW).
void SetLibrarySearchDirectory(std::u16string_view directory);
std::u16string LibrarySearchDirectory();

TModule LoadLibraryModule(std::u16string_view path);
void* FindEntryPoint(TModule module, const char* name);
void FreeLibraryModule(TModule module);

// Pins the module that holds `codeAddress` in memory until the process ends: a thread that
// runs as long as the process must never outlive its code.
void PinModuleContaining(const void* codeAddress);

constexpr unsigned MessageBoxOk = 0x0;
constexpr unsigned MessageBoxIconStop = 0x10;
constexpr unsigned MessageBoxSetForeground = 0x10000;

// A modal message box without owner window; returns when the user has closed it, with the
// platform's result. Both texts end with a NUL. Nothing is allocated on the way, so that a
// box can report that memory ran out.
int ShowMessageBox(const char16_t* text, const char16_t* caption, unsigned style);

// While a handler is set, every message box goes to it instead of the user, and
// ShowMessageBox returns 1 (OK) at once: tests see the boxes without anyone closing them.
// Null brings the real boxes back.
using TMessageBoxHandler = void (*)(std::u16string_view text, std::u16string_view caption,
                                    unsigned style);
void HandleMessageBoxes(TMessageBoxHandler handler);

// Converts 8-bit text of the system's ANSI code page to UTF-16 into `out`, without
// allocating. Returns the number of code units written, 0 when it does not fit.
std::size_t AnsiToUtf16(const char* text, std::size_t length, char16_t* out, std::size_t capacity);

// The full path of the module that holds `codeAddress`, in its long form when the platform
// gives one (GetModuleFileNameW, GetLongPathNameW); empty when it cannot be found.
std::u16string ModulePath(const void* codeAddress);

// The short form of a path (GetShortPathNameW); empty when the platform has none for it.
std::u16string ShortPath(std::u16string_view path);

// The arguments of the host process's command line, its program name excluded.
std::vector<std::u16string> CommandLineArguments();

// A CLSID as StringFromCLSID writes it: upper-case hexadecimal in braces.
std::u16string ClsidText(const GUID& clsid);

// CoLockObjectExternal(object, lock, lastUnlockReleases).
HRESULT LockObjectExternal(IUnknown* object, bool lock, bool lastUnlockReleases);

// The COM task allocator (CoTaskMemAlloc, CoTaskMemFree).
void* TaskMemAlloc(std::size_t byteCount);
void TaskMemFree(void* block);

} // namespace Platform
