// The engine object: voice token binding, output format, and teardown with its handles.
#include "EngineObjects.h"
#include "FakeEngineLibrary.h"
#include "FakeToken.h"

#ifndef _WIN32
#include "PortableTesting.h"
#endif

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr HRESULT E_ACCESSDENIED_ = static_cast<HRESULT>(0x80070005u);

struct TFormat {
    HRESULT Result;
    GUID FormatId;
    WAVEFORMATEX Wave;
};

TFormat OutputFormat(ISpTTSEngine& engine, const GUID* targetId, const WAVEFORMATEX* target) {
    TFormat format{};
    WAVEFORMATEX* block = nullptr;
    format.Result = engine.GetOutputFormat(targetId, target, &format.FormatId, &block);
    if (block) {
        format.Wave = *block;
        // The block has room for 20 bytes; the two behind the record are zero.
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(block);
        EXPECT_EQ(bytes[18], 0);
        EXPECT_EQ(bytes[19], 0);
        Platform::TaskMemFree(block);
    }
    return format;
}

WAVEFORMATEX Requesting(DWORD rate) {
    WAVEFORMATEX wave{};
    wave.wFormatTag = WAVE_FORMAT_PCM;
    wave.nChannels = 2;
    wave.nSamplesPerSec = rate;
    wave.wBitsPerSample = 8;
    return wave;
}

std::uint32_t SamplingRateOf(ISpTTSEngine& engine) {
    return OutputFormat(engine, nullptr, nullptr).Wave.nSamplesPerSec;
}

TEST(EngineToken, BindsNameAndRateAndHandsTheTokenBack) {
    TKelvoraSAPI5Engine* object = nullptr;
    TComPtr<ISpTTSEngine> engine = NewEngine(&object);
    auto withToken = Query<ISpObjectWithToken>(engine.Get(), IID_ISpObjectWithToken);

    ISpObjectToken* bound = reinterpret_cast<ISpObjectToken*>(&bound);
    EXPECT_EQ(withToken->GetObjectToken(&bound), S_OK);
    EXPECT_EQ(bound, nullptr);

    TFakeToken anna{{u"", u"Anna"}, {u"SamplingRate", u"22050"}};
    TFakeToken bart{{u"", u"Bart"}, {u"SamplingRate", u"16000"}};
    ASSERT_EQ(withToken->SetObjectToken(&anna), S_OK);
    EXPECT_EQ(anna.References(), 1);
    EXPECT_EQ(TKelvoraSAPI5EngineProbe::VoiceName(*object), u"Anna");
    EXPECT_EQ(TKelvoraSAPI5EngineProbe::SamplingRate(*object), 22050u);
    ASSERT_EQ(withToken->GetObjectToken(&bound), S_OK);
    EXPECT_EQ(bound, &anna);
    EXPECT_EQ(anna.References(), 2);
    bound->Release();

    ASSERT_EQ(withToken->SetObjectToken(&bart), S_OK);
    EXPECT_EQ(anna.References(), 0);
    EXPECT_EQ(bart.References(), 1);
    EXPECT_EQ(TKelvoraSAPI5EngineProbe::VoiceName(*object), u"Bart");
    EXPECT_EQ(SamplingRateOf(*engine), 16000u);

    engine = {};
    withToken = {};
    EXPECT_EQ(bart.References(), 0);
}

TEST(EngineToken, RebindingKeepsAVoiceAlreadyMade) {
    TKelvoraSAPI5Engine* object = nullptr;
    TComPtr<ISpTTSEngine> engine = NewEngine(&object);
    auto withToken = Query<ISpObjectWithToken>(engine.Get(), IID_ISpObjectWithToken);
    TFakeToken anna{{u"", u"Anna"}, {u"SamplingRate", u"22050"}};
    TEngineHandles& library = TKelvoraSAPI5EngineProbe::Library(*object);
    library.VoiceObject = &anna;
    library.ChannelObject = &library;
    ASSERT_EQ(withToken->SetObjectToken(&anna), S_OK);
    EXPECT_EQ(library.VoiceObject, &anna);
    EXPECT_EQ(library.ChannelObject, &library);
    library = {};
    engine = {};
    withToken = {};
}

struct TTokenCase {
    const char* Name;
    std::map<std::u16string, std::u16string> Values;
    std::map<std::u16string, HRESULT> Failures;
    HRESULT Expected;
    std::uint32_t Rate; // the rate afterwards; 11025 is the rate bound before
};

class EngineTokenValues : public testing::TestWithParam<TTokenCase> {};

void PrintTo(const TTokenCase& c, std::ostream* out) {
    *out << c.Name;
}

