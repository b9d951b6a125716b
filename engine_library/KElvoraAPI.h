// KElvoraAPI: access to the speech engine library KELVORA.DLL. The types of the entry points
// this system calls, with their exact argument widths (results it reads are one-byte
// Booleans or 32-bit numbers; results it ignores are declared void, which the x64 calling
// convention allows for any result type), the entry-point table, and the loader: find the
// library through the registry, load it, resolve it, check its version, start, close and
// unload it. No operation here takes a lock; the residency steps call them under EngineLock.
#pragma once

#include "Platform.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

using KelvoraBool = std::uint8_t;
using KelvoraVoice = void*;
using KelvoraChannel = void*;

using TkelvoraGetMajorVersion = std::uint32_t (*)();
using TkelvoraInitialize = KelvoraBool (*)();
using TkelvoraClose = void (*)();
using TkelvoraCreateVoiceW = KelvoraVoice (*)(const char16_t* voiceName);
using TkelvoraCreateChannel = KelvoraChannel (*)(KelvoraVoice voice, std::uint32_t samplingRate,
                                                 std::uint32_t reserved);
using TkelvoraSetTempo = void (*)(KelvoraChannel channel, std::int32_t rate);
using TkelvoraSetVolume = void (*)(KelvoraChannel channel, std::uint32_t volume);
using TkelvoraSetInputTextW = void (*)(KelvoraChannel channel, const char16_t* text);
using TkelvoraGetPhone = KelvoraBool (*)(KelvoraChannel channel, const char** phoneSymbol,
                                         std::uint32_t* sampleCount, const std::int16_t** samples,
                                         std::uint32_t* textPosition, std::uint32_t* wordLength);
using TkelvoraDeleteChannel = void (*)(KelvoraChannel channel);
using TkelvoraDeleteVoice = void (*)(KelvoraVoice voice);

// The entry points this system calls, resolved by the last load; null where the library
// does not export one, and null again once the library is unloaded.
struct TKelvoraAPI {
    TkelvoraGetMajorVersion kelvoraGetMajorVersion;
    TkelvoraInitialize kelvoraInitialize;
    TkelvoraClose kelvoraClose;
    TkelvoraCreateVoiceW kelvoraCreateVoiceW;
    TkelvoraCreateChannel kelvoraCreateChannel;
    TkelvoraSetTempo kelvoraSetTempo;
    TkelvoraSetVolume kelvoraSetVolume;
    TkelvoraSetInputTextW kelvoraSetInputTextW;
    TkelvoraGetPhone kelvoraGetPhone;
    TkelvoraDeleteChannel kelvoraDeleteChannel;
    TkelvoraDeleteVoice kelvoraDeleteVoice;
};
extern TKelvoraAPI KelvoraAPI;

// Every name the loader resolves, in the order it resolves them, and what each resolved to.
constexpr std::size_t ResolutionListLength = 81;
extern const char* const ResolutionList[ResolutionListLength];
extern void* EntryPointTable[ResolutionListLength];

// The loaded library module; null while none is loaded.
extern Platform::TModule EngineLibraryHandle;

extern const char16_t VersionWarning[];

// Where the install directory is found, and the library's place in it: the library is
// Path + EngineLibraryFolder + EngineLibraryFile, and Path + EngineLibraryFolder becomes the
// DLL search directory.
extern const char16_t EngineRegistryKey[];   // under HKEY_LOCAL_MACHINE
extern const char16_t EngineRegistryValue[]; // "Path"
extern const char16_t EngineLibraryFolder[]; // "\x64"
extern const char16_t EngineLibraryFile[];   // "\KELVORA.DLL"

// Loads the library from `path`, or from the install directory in the registry when `path`
// is empty. True when a library is loaded on return. Warns when it is older than 8.0.
bool LoadEngineLibrary(std::u16string_view path);

// Loads and initialises the library; true only when it exports every entry point this
// system calls and its kelvoraInitialize reports ready. Never calls a missing entry point.
bool StartEngine();

// Calls kelvoraClose when a library is loaded and exports it; the library stays loaded.
void CloseEngine();

// Frees the library module and forgets it and its entry points.
void UnloadEngineLibrary();
