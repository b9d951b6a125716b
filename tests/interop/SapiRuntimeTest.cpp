// The engine driven by a SAPI runtime that none of us wrote, through SAPI's published client
// interfaces only, as every application drives it. Run by check-sapi-runtime.sh inside the
// Debian 13 root, after regsvr32 of the DLL, the demo voice set as the speech engine library
// and two voices added: Anna (22050 Hz, Female) and Bram (16000 Hz, Male).
#include "SapiClient.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace {

// The sentence check-sapi-runtime.sh also speaks with kelvora-speak.
const wchar_t Sentence[] = L"Hallo wereld, dit is een test.";
// The demo voice's shortest phone lasts 55 ms.
constexpr double OnePhoneMs = 55.0;

using TBytes = std::vector<std::uint8_t>;

struct TSpoken {
    HRESULT Result = E_FAIL;
    std::uint32_t Rate = 0;
    TBytes Audio;
    double Milliseconds() const { return Rate ? Audio.size() / 2 * 1000.0 / Rate : 0.0; }
};

// COM for the calling thread, for as long as it lives.
class TComApartment {
public:
    explicit TComApartment(DWORD model) : FResult(CoInitializeEx(nullptr, model)) {}
    TComApartment(const TComApartment&) = delete;
    TComApartment& operator=(const TComApartment&) = delete;
    ~TComApartment() {
        if (SUCCEEDED(FResult))
            CoUninitialize();
    }
    HRESULT Result() const { return FResult; }

private:
    HRESULT FResult;
};

TComPtr<ISpObjectToken> Voice(const wchar_t* name) {
    TComPtr<ISpObjectToken> token;
    EXPECT_EQ(FindSapiVoice(name, token), S_OK) << "no voice token for this name";
    return token;
}

TComPtr<ISpVoice> NewSpVoice() {
    TComPtr<ISpVoice> voice;
    EXPECT_EQ(
        CoCreateInstance(CLSID_SpVoice, nullptr, CLSCTX_ALL, IID_ISpVoice, voice.ReceiveUntyped()),
        S_OK);
    return voice;
}

// One synchronous Speak of `text` by `voice` into a new stream at `rate`.
TSpoken SpeakInto(ISpVoice& voice, std::uint32_t rate, const wchar_t* text) {
    TComPtr<TRecordingStream> stream = TRecordingStream::Make(rate);
    TSpoken spoken;
    spoken.Rate = rate;
    spoken.Result = voice.SetOutput(static_cast<ISpStreamFormat*>(stream.Get()), FALSE);
    if (SUCCEEDED(spoken.Result))
        spoken.Result = voice.Speak(text, SPF_IS_NOT_XML, nullptr);
    spoken.Audio = stream->Bytes();
    return spoken;
}

// A fresh SpVoice with the voice `name` speaking `text` at `rate`.
TSpoken SpeakAlone(const wchar_t* name, std::uint32_t rate, const wchar_t* text = Sentence) {
    TComPtr<ISpVoice> voice = NewSpVoice();
    if (!voice)
        return {};
    TComPtr<ISpObjectToken> token = Voice(name);
    if (!token || FAILED(voice->SetVoice(token.Get())))
        return {};
    return SpeakInto(*voice.Get(), rate, text);
}

std::int16_t Peak(const TBytes& audio) {
    int peak = 0;
    for (std::size_t i = 0; i + 1 < audio.size(); i += 2) {
        const auto sample = static_cast<std::int16_t>(audio[i] | audio[i + 1] << 8);
        peak = std::max(peak, std::abs(static_cast<int>(sample)));
    }
    return static_cast<std::int16_t>(std::min(peak, 32767));
}

// The data chunk of a WAV file that kelvora-speak wrote (a 44-byte header).
TBytes WavData(const char* path) {
    std::ifstream file(path, std::ios::binary);
    TBytes bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    return bytes.size() > 44 ? TBytes(bytes.begin() + 44, bytes.end()) : TBytes();
}

std::vector<std::wstring> VoiceNames(const std::wstring& required) {
    std::vector<TComPtr<ISpObjectToken>> tokens;
    EXPECT_EQ(FindSapiVoices(required, tokens), S_OK);
    std::vector<std::wstring> names;
    for (TComPtr<ISpObjectToken>& token : tokens)
        names.push_back(TokenString(*token.Get(), L""));
    std::sort(names.begin(), names.end());
    return names;
}

