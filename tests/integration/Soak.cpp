// A soak of the real KelvoraSAPI5.dll under Wine, with the fake speech engine library found
// through the registry: for a bounded time (60 s, or the seconds given as the argument) eight
// threads make engine objects through CoCreateInstance, bind tokens of different rates, agree
// random output formats, speak random fragment lists through a host that aborts, skips,
// changes rate and volume and refuses writes at random phones, and release the objects; one
// more thread takes and releases class factories and asks DllCanUnloadNow. It fails on a
// crash, a hang (a watchdog), a Speak result other than S_OK or a documented failure, a stale
// or unknown handle reaching the library, or channels and voices left behind.
#include "EngineObjects.h"
#include "EngineSiteBase.h"
#include "FakeEngineLibrary.h"
#include "FakeToken.h"
#include "FragmentList.h"
#include "ServerModule.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <list>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::atomic<long> Speaks{0}, Phones{0}, EnginesMade{0}, FormatsAgreed{0}, FactoryRounds{0};
std::atomic<long> Progress{0};
std::atomic<int> Faults{0};

void Fault(const std::string& what) {
    if (++Faults <= 20)
        std::printf("FAULT: %s\n", what.c_str());
}

// A host that asks for everything a host may ask, at random phones.
class TRandomSite : public TEngineSiteBase {
public:
    explicit TRandomSite(std::mt19937& random) : FRandom(random) {}