// A token that cannot be bound leaves the object exactly as it was.
TEST_P(EngineTokenValues, BindOrLeaveTheObjectAsItWas) {
    const TTokenCase& c = GetParam();
    TKelvoraSAPI5Engine* object = nullptr;
    TComPtr<ISpTTSEngine> engine = NewEngine(&object);
    auto withToken = Query<ISpObjectWithToken>(engine.Get(), IID_ISpObjectWithToken);
    TFakeToken before{{u"", u"Before"}, {u"SamplingRate", u"11025"}};
    ASSERT_EQ(withToken->SetObjectToken(&before), S_OK);

    TFakeToken token(c.Values, c.Failures);
    EXPECT_EQ(withToken->SetObjectToken(&token), c.Expected);
    EXPECT_EQ(SamplingRateOf(*engine), c.Rate);
    if (FAILED(c.Expected)) {
        EXPECT_EQ(token.References(), 0);
        EXPECT_EQ(TKelvoraSAPI5EngineProbe::VoiceName(*object), u"Before");
        ISpObjectToken* bound = nullptr;
        withToken->GetObjectToken(&bound);
        EXPECT_EQ(bound, &before);
        bound->Release();
    }
    engine = {};
    withToken = {};
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EngineTokenValues,
    testing::Values(
        TTokenCase{
            "LargestRate", {{u"", u"V"}, {u"SamplingRate", u"4294967295"}}, {}, S_OK, 4294967295u},
        TTokenCase{"EmptyName", {{u"", u""}, {u"SamplingRate", u"8000"}}, {}, S_OK, 8000},
        TTokenCase{"NoDefaultValue", {{u"SamplingRate", u"22050"}}, {}, SPERR_NOT_FOUND, 11025},
        TTokenCase{"NoSamplingRate", {{u"", u"V"}}, {}, SPERR_NOT_FOUND, 11025},
        TTokenCase{"FailingRead",
                   {{u"", u"V"}, {u"SamplingRate", u"22050"}},
                   {{u"SamplingRate", E_ACCESSDENIED_}},
                   E_ACCESSDENIED_,
                   11025},
        TTokenCase{
            "RateNotANumber", {{u"", u"V"}, {u"SamplingRate", u"fast"}}, {}, E_INVALIDARG, 11025},
        TTokenCase{"RateWithTrailingText",
                   {{u"", u"V"}, {u"SamplingRate", u"22050Hz"}},
                   {},
                   E_INVALIDARG,
                   11025},
        TTokenCase{
            "NegativeRate", {{u"", u"V"}, {u"SamplingRate", u"-22050"}}, {}, E_INVALIDARG, 11025},
        TTokenCase{"ZeroRate", {{u"", u"V"}, {u"SamplingRate", u"0"}}, {}, E_INVALIDARG, 11025},
        TTokenCase{"EmptyRate", {{u"", u"V"}, {u"SamplingRate", u""}}, {}, E_INVALIDARG, 11025},
        TTokenCase{"RateBeyond32Bits",
                   {{u"", u"V"}, {u"SamplingRate", u"4294967296"}},
                   {},
                   E_INVALIDARG,
                   11025}),
    [](const testing::TestParamInfo<TTokenCase>& info) { return std::string(info.param.Name); });

TEST(EngineToken, NullTokenIsInvalid) {
    TComPtr<ISpTTSEngine> engine = NewEngine();
    auto withToken = Query<ISpObjectWithToken>(engine.Get(), IID_ISpObjectWithToken);
    EXPECT_EQ(withToken->SetObjectToken(nullptr), E_INVALIDARG);
}

struct TFormatCase {
    const char* Name;
    bool WithTargetId;
    bool WithTargetFormat;
    DWORD Requested;
    DWORD Expected; // the token's rate is 22050
};

void PrintTo(const TFormatCase& c, std::ostream* out) {
    *out << c.Name;
}

class EngineOutputFormat : public testing::TestWithParam<TFormatCase> {};

