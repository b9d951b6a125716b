// The loader against the fake speech engine library, found through the registry value
// HKLM\Software\Kelvora\TTS\Path as in the field.
#include "FakeEngineLibrary.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace FakeEngineLibrary;

std::vector<std::u16string>& MessageBoxes() {
    static std::vector<std::u16string> shown;
    return shown;
}

// The entry-point table's pointer for a name of the resolution list.
void* ResolvedEntryPoint(const char* name) {
    for (std::size_t i = 0; i < ResolutionListLength; ++i)
        if (std::string(ResolutionList[i]) == name)
            return EntryPointTable[i];
    ADD_FAILURE() << name << " is not in the resolution list";
    return nullptr;
}

long Count(const std::vector<std::string>& calls, const std::string& call) {
    return std::count(calls.begin(), calls.end(), call);
}

class Loader : public testing::Test {
protected:
    void SetUp() override {
        ResetResidency();
        RemoveInstallPath();
        Platform::SetLibrarySearchDirectory(u"");
        MessageBoxes().clear();
        Platform::HandleMessageBoxes([](std::u16string_view text, std::u16string_view, unsigned) {
            MessageBoxes().emplace_back(text);
        });
    }
    void TearDown() override {
        ResetResidency();
        RemoveInstallPath();
        Platform::HandleMessageBoxes(nullptr);
    }
};

TEST_F(Loader, LoadsKelvoraDllFromTheX64FolderOfTheRegisteredPath) {
    UseVariant(u"standard");
    ASSERT_TRUE(LoadEngineLibrary(u""));
    EXPECT_NE(EngineLibraryHandle, nullptr);
    EXPECT_EQ(Platform::LibrarySearchDirectory(), InstallDir(u"standard") + u"\\x64");
    EXPECT_NE(KelvoraAPI.kelvoraGetPhone, nullptr);
    EXPECT_NE(ResolvedEntryPoint("kelvoraGetMinorVersion"), nullptr); // resolved, never called
    EXPECT_EQ(ResolvedEntryPoint("kelvoraAboutWindow"), nullptr);     // the fake does not export it
    EXPECT_EQ(Calls(), (std::vector<std::string>{"kelvoraGetMajorVersion"}));
    EXPECT_TRUE(MessageBoxes().empty());
}

TEST_F(Loader, ATrailingBackslashIsKept) {
    SetInstallPath(InstallDir(u"standard") + u"\\");
    EXPECT_TRUE(LoadEngineLibrary(u""));
    EXPECT_EQ(Platform::LibrarySearchDirectory(), InstallDir(u"standard") + u"\\\\x64");
}

TEST_F(Loader, NoUsablePathLoadsNothing) {
    const std::u16string key = EngineRegistryKey;
    struct TCase {
        const char* Name;
        void (*Prepare)(const std::u16string& key);
    } cases[] = {
        {"no key", [](const std::u16string&) {}},
        {"no value",
         [](const std::u16string& key) {
             Platform::WriteRegistryString(Platform::TRegistryRoot::LocalMachine, key, u"Other",
                                           u"x");
         }},
        {"empty value", [](const std::u16string&) { SetInstallPath(u""); }},
        {"value of a wrong type",
         [](const std::u16string& key) {
             std::uint32_t number = 7;
             Platform::WriteRegistryValue(Platform::TRegistryRoot::LocalMachine, key, u"Path",
                                          Platform::RegistryDWord, &number, sizeof number);
         }},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        RemoveInstallPath();
        c.Prepare(key);
        EXPECT_FALSE(LoadEngineLibrary(u""));
        EXPECT_FALSE(StartEngine());
        EXPECT_EQ(EngineLibraryHandle, nullptr);
        EXPECT_EQ(Platform::LibrarySearchDirectory(), u"");
    }
}

TEST_F(Loader, AFileThatDoesNotLoadStillSetsTheSearchDirectory) {
    SetInstallPath(InstallDir(u"absent"));
    EXPECT_FALSE(StartEngine());
    EXPECT_EQ(EngineLibraryHandle, nullptr);
    EXPECT_EQ(Platform::LibrarySearchDirectory(), InstallDir(u"absent") + u"\\x64");
}