    DWORD STDMETHODCALLTYPE GetActions() override {
        const unsigned roll = FRandom() % 1000;
        if (roll < 2)
            return SPVES_ABORT;
        if (roll < 4)
            return SPVES_SKIP;
        if (roll < 30)
            return roll % 2 ? DWORD{SPVES_RATE | SPVES_VOLUME} : DWORD{SPVES_RATE};
        return SPVES_CONTINUE;
    }
    HRESULT STDMETHODCALLTYPE GetSkipInfo(SPVSKIPTYPE* type, LONG* count) override {
        *type = SPVST_SENTENCE;
        *count = static_cast<LONG>(FRandom() % 3) - 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetRate(LONG* rate) override {
        *rate = static_cast<LONG>(FRandom() % 21) - 10;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetVolume(USHORT* volume) override {
        *volume = static_cast<USHORT>(FRandom() % 101);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE AddEvents(const SPEVENT* events, ULONG count) override {
        if (count != 1 || events->ullAudioStreamOffset < FLastOffset)
            Fault("an event went back in the audio");
        FLastOffset = events->ullAudioStreamOffset;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Write(const void*, ULONG bytes, ULONG* written) override {
        ++Phones;
        if (written)
            *written = bytes;
        return FRandom() % 500 == 0 ? S_FALSE : S_OK;
    }

private:
    std::mt19937& FRandom;
    ULONGLONG FLastOffset = 0;
};

std::vector<TFragment> RandomFragments(std::mt19937& random) {
    static const char16_t* const words[] = {u"Hallo", u"wereld,", u"dit",     u"is", u"een",
                                            u"test.", u"Kelvora", u"spreekt", u"?"};
    std::vector<TFragment> fragments;
    const unsigned count = 1 + random() % 12;
    for (unsigned i = 0; i < count; ++i) {
        switch (random() % 6) {
        case 0:
            fragments.push_back(Bookmark(std::u16string(u"b") + char16_t(u'0' + random() % 10)));
            break;
        case 1:
            fragments.push_back(Silence(random() % 300));
            break;
        case 2:
            fragments.push_back(SpellOut(u"KLM"));
            break;
        default:
            fragments.push_back(Speak(words[random() % 9])
                                    .Rate(static_cast<LONG>(random() % 21) - 10)
                                    .Vol(random() % 101));
        }
    }
    return fragments;
}

bool AllowedSpeakResult(HRESULT result) {
    return result == S_OK || result == E_OUTOFMEMORY || result == SPERR_UNINITIALIZED ||
           result == E_FAIL;
}

void Speaker(unsigned seed, Clock::time_point end) {
    std::mt19937 random(seed);
    CoInitializeEx(nullptr, seed % 2 ? COINIT_MULTITHREADED : COINIT_APARTMENTTHREADED);
    std::list<TFakeToken> tokens; // outlive every engine of this thread
    const char16_t* const rates[] = {u"8000", u"11025", u"16000", u"22050", u"44100", u"48000"};
    while (Clock::now() < end && Faults == 0) {
        TComPtr<ISpTTSEngine> engine;
        HRESULT result = CoCreateInstance(CLSID_KelvoraSAPI5Engine, nullptr, CLSCTX_INPROC_SERVER,
                                          IID_ISpTTSEngine, engine.ReceiveUntyped());
        if (FAILED(result)) {
            Fault("CoCreateInstance failed: " + std::to_string(result));
            break;
        }
        ++EnginesMade;
        tokens.emplace_back(
            TFakeToken::TValues{{u"", u"Anna"}, {u"SamplingRate", rates[random() % 6]}},
            TFakeToken::TFailures{});
        Query<ISpObjectWithToken>(engine.Get(), IID_ISpObjectWithToken)
            ->SetObjectToken(&tokens.back());
        for (unsigned speak = random() % 5; speak > 0; --speak) {
            if (random() % 2) {
                WAVEFORMATEX target{
                    WAVE_FORMAT_PCM, 1, 2000 + static_cast<DWORD>(random() % 100000), 0, 2, 16, 0};
                GUID id{};
                WAVEFORMATEX* format = nullptr;
                if (engine->GetOutputFormat(&SPDFID_WaveFormatEx, &target, &id, &format) == S_OK)
                    ++FormatsAgreed;
                CoTaskMemFree(format);
            }
            TFragmentList fragments(RandomFragments(random));
            TRandomSite site(random);
            result = engine->Speak(0, SPDFID_WaveFormatEx, nullptr, fragments.First(), &site);
            if (!AllowedSpeakResult(result))
                Fault("Speak returned " + std::to_string(result));
            ++Speaks;
            ++Progress;
        }
        if (tokens.size() > 64)
            tokens.pop_front(); // its engine is gone: the engine of each pass is released
    }
    CoUninitialize();
}

void FactoryUser(ServerModule::TServer& module, Clock::time_point end) {
    while (Clock::now() < end && Faults == 0) {
        TComPtr<IClassFactory> factory;
        if (module.DllGetClassObject(CLSID_KelvoraSAPI5Engine, IID_IClassFactory,
                                     factory.ReceiveUntyped()) != S_OK)
            Fault("DllGetClassObject failed");
        const HRESULT unload = module.DllCanUnloadNow();
        if (unload != S_OK && unload != S_FALSE)
            Fault("DllCanUnloadNow returned " + std::to_string(unload));
        ++FactoryRounds;
        ++Progress;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

} // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    if (seconds <= 0) {
        std::fprintf(stderr, "usage: kelvora_soak [SECONDS]\n");
        return 64;
    }
    FakeEngineLibrary::UseVariant(u"standard");
    ServerModule::TServer module;
    if (!module.Loaded() || module.DllRegisterServer() != S_OK) {
        std::printf("FAULT: the server could not be loaded and registered\n");
        return 1;
    }
    // The test's own reference to the library keeps its counters readable after the soak.
    FakeEngineLibrary::THeldLibrary library(u"standard");

    std::thread watchdog([] {
        for (long seen = -1;; std::this_thread::sleep_for(std::chrono::seconds(30))) {
            if (Progress == seen) {
                std::printf("FAULT: no progress for 30 s: a hang\n");
                std::fflush(stdout);
                std::_Exit(1);
            }
            seen = Progress;
        }
    });
    watchdog.detach();

    const Clock::time_point end = Clock::now() + std::chrono::seconds(seconds);
    std::vector<std::thread> threads;
    for (unsigned i = 0; i < 8; ++i)
        threads.emplace_back(Speaker, 1000 + i, end);
    threads.emplace_back(FactoryUser, std::ref(module), end);
    while (Clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        library.ClearCalls(); // the call log would grow without end
    }
    for (std::thread& thread : threads)
        thread.join();

    const auto stale =
        FakeEngineLibrary::Export<std::uint32_t (*)()>("fakeStaleCallCount", library.Module())();
    const auto live =
        FakeEngineLibrary::Export<std::uint32_t (*)()>("fakeLiveHandleCount", library.Module())();
    if (stale != 0)
        Fault(std::to_string(stale) + " calls reached the library with a stale or unknown handle");
    if (live != 0)
        Fault(std::to_string(live) + " channels and voices were left behind");
    module.DllUnregisterServer();
    FakeEngineLibrary::RemoveInstallPath();

    std::printf("soak of %d s: %ld engines made, %ld Speak calls, %ld phones, %ld formats "
                "agreed, %ld factory rounds; %d faults\n",
                seconds, EnginesMade.load(), Speaks.load(), Phones.load(), FormatsAgreed.load(),
                FactoryRounds.load(), Faults.load());
    return Faults == 0 ? 0 : 1;
}