TEST_P(EngineOutputFormat, IsMono16BitPcmAtTheAgreedRate) {
    const TFormatCase& c = GetParam();
    TComPtr<ISpTTSEngine> engine = NewEngine();
    TFakeToken token{{u"", u"V"}, {u"SamplingRate", u"22050"}};
    Query<ISpObjectWithToken>(engine.Get(), IID_ISpObjectWithToken)->SetObjectToken(&token);
    const GUID anyFormatId{};
    WAVEFORMATEX target = Requesting(c.Requested);
    TFormat format = OutputFormat(*engine, c.WithTargetId ? &anyFormatId : nullptr,
                                  c.WithTargetFormat ? &target : nullptr);
    ASSERT_EQ(format.Result, S_OK);
    EXPECT_TRUE(format.FormatId == SPDFID_WaveFormatEx);
    EXPECT_EQ(format.Wave.wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(format.Wave.nChannels, 1);
    EXPECT_EQ(format.Wave.nSamplesPerSec, c.Expected);
    EXPECT_EQ(format.Wave.nAvgBytesPerSec, 2 * c.Expected);
    EXPECT_EQ(format.Wave.nBlockAlign, 2);
    EXPECT_EQ(format.Wave.wBitsPerSample, 16);
    EXPECT_EQ(format.Wave.cbSize, 0);
    // An adopted rate stays for later calls without a request.
    EXPECT_EQ(SamplingRateOf(*engine), c.Expected);
    engine = {};
}

INSTANTIATE_TEST_SUITE_P(Cases, EngineOutputFormat,
                         testing::Values(TFormatCase{"Requested16000", true, true, 16000, 16000},
                                         TFormatCase{"NoRequest", false, false, 0, 22050},
                                         TFormatCase{"Lowest", true, true, 4000, 4000},
                                         TFormatCase{"BelowLowest", true, true, 3999, 22050},
                                         TFormatCase{"Highest", true, true, 96000, 96000},
                                         TFormatCase{"AboveHighest", true, true, 96001, 22050},
                                         TFormatCase{"Zero", true, true, 0, 22050},
                                         TFormatCase{"FormatWithoutId", false, true, 16000, 22050},
                                         TFormatCase{"IdWithoutFormat", true, false, 16000, 22050}),
                         [](const testing::TestParamInfo<TFormatCase>& info) {
                             return std::string(info.param.Name);
                         });

TEST(EngineOutputFormatUnbound, ReportsRateZero) {
    TComPtr<ISpTTSEngine> engine = NewEngine();
    TFormat format = OutputFormat(*engine, nullptr, nullptr);
    EXPECT_EQ(format.Result, S_OK);
    EXPECT_EQ(format.Wave.nSamplesPerSec, 0u);
    EXPECT_EQ(format.Wave.nAvgBytesPerSec, 0u);
}

TEST(EngineOutputFormatUnbound, NullOutPointersAreRefused) {
    TComPtr<ISpTTSEngine> engine = NewEngine();
    GUID id{};
    WAVEFORMATEX* block = nullptr;
    EXPECT_EQ(engine->GetOutputFormat(nullptr, nullptr, nullptr, &block), E_POINTER);
    EXPECT_EQ(engine->GetOutputFormat(nullptr, nullptr, &id, nullptr), E_POINTER);
}

#ifndef _WIN32
TEST(EngineOutputFormatUnbound, AllocationFailureIsOutOfMemoryAndKeepsTheRate) {
    TComPtr<ISpTTSEngine> engine = NewEngine();
    const GUID anyFormatId{};
    WAVEFORMATEX target = Requesting(16000);
    GUID id{};
    WAVEFORMATEX* block = reinterpret_cast<WAVEFORMATEX*>(&id);
    PortableTesting::FailTaskMemAllocs(1);
    EXPECT_EQ(engine->GetOutputFormat(&anyFormatId, &target, &id, &block), E_OUTOFMEMORY);
    EXPECT_EQ(block, nullptr);
    EXPECT_EQ(SamplingRateOf(*engine), 0u);
}
#endif

// Teardown, observed through an entry-point table that records the library calls.
class EngineTeardown : public testing::Test {
protected:
    static std::vector<std::string>& Calls() {
        static std::vector<std::string> calls;
        return calls;
    }
    void SetUp() override {
        FakeEngineLibrary::ResetResidency();
        Calls().clear();
        KelvoraAPI.kelvoraDeleteChannel = [](KelvoraChannel) { Calls().push_back("channel"); };
        KelvoraAPI.kelvoraDeleteVoice = [](KelvoraVoice) { Calls().push_back("voice"); };
    }
    void TearDown() override { FakeEngineLibrary::ResetResidency(); }

    void Destroy(bool loaded, KelvoraVoice voice, KelvoraChannel channel, bool earlierLoad) {
        TKelvoraSAPI5Engine* object = nullptr;
        TComPtr<ISpTTSEngine> engine = NewEngine(&object);
        TEngineHandles& library = TKelvoraSAPI5EngineProbe::Library(*object);
        library.VoiceObject = voice;
        library.ChannelObject = channel;
        library.LoadNumber = earlierLoad ? EngineLoadNumber - 1 : EngineLoadNumber;
        EngineLoaded = loaded;
        engine = {};
    }

    int FVoice = 0;
    int FChannel = 0;
};

TEST_F(EngineTeardown, DeletesTheChannelBeforeTheVoice) {
    Destroy(true, &FVoice, &FChannel, false);
    EXPECT_EQ(Calls(), (std::vector<std::string>{"channel", "voice"}));
}

TEST_F(EngineTeardown, DeletesOnlyTheHandlesItHas) {
    Destroy(true, nullptr, &FChannel, false);
    EXPECT_EQ(Calls(), (std::vector<std::string>{"channel"}));
    Calls().clear();
    Destroy(true, nullptr, nullptr, false);
    EXPECT_TRUE(Calls().empty());
}

TEST_F(EngineTeardown, LeavesHandlesOfAnUnloadedOrEarlierLibraryAlone) {
    Destroy(false, &FVoice, &FChannel, false);
    EXPECT_TRUE(Calls().empty());
    Destroy(true, &FVoice, &FChannel, true);
    EXPECT_TRUE(Calls().empty());
}

} // namespace
