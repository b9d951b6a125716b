// Speak against the bare phone loop, the best rate ("max") of ten repetitions each: the fast fake
// library (1764-sample phones, 80 ms at 22050 Hz, filled on every call) and a site whose Write
// copies into a preallocated buffer and whose AddEvents stores into a preallocated array. Reports
// phones per second through Speak, through a bare loop of kelvoraGetPhone + Write, and with two
// engine objects speaking at once on two threads; then the ratios.
#include "EngineObjects.h"
#include "EngineSiteBase.h"
#include "FakeEngineLibrary.h"
#include "FakeToken.h"
#include "FragmentTranslation.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr std::size_t AudioRing = 1 << 20;
constexpr std::size_t EventRing = 4096;

class TBenchSite : public TEngineSiteBase {
public:
    TBenchSite() : FAudio(AudioRing), FEvents(EventRing) {}

    HRESULT STDMETHODCALLTYPE AddEvents(const SPEVENT* events, ULONG count) override {
        for (ULONG i = 0; i < count; ++i)
            FEvents[FEventCount++ % EventRing] = events[i];
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Write(const void* buffer, ULONG bytes, ULONG* written) override {
        if (FAudioUsed + bytes > AudioRing)
            FAudioUsed = 0;
        std::memcpy(FAudio.data() + FAudioUsed, buffer, bytes);
        FAudioUsed += bytes;
        ++Phones;
        if (written)
            *written = bytes;
        return S_OK;
    }

    std::int64_t Phones = 0;

private:
    std::vector<std::uint8_t> FAudio;
    std::size_t FAudioUsed = 0;
    std::vector<SPEVENT> FEvents;
    std::size_t FEventCount = 0;
};

// An utterance of 200 sentences of eight words, with a bookmark after each sentence.
class TUtterance {
public:
    TUtterance() {
        for (int i = 0; i < 400; ++i) {
            SPVTEXTFRAG fragment{};
            fragment.State.Volume = 100;
            fragment.State.eAction = i % 2 ? SPVA_Bookmark : SPVA_Speak;
            FTexts.push_back(i % 2 ? u"42" : u"de kat zit op de mat van oma.");
            fragment.pTextStart = FTexts.back().c_str();
            fragment.ulTextLen = static_cast<ULONG>(FTexts.back().size());
            FFragments.push_back(fragment);
        }
        for (std::size_t i = 0; i + 1 < FFragments.size(); ++i)
            FFragments[i].pNext = &FFragments[i + 1];
    }
    const SPVTEXTFRAG* First() const { return &FFragments.front(); }

private:
    std::deque<std::u16string> FTexts;
    std::deque<SPVTEXTFRAG> FFragments;
};

const TUtterance& Utterance() {
    static const TUtterance utterance;
    return utterance;
}

void UseFastLibrary() {
    static const bool ready = [] {
        FakeEngineLibrary::UseVariant(u"fast");
        return StartEngine();
    }();
    if (!ready)
        std::fprintf(stderr, "the fast fake library did not start\n");
}

void BM_Speak(benchmark::State& state) {
    UseFastLibrary();
    TFakeToken token{{u"", u"Anna"}, {u"SamplingRate", u"22050"}};
    TComPtr<ISpTTSEngine> engine = NewEngine();
    Query<ISpObjectWithToken>(engine.Get(), IID_ISpObjectWithToken)->SetObjectToken(&token);
    TBenchSite site;
    for (auto _ : state)
        engine->Speak(0, SPDFID_WaveFormatEx, nullptr, Utterance().First(), &site);
    state.SetItemsProcessed(site.Phones);
    engine = {};
}
// The machines are shared: each figure is the best of its repetitions, the least disturbed.
double Best(const std::vector<double>& values) {
    return *std::max_element(values.begin(), values.end());
}

BENCHMARK(BM_Speak)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Threads(1)
    ->Threads(2)
    ->Repetitions(10)
    ->ComputeStatistics("max", Best)
    ->ReportAggregatesOnly(true);

void BM_BareLoop(benchmark::State& state) {
    UseFastLibrary();
    const TKelvoraAPI& api = KelvoraAPI;
    KelvoraVoice voice = api.kelvoraCreateVoiceW(u"Anna");
    KelvoraChannel channel = api.kelvoraCreateChannel(voice, 22050, 0);
    const std::u16string text = TranslateFragments(Utterance().First()).EngineInputText;
    TBenchSite site;
    for (auto _ : state) {
        api.kelvoraSetInputTextW(channel, text.c_str());
        const char* symbol;
        std::uint32_t samples, position, wordLength;
        const std::int16_t* buffer;
        while (api.kelvoraGetPhone(channel, &symbol, &samples, &buffer, &position, &wordLength)) {
            ULONG written;
            site.Write(buffer, samples * 2, &written);
        }
    }
    state.SetItemsProcessed(site.Phones);
    api.kelvoraDeleteChannel(channel);
    api.kelvoraDeleteVoice(voice);
}
BENCHMARK(BM_BareLoop)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(10)
    ->ComputeStatistics("max", Best)
    ->ReportAggregatesOnly(true);

// Console output, then the ratios the engine is held to.
class TRatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "max")
                FPhonesPerSecond[run.run_name.function_name + "/" + std::to_string(run.threads)] =
                    run.counters.at("items_per_second").value;
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        const double speak = FPhonesPerSecond["BM_Speak/1"];
        const double two = FPhonesPerSecond["BM_Speak/2"];
        const double bare = FPhonesPerSecond["BM_BareLoop/1"];
        if (speak > 0 && bare > 0)
            std::printf("phones/s: Speak %.0f, bare loop %.0f; time ratio Speak / bare loop: "
                        "%.3f (limit 1.10)\n",
                        speak, bare, bare / speak);
        if (speak > 0 && two > 0)
            std::printf("two engines at once: %.0f phones/s in all; aggregate / single: %.2f "
                        "(at least 1.7 on two cores)\n",
                        two, two / speak);
    }

private:
    std::map<std::string, double> FPhonesPerSecond;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    TRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    FakeEngineLibrary::ResetResidency();
    return 0;
}
