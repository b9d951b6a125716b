// The server module through its four exports, as the platform's COM and regsvr32 use it:
// the class factory and its counts, DllCanUnloadNow, self-registration and unregistration,
// and a whole Speak through an engine object the factory made.
#include "ServerModule.h"

#include "EngineObjects.h"
#include "FakeEngineLibrary.h"
#include "FakeSite.h"
#include "FakeToken.h"
#include "FragmentList.h"

#ifndef _WIN32
#include "PortableTesting.h"
#endif

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

using Platform::TRegistryRoot;
using ServerModule::TServer;

constexpr IID IID_Unrelated = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
const std::u16string ClsidKey = u"CLSID\\{2A76E30B-904F-48ED-A628-CDB91C7B5D1A}";

struct TValue {
    std::u16string Key;
    std::u16string Name;
    std::u16string Data;
};

std::vector<TValue> RegisteredValues(TRegistryRoot root, const std::u16string& prefix,
                                     const std::u16string& progId) {
    const std::pair<std::u16string, std::u16string> places[] = {
        {ClsidKey, u""},
        {ClsidKey + u"\\InprocServer32", u""},
        {ClsidKey + u"\\InprocServer32", u"ThreadingModel"},
        {progId, u""},
        {progId + u"\\Clsid", u""},
        {ClsidKey + u"\\ProgID", u""},
    };
    std::vector<TValue> values;
    for (const auto& [key, name] : places) {
        std::u16string data;
        if (Platform::ReadRegistryString(root, prefix + key, name, data) ==
            Platform::TReadResult::Found)
            values.push_back({key, name, data});
    }
    return values;
}

std::vector<TValue> ExpectedValues(const std::u16string& serverPath, const std::u16string& progId) {
    return {{ClsidKey, u"", u"Kelvora SAPI5 Engine"},
            {ClsidKey + u"\\InprocServer32", u"", serverPath},
            {ClsidKey + u"\\InprocServer32", u"ThreadingModel", u"Both"},
            {progId, u"", u"Kelvora SAPI5 Engine"},
            {progId + u"\\Clsid", u"", u"{2A76E30B-904F-48ED-A628-CDB91C7B5D1A}"},
            {ClsidKey + u"\\ProgID", u"", progId}};
}

bool operator==(const TValue& a, const TValue& b) {
    return a.Key == b.Key && a.Name == b.Name && a.Data == b.Data;
}

void PrintTo(const TValue& value, std::ostream* out) {
    testing::internal::UniversalPrint(value.Key + u" [" + value.Name + u"] = " + value.Data, out);
}

const std::u16string EngineProgId = u"KelvoraSAPI5.KelvoraSAPI5Engine";

class Server : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(Module.Loaded()); }
    void TearDown() override {
        Module.DllUnregisterServer();
        Platform::DeleteRegistryKey(TRegistryRoot::ClassesRoot, ClsidKey + u"\\Extra");
        Module.DllUnregisterServer();
    }

    TComPtr<IClassFactory> Factory() {
        TComPtr<IClassFactory> factory;
        EXPECT_EQ(Module.DllGetClassObject(CLSID_KelvoraSAPI5Engine, IID_IClassFactory,
                                           factory.ReceiveUntyped()),
                  S_OK);
        return factory;
    }

    TServer Module;
};

TEST_F(Server, HandsOutOneFactoryAndCountsItsReferences) {
    EXPECT_EQ(Module.DllCanUnloadNow(), S_OK);
    void* asFactory = nullptr;
    void* asUnknown = nullptr;
    ASSERT_EQ(Module.DllGetClassObject(CLSID_KelvoraSAPI5Engine, IID_IClassFactory, &asFactory),
              S_OK);
    EXPECT_EQ(Module.DllCanUnloadNow(), S_FALSE);
    auto* factory = static_cast<IClassFactory*>(asFactory);
    EXPECT_EQ(factory->AddRef(), 2u);
    EXPECT_EQ(factory->Release(), 1u);
    ASSERT_EQ(Module.DllGetClassObject(CLSID_KelvoraSAPI5Engine, IID_IUnknown, &asUnknown), S_OK);
    EXPECT_EQ(asUnknown, asFactory);
    EXPECT_EQ(static_cast<IUnknown*>(asUnknown)->Release(), 1u);
    EXPECT_EQ(factory->Release(), 0u);
    EXPECT_EQ(Module.DllCanUnloadNow(), S_OK);
}

