// Memory running out anywhere in the server: for each operation a host can call, the Nth
// allocation of the engine's own code fails (operator new throws, the task allocator
// returns null), for N = 1, 2, 3, ... until the operation completes without meeting the
// failure. Every time, nothing may escape to the host, the result is S_OK with all of its
// output or a failure HRESULT, EngineLock is free and no Speak stays counted. The fake speech
// engine library, the token and the site stand for other people's code and are left alone.
// The program carries the server's exports itself, so it sees the residency state; run
// under LeakSanitizer, it also shows that no failure leaks memory.
#include "EngineObjects.h"
#include "EngineSiteBase.h"
#include "FakeEngineLibrary.h"
#include "FakeToken.h"
#include "FragmentList.h"
#include "PortableTesting.h"
#include "ReplacedOperatorNew.h"
#include "TextCodec.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <new>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

extern "C" HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv);
extern "C" HRESULT DllCanUnloadNow();
extern "C" HRESULT DllRegisterServer();
extern "C" HRESULT DllUnregisterServer();

namespace {

thread_local bool Armed = false;       // this thread's allocations are counted
thread_local int OtherPeoplesCode = 0; // inside the library, the token or the site
thread_local long Countdown = 0;       // counted allocations left before the failing one
thread_local bool Exhausted = false;   // every allocation from the Nth on fails, not just it
thread_local bool FailureMet = false;

bool FailsNow() {
    if (!Armed || OtherPeoplesCode > 0 || Countdown == 0)
        return false;
    if (Countdown > 1) {
        --Countdown;
        return false;
    }
    if (!Exhausted)
        Countdown = 0;
    FailureMet = true;
    return true;
}

} // namespace

void* TestAllocation(std::size_t size) {
    if (FailsNow())
        throw std::bad_alloc();
    if (void* block = std::malloc(size ? size : 1))
        return block;
    throw std::bad_alloc();
}

namespace {

using namespace FakeEngineLibrary;

void EnterOtherPeoplesCode() {
    ++OtherPeoplesCode;
}
void LeaveOtherPeoplesCode() {
    --OtherPeoplesCode;
}

struct TOtherPeoplesCode {
    TOtherPeoplesCode() { EnterOtherPeoplesCode(); }
    ~TOtherPeoplesCode() { LeaveOtherPeoplesCode(); }
};

// The host's token: its own allocations never fail.
class THostToken : public TFakeToken {
public:
    THostToken() : TFakeToken(TValues{{u"", u"Anna"}, {u"SamplingRate", u"22050"}}, TFailures{}) {}
    HRESULT STDMETHODCALLTYPE GetStringValue(const char16_t* name, char16_t** value) override {
        TOtherPeoplesCode host;
        return TFakeToken::GetStringValue(name, value);
    }
};

// The host's site: counts what it is given, allocating nothing.
class TCountingSite : public TEngineSiteBase {
public:
    long Events = 0;
    long Writes = 0;
    HRESULT STDMETHODCALLTYPE AddEvents(const SPEVENT*, ULONG count) override {
        Events += static_cast<long>(count);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Write(const void*, ULONG bytes, ULONG* written) override {
        ++Writes;
        if (written)
            *written = bytes;
        return S_OK;
    }
};

std::atomic<int> FailureBoxes{0};

struct TSweepResult {
    long AllocationPoints = 0; // runs that met a failure
    std::vector<std::string> Faults;
};

bool EngineLockIsFree() {
    bool free = false;
    std::thread([&free] {
        if (EngineLock().try_lock()) {
            free = true;
            EngineLock().unlock();
        }
    }).join();
    return free;
}

// One operation of the sweep: `prepare` and `cleanUp` run before and after each run,
// `operation` runs armed to fail at the Nth allocation, and `complete` (unarmed) tells
// whether a success came with all of its output.
struct TOperation {
    std::function<void()> Prepare = [] {};
    std::function<HRESULT()> Operation;
    std::function<bool()> Complete = [] { return true; };
    std::function<void()> CleanUp = [] {};
};

// Runs the operation for N = 1, 2, ... until a run completes without meeting the failure:
// with only the Nth allocation failing, or with memory exhausted from the Nth on.
TSweepResult Sweep(const TOperation& step, bool exhausted) {
    TSweepResult sweep;
    for (long n = 1;; ++n) {
        step.Prepare();
        Countdown = n;
        Exhausted = exhausted;
        FailureMet = false;
        HRESULT result = E_UNEXPECTED;
        bool escaped = false;
        Armed = true;
        try {
            result = step.Operation();
        } catch (...) {
            escaped = true;
        }
        Armed = false;
        const bool met = FailureMet;
        const bool complete = !escaped && SUCCEEDED(result) && step.Complete();
        step.CleanUp();
        const std::string at =
            (exhausted ? " (memory exhausted from allocation " : " (failing allocation ") +
            std::to_string(n) + ")";
        if (escaped)
            sweep.Faults.push_back("an exception escaped" + at);
        else if (SUCCEEDED(result) && !complete)
            sweep.Faults.push_back("a success without all of its output" + at);
        if (!EngineLockIsFree())
            sweep.Faults.push_back("EngineLock stayed held" + at);
        if (ActiveSpeakCount != 0)
            sweep.Faults.push_back("ActiveSpeakCount is " + std::to_string(ActiveSpeakCount) + at);
        if (!met)
            return sweep;
        ++sweep.AllocationPoints;
        if (n > 100000) {
            sweep.Faults.push_back("the operation never completes");
            return sweep;
        }
    }
}

// Sweeps an operation and reports how many allocation points it reached.
void SweepAndReport(const char* name, const TOperation& step) {
    const TSweepResult once = Sweep(step, false);
    const TSweepResult exhausted = Sweep(step, true);
    std::printf("allocation sweep: %-30s %5ld allocation points\n", name, once.AllocationPoints);
    for (const TSweepResult* sweep : {&once, &exhausted})
        for (const std::string& fault : sweep->Faults)
            ADD_FAILURE() << name << ": " << fault;
}

class AllocationSweep : public testing::Test {
protected:
    void SetUp() override {
        ResetResidency();
        UseVariant(u"standard");
        Library.emplace(u"standard");
        Export<void (*)(void (*)(), void (*)())>("fakeSetCallHooks", Library->Module())(
            EnterOtherPeoplesCode, LeaveOtherPeoplesCode);
        PortableTesting::SetTaskMemAllocFailure(FailsNow);
        Platform::HandleMessageBoxes(
            [](std::u16string_view, std::u16string_view, unsigned) { ++FailureBoxes; });
    }
    void TearDown() override {
        PortableTesting::SetTaskMemAllocFailure(nullptr);
        Platform::HandleMessageBoxes(nullptr);
        ResetResidency();
        Export<void (*)(void (*)(), void (*)())>("fakeSetCallHooks", Library->Module())(nullptr,
                                                                                        nullptr);
        Library.reset();
        RemoveInstallPath();
    }

