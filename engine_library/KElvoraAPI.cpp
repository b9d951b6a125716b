#include "KElvoraAPI.h"

#include <cstring>
#include <string>

TKelvoraAPI KelvoraAPI{};
void* EntryPointTable[ResolutionListLength]{};
Platform::TModule EngineLibraryHandle = nullptr;

const char16_t VersionWarning[] =
    u"Waarschuwing: deze applicatie vereist Kelvora TTS versie 8.0 of hoger!";
const char16_t EngineRegistryKey[] = u"Software\\Kelvora\\TTS";
const char16_t EngineRegistryValue[] = u"Path";
const char16_t EngineLibraryFolder[] = u"\\x64";
const char16_t EngineLibraryFile[] = u"\\KELVORA.DLL";

// Every entry point the library has ever exported, resolved at each load though only eleven
// are called: the table is the library's whole interface as the loader sees it, so a library
// that lacks any name loads all the same (the pointer stays null) and a later use of one of
// the others needs no change to the loader.
const char* const ResolutionList[ResolutionListLength] = {
    "kelvoraGetMajorVersion",
    "kelvoraGetMinorVersion",
    "kelvoraAboutWindow",
    "kelvoraInitialize",
    "kelvoraInitializeFrom",
    "kelvoraInitializeFromW",
    "kelvoraClose",
    "kelvoraGetVoiceCount",
    "kelvoraGetVoiceName",
    "kelvoraGetVoiceNameW",
    "kelvoraCreateVoice",
    "kelvoraCreateVoiceW",
    "kelvoraDeleteVoice",
    "kelvoraCreateChannel",
    "kelvoraDeleteChannel",
    "kelvoraSetVoice",
    "kelvoraSetTempo",
    "kelvoraSetVolume",
    "kelvoraSetBalance",
    "kelvoraSetParameter",
    "kelvoraSetParameterW",
    "kelvoraSetInputText",
    "kelvoraSetInputTextW",
    "kelvoraGetPhone",
    "kelvoraGetBookmark",
    "kelvoraSpeak",
    "kelvoraStopSpeaking",
    "kelvoraPauseResumeSpeaking",
    "kelvoraSpeakToFile",
    "kelvoraSpeakToFileW",
    "kelvoraAbortSpeakToFile",
    "kelvoraScanText",
    "kelvoraAbortScanText",
    "kelvoraReadPhoFile",
    "kelvoraReadPhoFileW",
    "kelvoraWritePhoFile",
    "kelvoraWritePhoFileW",
    "kelvoraSpeakToPraat",
    "kelvoraAbortSpeakToPraat",
    "kelvoraViewDiphoneInPraat",
    "kelvoraWriteAnalysis",
    "kelvoraWriteAnalysisW",
    "kelvoraLookupWord",
    "kelvoraLookupWordW",
    "kelvoraLookupFrisianWord",
    "kelvoraAddWord",
    "kelvoraAddWordW",
    "kelvoraUserLexiconNextWord",
    "kelvoraUserLexiconNextWordW",
    "kelvoraGetAltTranscriptionCount",
    "kelvoraGetAltTranscriptionCountW",
    "kelvoraUserLexiconClear",
    "kelvoraUserLexiconImport",
    "kelvoraUserLexiconImportW",
    "kelvoraUserLexiconExport",
    "kelvoraUserLexiconExportW",
    "kelvoraGetPreferredVoiceName",
    "kelvoraGetPreferredVoiceNameW",
    "kelvoraSetPreferredVoiceName",
    "kelvoraSetPreferredVoiceNameW",
    "kelvoraGetPreferredTempo",
    "kelvoraSetPreferredTempo",
    "kelvoraGetPreferredVolume",
    "kelvoraSetPreferredVolume",
    "kelvoraGetPreferredBalance",
    "kelvoraSetPreferredBalance",
    "kelvoraGetReadingMode",
    "kelvoraSetReadingMode",
    "kelvoraGetSpellOutMode",
    "kelvoraSetSpellOutMode",
    "kelvoraGetPunctuationMode",
    "kelvoraSetPunctuationMode",
    "kelvoraSaveSettings",
    "kelvoraUpdateSettings",
    "kelvoraGetUserDataPath",
    "kelvoraGetUserDataPathW",
    "kelvoraSetFrisianMode",
    "kelvoraGetUsedHeap",
    "kelvoraGetFreeHeap",
    "kelvoraGarbageCollect",
    "kelvoraSetTuningWeights",
};

