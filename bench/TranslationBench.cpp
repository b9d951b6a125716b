// Throughput of fragment translation over realistic fragment lists (sentences with rate and
// volume changes, bookmarks, silences and spell-outs) of about 10 KB to 10 MB of UTF-16
// input, and the time ratio between neighbouring sizes: about 10 for 10 times the input
// when translation is linear.
#include "FragmentTranslation.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <deque>
#include <map>
#include <string>
#include <vector>

namespace {

// A fragment list as SAPI builds it from marked-up text, with its texts kept alive.
class TRealisticFragments {
public:
    explicit TRealisticFragments(std::size_t inputBytes) {
        static const char16_t* const Sentences[] = {
            u"De kat zit op de mat en kijkt naar buiten, waar het regent.",
            u"Morgen gaan we met de trein naar Amsterdam; de reis duurt twee uur.",
            u"Waarom is de lucht blauw? Dat komt door de verstrooiing van licht!",
            u"Het rapport telt 128 bladzijden en is geschreven door drie auteurs.",
        };
        std::uint32_t sourceOffset = 0;
        for (std::size_t i = 0; FInputBytes < inputBytes; ++i) {
            SPVTEXTFRAG fragment{};
            fragment.State.Volume = 100;
            if (i % 7 == 3) {
                fragment.State.eAction = SPVA_Bookmark;
                std::string name = std::to_string(i);
                FTexts.emplace_back(name.begin(), name.end());
            } else if (i % 11 == 5) {
                fragment.State.eAction = SPVA_Silence;
                fragment.State.SilenceMSecs = static_cast<ULONG>(250 + i % 1000);
                FTexts.emplace_back();
            } else if (i % 13 == 7) {
                fragment.State.eAction = SPVA_SpellOut;
                FTexts.push_back(u"KLM");
            } else {
                fragment.State.eAction = SPVA_Speak;
                fragment.State.RateAdj = static_cast<LONG>(i / 5 % 5) - 2;
                fragment.State.Volume = static_cast<ULONG>(i / 17 % 2 ? 80 : 100);
                FTexts.push_back(Sentences[i % 4]);
            }
            fragment.pTextStart = FTexts.back().c_str();
            fragment.ulTextLen = static_cast<ULONG>(FTexts.back().size());
            fragment.ulTextSrcOffset = sourceOffset;
            sourceOffset += fragment.ulTextLen + 1;
            FInputBytes += FTexts.back().size() * sizeof(char16_t);
            FFragments.push_back(fragment);
        }
        for (std::size_t i = 0; i + 1 < FFragments.size(); ++i)
            FFragments[i].pNext = &FFragments[i + 1];
    }

    const SPVTEXTFRAG* First() const { return &FFragments.front(); }
    std::size_t InputBytes() const { return FInputBytes; }

private:
    std::deque<std::u16string> FTexts;
    std::deque<SPVTEXTFRAG> FFragments;
    std::size_t FInputBytes = 0;
};

void BM_TranslateFragments(benchmark::State& state) {
    TRealisticFragments fragments(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        TTranslation translation = TranslateFragments(fragments.First());
        benchmark::DoNotOptimize(translation.EngineInputText.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(fragments.InputBytes()));
    state.counters["MB/s"] = benchmark::Counter(static_cast<double>(fragments.InputBytes()) / 1e6,
                                                benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_TranslateFragments)
    ->Arg(10'000)
    ->Arg(100'000)
    ->Arg(1'000'000)
    ->Arg(10'000'000)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// Console output plus, at the end, the ratio of the median times of each size and the size
// before it.
class TRatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
                FTimes[run.run_name.args] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        const double* previous = nullptr;
        std::string previousName;
        for (const auto& [args, time] : FTimes) {
            if (previous)
                std::printf("time ratio %s -> %s input bytes: %.2f\n", previousName.c_str(),
                            args.c_str(), time / *previous);
            previous = &time;
            previousName = args;
        }
    }

private:
    struct TNumericOrder {
        bool operator()(const std::string& a, const std::string& b) const {
            return std::stoll(a) < std::stoll(b);
        }
    };
    std::map<std::string, double, TNumericOrder> FTimes;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    TRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