class SapiRuntime : public testing::Test {
protected:
    TComApartment Apartment{COINIT_APARTMENTTHREADED};
};

TEST_F(SapiRuntime, FindsTheVoicesByTheirAttributes) {
    ASSERT_EQ(Apartment.Result(), S_OK);
    EXPECT_EQ(VoiceNames(L"Language=413"), (std::vector<std::wstring>{L"Anna", L"Bram"}));
    EXPECT_EQ(VoiceNames(L"Gender=Male"), std::vector<std::wstring>{L"Bram"});
    EXPECT_EQ(VoiceNames(L"Language=413;Gender=Female"), std::vector<std::wstring>{L"Anna"});
    EXPECT_TRUE(VoiceNames(L"Language=409").empty());
}

TEST_F(SapiRuntime, SpeaksAtTheVoicesOwnRateWhatKelvoraSpeakWrites) {
    const char* expectedPath = std::getenv("KELVORA_INTEROP_EXPECTED_WAV");
    ASSERT_NE(expectedPath, nullptr) << "KELVORA_INTEROP_EXPECTED_WAV names kelvora-speak's WAV";
    const TSpoken spoken = SpeakAlone(L"Anna", 22050);
    ASSERT_EQ(spoken.Result, S_OK);
    ASSERT_GT(spoken.Audio.size(), 22050u) << "less than half a second of audio";
    const TBytes expected = WavData(expectedPath);
    EXPECT_EQ(spoken.Audio.size(), expected.size());
    EXPECT_TRUE(spoken.Audio == expected) << "the audio differs from kelvora-speak's";
}

TEST_F(SapiRuntime, SpeaksAtEveryOutputRateWithTheSameDuration) {
    const TSpoken own = SpeakAlone(L"Anna", 22050);
    ASSERT_EQ(own.Result, S_OK);
    for (std::uint32_t rate : {16000u, 44100u, 8000u}) {
        SCOPED_TRACE(std::to_string(rate) + " Hz");
        const TSpoken spoken = SpeakAlone(L"Anna", rate);
        ASSERT_EQ(spoken.Result, S_OK);
        EXPECT_NEAR(spoken.Milliseconds(), own.Milliseconds(), OnePhoneMs);
    }
}

TEST_F(SapiRuntime, OneVoiceThatSwitchesItsOutputRateKeepsTheDuration) {
    TComPtr<ISpVoice> voice = NewSpVoice();
    ASSERT_TRUE(voice);
    ASSERT_EQ(voice->SetVoice(Voice(L"Anna").Get()), S_OK);
    const TSpoken first = SpeakInto(*voice.Get(), 22050, Sentence);
    const TSpoken second = SpeakInto(*voice.Get(), 16000, Sentence);
    ASSERT_EQ(first.Result, S_OK);
    ASSERT_EQ(second.Result, S_OK);
    EXPECT_NEAR(second.Milliseconds(), first.Milliseconds(), OnePhoneMs);
    // A channel made anew at 16000 Hz speaks as a fresh voice at that rate does.
    EXPECT_TRUE(second.Audio == SpeakAlone(L"Anna", 16000).Audio);
}

TEST_F(SapiRuntime, RateAndVolumeReachTheEngine) {
    const TSpoken plain = SpeakAlone(L"Anna", 22050);
    ASSERT_EQ(plain.Result, S_OK);

    TComPtr<ISpVoice> fast = NewSpVoice();
    ASSERT_EQ(fast->SetVoice(Voice(L"Anna").Get()), S_OK);
    ASSERT_EQ(fast->SetRate(6), S_OK);
    const TSpoken faster = SpeakInto(*fast.Get(), 22050, Sentence);
    ASSERT_EQ(faster.Result, S_OK);
    EXPECT_LT(faster.Milliseconds(), plain.Milliseconds() - OnePhoneMs);

    TComPtr<ISpVoice> soft = NewSpVoice();
    ASSERT_EQ(soft->SetVoice(Voice(L"Anna").Get()), S_OK);
    ASSERT_EQ(soft->SetVolume(30), S_OK);
    const TSpoken softer = SpeakInto(*soft.Get(), 22050, Sentence);
    ASSERT_EQ(softer.Result, S_OK);
    EXPECT_LT(Peak(softer.Audio), Peak(plain.Audio) / 2);
}