TEST_F(Server, RefusesOtherClassesAndInterfaces) {
    void* pointer = &pointer;
    EXPECT_EQ(Module.DllGetClassObject(IID_Unrelated, IID_IClassFactory, &pointer),
              CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(pointer, nullptr);
    pointer = &pointer;
    EXPECT_EQ(Module.DllGetClassObject(CLSID_KelvoraSAPI5Engine, IID_Unrelated, &pointer),
              E_NOINTERFACE);
    EXPECT_EQ(pointer, nullptr);
    EXPECT_EQ(Module.DllCanUnloadNow(), S_OK);
}

TEST_F(Server, LockServerKeepsTheServer) {
    TComPtr<IClassFactory> factory = Factory();
    factory->LockServer(TRUE);
    factory = {};
    EXPECT_EQ(Module.DllCanUnloadNow(), S_FALSE);
    Factory()->LockServer(FALSE);
    EXPECT_EQ(Module.DllCanUnloadNow(), S_OK);
    Factory()->LockServer(FALSE);
    EXPECT_EQ(Module.DllCanUnloadNow(), S_FALSE);
    Factory()->LockServer(TRUE);
    EXPECT_EQ(Module.DllCanUnloadNow(), S_OK);
}

TEST_F(Server, CreatesANewEngineForEveryCall) {
    TComPtr<IClassFactory> factory = Factory();
    ISpTTSEngine* first = nullptr;
    ISpTTSEngine* second = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_ISpTTSEngine, reinterpret_cast<void**>(&first)),
              S_OK);
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_ISpTTSEngine, reinterpret_cast<void**>(&second)),
              S_OK);
    EXPECT_NE(first, second);
    EXPECT_EQ(first->AddRef(), 2u);
    EXPECT_EQ(first->Release(), 1u);
    EXPECT_EQ(first->Release(), 0u);
    EXPECT_EQ(second->Release(), 0u);
    factory = {};
    // An engine object once made keeps the DLL loaded.
    EXPECT_EQ(Module.DllCanUnloadNow(), S_FALSE);
}

TEST_F(Server, CreateInstanceFollowsTheAggregationRules) {
    TComPtr<IClassFactory> factory = Factory();
    struct TOuter : IUnknown {
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
        ULONG STDMETHODCALLTYPE AddRef() override { return ++References; }
        ULONG STDMETHODCALLTYPE Release() override { return --References; }
        ULONG References = 1;
    } outer;
    void* pointer = &pointer;
    EXPECT_EQ(factory->CreateInstance(&outer, IID_ISpTTSEngine, &pointer), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(pointer, nullptr);
    EXPECT_EQ(Module.DllCanUnloadNow(), S_FALSE); // the factory is still held
    factory = {};
    EXPECT_EQ(Module.DllCanUnloadNow(), S_OK); // and no object was made

    factory = Factory();
    ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, &pointer), S_OK);
    auto* inner = static_cast<IUnknown*>(pointer);
    EXPECT_EQ(inner->AddRef(), 2u);
    EXPECT_EQ(outer.References, 1u);
    EXPECT_EQ(inner->Release(), 1u);
    EXPECT_EQ(inner->Release(), 0u);

    pointer = &pointer;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_Unrelated, &pointer), E_NOINTERFACE);
    EXPECT_EQ(pointer, nullptr);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_ISpTTSEngine, nullptr), E_POINTER);
}

TEST_F(Server, RegistersTheSixValuesAndUnregistersThem) {
    ASSERT_EQ(Module.DllRegisterServer(), S_OK);
    EXPECT_EQ(RegisteredValues(TRegistryRoot::ClassesRoot, u"", EngineProgId),
              ExpectedValues(Module.Path, EngineProgId));
    ASSERT_EQ(Module.DllRegisterServer(), S_OK);
    EXPECT_EQ(RegisteredValues(TRegistryRoot::ClassesRoot, u"", EngineProgId),
              ExpectedValues(Module.Path, EngineProgId));
    EXPECT_EQ(Module.DllUnregisterServer(), S_OK);
    EXPECT_TRUE(RegisteredValues(TRegistryRoot::ClassesRoot, u"", EngineProgId).empty());
    std::u16string data;
    EXPECT_EQ(Platform::ReadRegistryString(TRegistryRoot::ClassesRoot, ClsidKey, u"", data),
              Platform::TReadResult::Missing);
    EXPECT_EQ(Module.DllUnregisterServer(), S_OK);
}