TEST_F(Loader, WarnsAboutVersionsBelow8AndLoadsAnyway) {
    const std::pair<std::u16string, bool> variants[] = {
        {u"version7", true}, {u"standard", false}, {u"version9", false}};
    for (const auto& [variant, warns] : variants) {
        SCOPED_TRACE(std::string(variant.begin(), variant.end()));
        ResetResidency();
        MessageBoxes().clear();
        UseVariant(variant);
        EXPECT_TRUE(StartEngine());
        EXPECT_EQ(MessageBoxes(), warns ? std::vector<std::u16string>{VersionWarning}
                                        : std::vector<std::u16string>{});
    }
    EXPECT_EQ(std::u16string(VersionWarning),
              u"Waarschuwing: deze applicatie vereist Kelvora TTS versie 8.0 of hoger!");
}

TEST_F(Loader, ASecondLoadAnswersAtOnce) {
    UseVariant(u"version7");
    ASSERT_TRUE(LoadEngineLibrary(u""));
    Platform::TModule first = EngineLibraryHandle;
    RemoveInstallPath();
    EXPECT_TRUE(LoadEngineLibrary(u"ignored"));
    EXPECT_EQ(EngineLibraryHandle, first);
    EXPECT_EQ(Count(Calls(), "kelvoraGetMajorVersion"), 1);
    EXPECT_EQ(MessageBoxes().size(), 1u);
}

TEST_F(Loader, AnUnloadedLibraryIsFoundAndCheckedAfresh) {
    UseVariant(u"standard");
    ASSERT_TRUE(StartEngine());
    UnloadEngineLibrary();
    EXPECT_EQ(EngineLibraryHandle, nullptr);
    EXPECT_EQ(KelvoraAPI.kelvoraGetPhone, nullptr);
    UseVariant(u"version7");
    EXPECT_TRUE(StartEngine());
    EXPECT_EQ(MessageBoxes().size(), 1u);
    EXPECT_EQ(Calls(), (std::vector<std::string>{"kelvoraGetMajorVersion", "kelvoraInitialize"}));
}

TEST_F(Loader, AFailedInitializeKeepsTheLibraryForARetry) {
    UseVariant(u"initfails");
    EXPECT_FALSE(StartEngine());
    Platform::TModule loaded = EngineLibraryHandle;
    ASSERT_NE(loaded, nullptr);
    Export<void (*)(std::uint8_t)>("fakeSetInitializeResult")(1);
    EXPECT_TRUE(StartEngine());
    EXPECT_EQ(EngineLibraryHandle, loaded);
    EXPECT_EQ(Calls(), (std::vector<std::string>{"kelvoraGetMajorVersion", "kelvoraInitialize",
                                                 "kelvoraInitialize"}));
}

TEST_F(Loader, ALibraryLackingACalledEntryPointDoesNotStart) {
    for (const char16_t* variant : {u"nophone", u"noversion"}) {
        ResetResidency();
        UseVariant(variant);
        EXPECT_FALSE(StartEngine());
        EXPECT_NE(EngineLibraryHandle, nullptr);
        EXPECT_EQ(Count(Calls(), "kelvoraInitialize"), 0);
        EXPECT_TRUE(MessageBoxes().empty());
    }
}

TEST_F(Loader, CloseAndUnloadWithNothingToCloseCallNothing) {
    CloseEngine();
    UnloadEngineLibrary();
    EXPECT_EQ(EngineLibraryHandle, nullptr);

    UseVariant(u"noclose");
    ASSERT_TRUE(StartEngine());
    EXPECT_EQ(KelvoraAPI.kelvoraClose, nullptr);
    CloseEngine();
    EXPECT_NE(EngineLibraryHandle, nullptr);

    ResetResidency();
    UseVariant(u"standard");
    ASSERT_TRUE(StartEngine());
    CloseEngine();
    EXPECT_NE(EngineLibraryHandle, nullptr);
    EXPECT_EQ(Calls().back(), "kelvoraClose");
}

} // namespace