namespace {

constexpr std::uint32_t RequiredMajorVersion = 8;

template <typename TFunction> TFunction Resolved(const char* name) {
    for (std::size_t i = 0; i < ResolutionListLength; ++i)
        if (std::strcmp(ResolutionList[i], name) == 0)
            return reinterpret_cast<TFunction>(EntryPointTable[i]);
    return nullptr;
}

void FillCalledEntryPoints() {
    KelvoraAPI.kelvoraGetMajorVersion = Resolved<TkelvoraGetMajorVersion>("kelvoraGetMajorVersion");
    KelvoraAPI.kelvoraInitialize = Resolved<TkelvoraInitialize>("kelvoraInitialize");
    KelvoraAPI.kelvoraClose = Resolved<TkelvoraClose>("kelvoraClose");
    KelvoraAPI.kelvoraCreateVoiceW = Resolved<TkelvoraCreateVoiceW>("kelvoraCreateVoiceW");
    KelvoraAPI.kelvoraCreateChannel = Resolved<TkelvoraCreateChannel>("kelvoraCreateChannel");
    KelvoraAPI.kelvoraSetTempo = Resolved<TkelvoraSetTempo>("kelvoraSetTempo");
    KelvoraAPI.kelvoraSetVolume = Resolved<TkelvoraSetVolume>("kelvoraSetVolume");
    KelvoraAPI.kelvoraSetInputTextW = Resolved<TkelvoraSetInputTextW>("kelvoraSetInputTextW");
    KelvoraAPI.kelvoraGetPhone = Resolved<TkelvoraGetPhone>("kelvoraGetPhone");
    KelvoraAPI.kelvoraDeleteChannel = Resolved<TkelvoraDeleteChannel>("kelvoraDeleteChannel");
    KelvoraAPI.kelvoraDeleteVoice = Resolved<TkelvoraDeleteVoice>("kelvoraDeleteVoice");
}

// Every entry point that Speak and the teardown call; kelvoraClose is optional.
bool ExportsEveryCalledEntryPoint() {
    const TKelvoraAPI& api = KelvoraAPI;
    return api.kelvoraGetMajorVersion && api.kelvoraInitialize && api.kelvoraCreateVoiceW &&
           api.kelvoraCreateChannel && api.kelvoraSetTempo && api.kelvoraSetVolume &&
           api.kelvoraSetInputTextW && api.kelvoraGetPhone && api.kelvoraDeleteChannel &&
           api.kelvoraDeleteVoice;
}

} // namespace

bool LoadEngineLibrary(std::u16string_view path) {
    if (EngineLibraryHandle)
        return true;
    std::u16string directory(path);
    if (directory.empty() &&
        Platform::ReadRegistryString(Platform::TRegistryRoot::LocalMachine, EngineRegistryKey,
                                     EngineRegistryValue,
                                     directory) == Platform::TReadResult::WrongType)
        return false;
    if (!directory.empty()) {
        directory += EngineLibraryFolder;
        Platform::SetLibrarySearchDirectory(directory);
        EngineLibraryHandle = Platform::LoadLibraryModule(directory + EngineLibraryFile);
    }
    if (!EngineLibraryHandle)
        return false;

    for (std::size_t i = 0; i < ResolutionListLength; ++i)
        EntryPointTable[i] = Platform::FindEntryPoint(EngineLibraryHandle, ResolutionList[i]);
    FillCalledEntryPoints();
    if (KelvoraAPI.kelvoraGetMajorVersion &&
        KelvoraAPI.kelvoraGetMajorVersion() < RequiredMajorVersion)
        Platform::ShowMessageBox(VersionWarning, u"Kelvora TTS", Platform::MessageBoxOk);
    return true;
}

bool StartEngine() {
    if (!LoadEngineLibrary(u""))
        return false;
    if (!ExportsEveryCalledEntryPoint())
        return false;
    return KelvoraAPI.kelvoraInitialize() != 0;
}

void CloseEngine() {
    if (EngineLibraryHandle && KelvoraAPI.kelvoraClose)
        KelvoraAPI.kelvoraClose();
}

void UnloadEngineLibrary() {
    if (EngineLibraryHandle)
        Platform::FreeLibraryModule(EngineLibraryHandle);
    EngineLibraryHandle = nullptr;
    KelvoraAPI = TKelvoraAPI{};
    for (void*& entryPoint : EntryPointTable)
        entryPoint = nullptr;
}