TEST_F(SapiRuntime, PurgeStopsAnAsynchronousSpeakPromptly) {
    std::wstring longText;
    for (int i = 0; i < 40; ++i)
        longText += std::wstring(Sentence) + L" ";
    const TSpoken whole = SpeakAlone(L"Anna", 22050, longText.c_str());
    ASSERT_EQ(whole.Result, S_OK);

    TComPtr<ISpVoice> voice = NewSpVoice();
    ASSERT_EQ(voice->SetVoice(Voice(L"Anna").Get()), S_OK);
    // 2 ms a write, as a sound card that plays as it goes: the whole text would take seconds.
    TComPtr<TRecordingStream> stream = TRecordingStream::Make(22050, 2);
    ASSERT_EQ(voice->SetOutput(static_cast<ISpStreamFormat*>(stream.Get()), FALSE), S_OK);
    ASSERT_EQ(voice->Speak(longText.c_str(), SPF_ASYNC | SPF_IS_NOT_XML, nullptr), S_OK);
    for (int wait = 0; wait < 500 && stream->Bytes().empty(); ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_FALSE(stream->Bytes().empty()) << "the asynchronous Speak never started";

    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(voice->Speak(nullptr, SPF_PURGEBEFORESPEAK, nullptr), S_OK);
    ASSERT_EQ(voice->WaitUntilDone(10000), S_OK);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::seconds(1)) << "the purge waited for the speaking";
    EXPECT_LT(stream->Bytes().size(), whole.Audio.size());

    const TSpoken after = SpeakInto(*voice.Get(), 22050, Sentence);
    EXPECT_EQ(after.Result, S_OK);
    EXPECT_GT(after.Audio.size(), 22050u);
}

TEST_F(SapiRuntime, TwoVoicesOnTwoThreadsSpeakAsTheyDoAlone) {
    const TSpoken annaAlone = SpeakAlone(L"Anna", 22050);
    const TSpoken bramAlone = SpeakAlone(L"Bram", 16000);
    ASSERT_EQ(annaAlone.Result, S_OK);
    ASSERT_EQ(bramAlone.Result, S_OK);
    TSpoken anna, bram;
    auto speakOnThread = [](const wchar_t* name, std::uint32_t rate, TSpoken& spoken) {
        TComApartment apartment(COINIT_MULTITHREADED);
        spoken = SpeakAlone(name, rate);
    };
    std::thread first(speakOnThread, L"Anna", 22050u, std::ref(anna));
    std::thread second(speakOnThread, L"Bram", 16000u, std::ref(bram));
    first.join();
    second.join();
    EXPECT_EQ(anna.Result, S_OK);
    EXPECT_EQ(bram.Result, S_OK);
    EXPECT_TRUE(anna.Audio == annaAlone.Audio) << "Anna's audio differs from her solo run";
    EXPECT_TRUE(bram.Audio == bramAlone.Audio) << "Bram's audio differs from his solo run";
}

TEST_F(SapiRuntime, SwitchingTheVoiceSpeaksWithTheSecondAtItsRate) {
    TComPtr<ISpVoice> voice = NewSpVoice();
    ASSERT_EQ(voice->SetVoice(Voice(L"Anna").Get()), S_OK);
    ASSERT_EQ(SpeakInto(*voice.Get(), 22050, Sentence).Result, S_OK);
    ASSERT_EQ(voice->SetVoice(Voice(L"Bram").Get()), S_OK);
    const TSpoken bram = SpeakInto(*voice.Get(), 16000, Sentence);
    ASSERT_EQ(bram.Result, S_OK);
    TComPtr<ISpObjectToken> current;
    ASSERT_EQ(voice->GetVoice(current.Receive()), S_OK);
    EXPECT_EQ(TokenString(*current.Get(), L""), L"Bram");
    // The demo voice sounds alike under every name: a new engine at Bram's rate, then.
    EXPECT_TRUE(bram.Audio == SpeakAlone(L"Bram", 16000).Audio);
}

} // namespace