TEST_F(Server, AKeySomeoneElseAddedKeepsTheClassKey) {
    ASSERT_EQ(Module.DllRegisterServer(), S_OK);
    Platform::WriteRegistryString(TRegistryRoot::ClassesRoot, ClsidKey + u"\\Extra", u"", u"x");
    EXPECT_EQ(Module.DllUnregisterServer(), S_OK);
    std::u16string data;
    EXPECT_EQ(
        Platform::ReadRegistryString(TRegistryRoot::ClassesRoot, ClsidKey + u"\\Extra", u"", data),
        Platform::TReadResult::Found);
    EXPECT_EQ(RegisteredValues(TRegistryRoot::ClassesRoot, u"", EngineProgId).size(), 1u);
}

TEST(ServerFile, ThePathWithABlankIsRegisteredInItsShortForm) {
    TServer module(
        ServerModule::Copy("with blank", ServerModule::BuiltServer().filename().string()));
    ASSERT_TRUE(module.Loaded());
    ASSERT_EQ(module.DllRegisterServer(), S_OK);
    std::u16string registered;
    Platform::ReadRegistryString(TRegistryRoot::ClassesRoot, ClsidKey + u"\\InprocServer32", u"",
                                 registered);
    EXPECT_EQ(module.Path.find(u' ') != std::u16string::npos, true);
    EXPECT_EQ(registered.find(u' '), std::u16string::npos);
    EXPECT_EQ(registered, Platform::ShortPath(module.Path));
    module.DllUnregisterServer();
}

TEST(ServerFile, TheProgIdFollowsTheFileName) {
    const std::string extension = ServerModule::BuiltServer().extension().string();
    TServer first(ServerModule::Copy("named", "KelvoraSAPI5" + extension));
    ASSERT_EQ(first.DllRegisterServer(), S_OK);
    TServer renamed(ServerModule::Copy("renamed", "Other" + extension));
    ASSERT_EQ(renamed.DllUnregisterServer(), S_OK);
    std::u16string data;
    EXPECT_EQ(Platform::ReadRegistryString(TRegistryRoot::ClassesRoot, EngineProgId, u"", data),
              Platform::TReadResult::Found);
    EXPECT_EQ(Platform::ReadRegistryString(TRegistryRoot::ClassesRoot, ClsidKey, u"", data),
              Platform::TReadResult::Missing);
    first.DllUnregisterServer();
    EXPECT_EQ(Platform::ReadRegistryString(TRegistryRoot::ClassesRoot, EngineProgId, u"", data),
              Platform::TReadResult::Missing);
}

#ifndef _WIN32
TEST_F(Server, ARefusedWriteFailsAndKeepsWhatWasWritten) {
    PortableTesting::RefuseRegistryWritesAfter(TRegistryRoot::ClassesRoot, 2);
    EXPECT_EQ(Module.DllRegisterServer(), E_FAIL);
    std::vector<TValue> expected = ExpectedValues(Module.Path, EngineProgId);
    expected.resize(2);
    EXPECT_EQ(RegisteredValues(TRegistryRoot::ClassesRoot, u"", EngineProgId), expected);
    PortableTesting::ResetRegistry();
}
#endif

// Run by CTest with the host process's arguments under test and "--expect=user" or
// "--expect=machine"; skipped otherwise.
TEST(RegistrationSwitches, ChooseWhereRegistrationWrites) {
    std::u16string expected;
    for (const std::u16string& argument : Platform::CommandLineArguments())
        if (argument.rfind(u"--expect=", 0) == 0)
            expected = argument.substr(9);
    if (expected.empty())
        GTEST_SKIP() << "run with --expect=user or --expect=machine";
    TServer module;
    ASSERT_EQ(module.DllRegisterServer(), S_OK);
    const bool perUser = expected == u"user";
    const TRegistryRoot root = perUser ? TRegistryRoot::CurrentUser : TRegistryRoot::ClassesRoot;
    const std::u16string prefix = perUser ? u"Software\\Classes\\" : u"";
    EXPECT_EQ(RegisteredValues(root, prefix, EngineProgId),
              ExpectedValues(module.Path, EngineProgId));
    ASSERT_EQ(module.DllUnregisterServer(), S_OK);
    EXPECT_TRUE(RegisteredValues(root, prefix, EngineProgId).empty());
}