    static TComPtr<IClassFactory> Factory() {
        TComPtr<IClassFactory> factory;
        DllGetClassObject(CLSID_KelvoraSAPI5Engine, IID_IClassFactory, factory.ReceiveUntyped());
        return factory;
    }
    static TComPtr<ISpTTSEngine> NewBoundEngine(THostToken& token) {
        TComPtr<ISpTTSEngine> engine;
        Factory()->CreateInstance(nullptr, IID_ISpTTSEngine, engine.ReceiveUntyped());
        Query<ISpObjectWithToken>(engine.Get(), IID_ISpObjectWithToken)->SetObjectToken(&token);
        return engine;
    }

    std::optional<THeldLibrary> Library;
};

TEST_F(AllocationSweep, GettingTheClassObject) {
    IClassFactory* factory = nullptr;
    SweepAndReport("DllGetClassObject",
                   {.Operation =
                        [&] {
                            factory = nullptr;
                            return DllGetClassObject(CLSID_KelvoraSAPI5Engine, IID_IClassFactory,
                                                     reinterpret_cast<void**>(&factory));
                        },
                    .Complete = [&] { return factory != nullptr; },
                    .CleanUp =
                        [&] {
                            if (factory)
                                factory->Release();
                        }});
}

TEST_F(AllocationSweep, CreatingEngines) {
    TComPtr<IClassFactory> factory = Factory();
    IUnknown* made = nullptr;
    auto release = [&] {
        if (made)
            made->Release();
    };
    FailureBoxes = 0;
    SweepAndReport("CreateInstance",
                   {.Operation =
                        [&] {
                            made = nullptr;
                            return factory->CreateInstance(nullptr, IID_ISpTTSEngine,
                                                           reinterpret_cast<void**>(&made));
                        },
                    .Complete = [&] { return made != nullptr; },
                    .CleanUp = release});
    EXPECT_GT(FailureBoxes.load(), 0) << "no creation failure box was shown";
    TOuterUnknown outer;
    SweepAndReport("CreateInstance (aggregated)",
                   {.Operation =
                        [&] {
                            made = nullptr;
                            return factory->CreateInstance(&outer, IID_IUnknown,
                                                           reinterpret_cast<void**>(&made));
                        },
                    .Complete = [&] { return made != nullptr; },
                    .CleanUp = release});
}

TEST_F(AllocationSweep, BindingAndAgreeingTheFormat) {
    THostToken token;
    TComPtr<ISpTTSEngine> engine = NewBoundEngine(token);
    ISpObjectWithToken* withToken = nullptr;
    SweepAndReport("QueryInterface",
                   {.Operation =
                        [&] {
                            withToken = nullptr;
                            return engine->QueryInterface(IID_ISpObjectWithToken,
                                                          reinterpret_cast<void**>(&withToken));
                        },
                    .Complete = [&] { return withToken != nullptr; },
                    .CleanUp =
                        [&] {
                            if (withToken)
                                withToken->Release();
                        }});

    auto bound = Query<ISpObjectWithToken>(engine.Get(), IID_ISpObjectWithToken);
    SweepAndReport("SetObjectToken", {.Operation = [&] { return bound->SetObjectToken(&token); },
                                      .Complete =
                                          [&] {
                                              ISpObjectToken* held = nullptr;
                                              bound->GetObjectToken(&held);
                                              if (held)
                                                  held->Release();
                                              return held == &token;
                                          }});

    WAVEFORMATEX* format = nullptr;
    SweepAndReport("GetOutputFormat",
                   {.Operation =
                        [&] {
                            format = nullptr;
                            GUID id{};
                            WAVEFORMATEX target{WAVE_FORMAT_PCM, 1, 16000, 32000, 2, 16, 0};
                            return engine->GetOutputFormat(&SPDFID_WaveFormatEx, &target, &id,
                                                           &format);
                        },
                    .Complete = [&] { return format && format->nSamplesPerSec == 16000; },
                    .CleanUp = [&] { Platform::TaskMemFree(format); }});
}

TEST_F(AllocationSweep, SpeakingAndReleasingASpeakingEngine) {
    THostToken token;
    TFragmentList fragments{Speak(u"Hallo wereld"), SpellOut(u"KLM"), Bookmark(u"7"), Silence(120),
                            Speak(u"en verder").Rate(3)};
    TComPtr<ISpTTSEngine> engine;
    TCountingSite site;
    long fullWrites = 0;
    {
        TCountingSite whole;
        TComPtr<ISpTTSEngine> reference = NewBoundEngine(token);
        ASSERT_EQ(reference->Speak(0, SPDFID_WaveFormatEx, nullptr, fragments.First(), &whole),
                  S_OK);
        fullWrites = whole.Writes;
        ASSERT_GT(fullWrites, 20);
    }
    // Each run starts with the library unloaded, so loading and starting it are swept too.
    SweepAndReport("Speak", {.Prepare =
                                 [&] {
                                     ResetResidency();
                                     engine = NewBoundEngine(token);
                                     site = TCountingSite{};
                                 },
                             .Operation =
                                 [&] {
                                     return engine->Speak(0, SPDFID_WaveFormatEx, nullptr,
                                                          fragments.First(), &site);
                                 },
                             .Complete = [&] { return site.Writes == fullWrites; },
                             .CleanUp = [&] { engine = {}; }});

    SweepAndReport("Release of a speaking engine", {.Prepare =
                                                        [&] {
                                                            engine = NewBoundEngine(token);
                                                            engine->Speak(0, SPDFID_WaveFormatEx,
                                                                          nullptr,
                                                                          fragments.First(), &site);
                                                        },
                                                    .Operation =
                                                        [&] {
                                                            engine = {};
                                                            return S_OK;
                                                        }});
    // Every engine released while the library was loaded gave back its channel and voice.
    EXPECT_EQ(Export<std::uint32_t (*)()>("fakeLiveHandleCount", Library->Module())(), 0u);
}

// The registry values under HKEY_CLASSES_ROOT that registration writes, as text.
std::set<std::u16string> RegistrationValues() {
    std::set<std::u16string> values;
    const std::u16string clsid = u"CLSID\\" + Platform::ClsidText(CLSID_KelvoraSAPI5Engine);
    for (const std::u16string& key : {clsid, clsid + u"\\InprocServer32", clsid + u"\\ProgID"}) {
        for (const char16_t* name : {u"", u"ThreadingModel"}) {
            std::u16string value;
            if (Platform::ReadRegistryString(Platform::TRegistryRoot::ClassesRoot, key, name,
                                             value) == Platform::TReadResult::Found)
                values.insert(key + u"|" + name + u"|" + value);
        }
    }
    return values;
}

TEST_F(AllocationSweep, RegisteringAndUnregistering) {
    ASSERT_EQ(DllRegisterServer(), S_OK);
    const std::set<std::u16string> registered = RegistrationValues();
    ASSERT_EQ(DllUnregisterServer(), S_OK);

    // After a failure the registry holds what registration wrote up to it, nothing else.
    std::vector<std::string> strayValues;
    auto onlyRegisteredValues = [&] {
        for (const std::u16string& value : RegistrationValues())
            if (!registered.count(value))
                strayValues.push_back(Utf8FromUtf16(value));
    };
    SweepAndReport("DllRegisterServer",
                   {.Prepare = [] { DllUnregisterServer(); },
                    .Operation = [] { return DllRegisterServer(); },
                    .Complete = [&] { return RegistrationValues() == registered; },
                    .CleanUp = onlyRegisteredValues});
    SweepAndReport("DllUnregisterServer", {.Prepare = [] { DllRegisterServer(); },
                                           .Operation = [] { return DllUnregisterServer(); },
                                           .Complete = [] { return RegistrationValues().empty(); },
                                           .CleanUp = onlyRegisteredValues});
    EXPECT_TRUE(strayValues.empty()) << "a failed registration wrote " << strayValues.front();
    DllUnregisterServer();
}

TEST_F(AllocationSweep, AskingWhetherTheServerCanBeUnloaded) {
    SweepAndReport("DllCanUnloadNow", {.Operation = [] {
                       const HRESULT result = DllCanUnloadNow();
                       return result == S_FALSE ? S_OK : result;
                   }});
}

} // namespace