// regsvr32's way: load, register, free, with no engine ever made; the process lives on.
TEST(ServerLifetime, AFreedServerLeavesNothingRunning) {
    {
        TServer module;
        ASSERT_EQ(module.DllRegisterServer(), S_OK);
        ASSERT_EQ(module.DllUnregisterServer(), S_OK);
        EXPECT_EQ(module.DllCanUnloadNow(), S_OK);
    }
    std::this_thread::sleep_for(std::chrono::seconds(3));
    SUCCEED();
}

// Speaks through an engine object made by the DLL's own factory.
void SpeakThrough(ISpTTSEngine& engine) {
    static TFakeToken token{{u"", u"Anna"}, {u"SamplingRate", u"16000"}};
    auto withToken = Query<ISpObjectWithToken>(&engine, IID_ISpObjectWithToken);
    ASSERT_TRUE(withToken);
    ASSERT_EQ(withToken->SetObjectToken(&token), S_OK);
    TFragmentList fragments{Speak(u"Hallo"), Bookmark(u"1"), Speak(u"wereld")};
    TFakeSite site;
    ASSERT_EQ(engine.Speak(0, SPDFID_WaveFormatEx, nullptr, fragments.First(), &site), S_OK);
    EXPECT_EQ(site.Audio.size(), 11u * 320u);
    EXPECT_EQ(site.EventsOf(SPEI_WORD_BOUNDARY).size(), 2u);
    EXPECT_EQ(site.EventsOf(SPEI_TTS_BOOKMARK).size(), 1u);
    EXPECT_EQ(site.EventsOf(SPEI_VISEME).size(), 11u);
}

TEST(ServerSpeaks, ThroughTheFactoryAndTheFakeLibrary) {
    FakeEngineLibrary::UseVariant(u"standard");
    TServer module;
    {
        TComPtr<IClassFactory> factory;
        ASSERT_EQ(module.DllGetClassObject(CLSID_KelvoraSAPI5Engine, IID_IClassFactory,
                                           factory.ReceiveUntyped()),
                  S_OK);
        TComPtr<ISpTTSEngine> engine;
        ASSERT_EQ(factory->CreateInstance(nullptr, IID_ISpTTSEngine, engine.ReceiveUntyped()),
                  S_OK);
        factory = {};
        SpeakThrough(*engine);
    }
    // The ticker now runs and holds the module; freeing it must not pull its code away.
    module.Unload();
    std::this_thread::sleep_for(std::chrono::seconds(3));
    FakeEngineLibrary::RemoveInstallPath();
}

#ifdef _WIN32
// CoCreateInstance in a single-threaded and in a multi-threaded apartment.
TEST(ServerSpeaks, ThroughCoCreateInstanceInBothApartments) {
    FakeEngineLibrary::UseVariant(u"standard");
    TServer module;
    ASSERT_EQ(module.DllRegisterServer(), S_OK);
    for (DWORD apartment : {DWORD{COINIT_APARTMENTTHREADED}, DWORD{COINIT_MULTITHREADED}}) {
        std::thread([apartment] {
            SCOPED_TRACE(apartment == COINIT_MULTITHREADED ? "MTA" : "STA");
            ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, apartment)));
            {
                TComPtr<ISpTTSEngine> engine;
                ASSERT_EQ(CoCreateInstance(CLSID_KelvoraSAPI5Engine, nullptr, CLSCTX_INPROC_SERVER,
                                           IID_ISpTTSEngine, engine.ReceiveUntyped()),
                          S_OK);
                SpeakThrough(*engine);
            }
            CoUninitialize();
        }).join();
    }
    module.DllUnregisterServer();
    FakeEngineLibrary::RemoveInstallPath();
}
#endif

} // namespace
