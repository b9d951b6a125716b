// Speak from end to end: the fake speech engine library found through the registry, the
// fake site recording audio and events. The fake makes one phone per letter of 10 ms at the
// channel's rate (at tempo 0) and one "_" phone per pause.
#include "EngineObjects.h"
#include "FakeEngineLibrary.h"
#include "FakeSite.h"
#include "FakeToken.h"
#include "FragmentList.h"
#include "PhoneLoop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <list>
#include <string>
#include <vector>

namespace {

using namespace FakeEngineLibrary;

std::string Narrow(const std::u16string& text) {
    return std::string(text.begin(), text.end());
}

// One line per event: "bookmark NAME NUMBER @OFFSET", "word SOURCE+LENGTH @OFFSET",
// "viseme NUMBER DURATIONms @OFFSET".
std::vector<std::string> Describe(const std::vector<TRecordedEvent>& events) {
    std::vector<std::string> lines;
    for (const TRecordedEvent& e : events) {
        const std::string at = " @" + std::to_string(e.AudioOffset);
        switch (e.Id) {
        case SPEI_TTS_BOOKMARK:
            lines.push_back("bookmark " + Narrow(e.Name) + " " +
                            std::to_string(static_cast<std::int64_t>(e.WParam)) + at);
            break;
        case SPEI_WORD_BOUNDARY:
            lines.push_back("word " + std::to_string(e.LParam) + "+" + std::to_string(e.WParam) +
                            at);
            break;
        case SPEI_VISEME:
            lines.push_back("viseme " + std::to_string(e.LParam) + " " +
                            std::to_string(e.WParam >> 16) + "ms" + at);
            break;
        default:
            lines.push_back("unexpected event " + std::to_string(e.Id));
        }
    }
    return lines;
}

std::vector<std::string> Without(std::vector<std::string> lines, const std::string& prefix) {
    lines.erase(std::remove_if(lines.begin(), lines.end(),
                               [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }),
                lines.end());
    return lines;
}

class Speaking : public testing::Test {
protected:
    void SetUp() override {
        ResetResidency();
        UseVariant(u"standard");
        Engine = NewEngine(&Object);
        Bind(u"16000");
    }
    void TearDown() override {
        Engine = {};
        ResetResidency();
        RemoveInstallPath();
    }
    void Bind(const std::u16string& rate) {
        Tokens.emplace_back(TFakeToken::TValues{{u"", u"Anna"}, {u"SamplingRate", rate}},
                            TFakeToken::TFailures{});
        Query<ISpObjectWithToken>(Engine.Get(), IID_ISpObjectWithToken)
            ->SetObjectToken(&Tokens.back());
    }
    HRESULT Say(const TFragmentList& fragments) {
        return Engine->Speak(0, SPDFID_WaveFormatEx, nullptr, fragments.First(), &Site);
    }
    std::vector<std::string> Events() const { return Describe(Site.Events); }

    std::list<TFakeToken> Tokens; // outlive the engine
    TKelvoraSAPI5Engine* Object = nullptr;
    TComPtr<ISpTTSEngine> Engine;
    TFakeSite Site;
};

TEST_F(Speaking, RaisesBookmarksWordsAndVisemesWhereTheyFall) {
    ASSERT_EQ(Say({Speak(u"Hello"), Bookmark(u"7"), Speak(u"world")}), S_OK);
    EXPECT_EQ(Events(),
              (std::vector<std::string>{
                  "word 0+5 @0", "viseme 12 10ms @0", "viseme 1 10ms @320", "viseme 14 10ms @640",
                  "viseme 14 10ms @960", "viseme 8 10ms @1280", "bookmark 7 7 @1600",
                  "word 6+5 @1600", "viseme 18 10ms @1600", "viseme 8 10ms @1920",
                  "viseme 13 10ms @2240", "viseme 14 10ms @2560", "viseme 19 10ms @2880"}));
    EXPECT_EQ(Site.Audio.size(), 3200u);
    for (const TRecordedEvent& e : Site.Events) {
        EXPECT_EQ(e.StreamNumber, 0u);
        EXPECT_EQ(e.ParameterType,
                  e.Id == SPEI_TTS_BOOKMARK ? SPET_LPARAM_IS_STRING : SPET_LPARAM_IS_UNDEFINED);
    }
}

TEST_F(Speaking, MakesTheVoiceAndChannelOnceAndAppliesTheSiteRateAndVolume) {
    Site.Rate = 3;
    Site.Volume = 80;
    ASSERT_EQ(Say({Speak(u"a")}), S_OK);
    ASSERT_EQ(Say({Speak(u"b")}), S_OK);
    EXPECT_EQ(Calls(), (std::vector<std::string>{
                           "kelvoraGetMajorVersion", "kelvoraInitialize",
                           "kelvoraCreateVoiceW Anna", "kelvoraCreateChannel 16000 0",
                           "kelvoraSetTempo 3", "kelvoraSetVolume 80", "kelvoraSetInputTextW a ",
                           "kelvoraSetTempo 3", "kelvoraSetVolume 80", "kelvoraSetInputTextW b "}));
    EXPECT_EQ(ActiveSpeakCount, 0);
    EXPECT_EQ(IdleCountdown, IdleTicks);
}

TEST_F(Speaking, RaisesBookmarksAfterTheLastWordAtTheEnd) {
    ASSERT_EQ(Say({Speak(u"Hi"), Bookmark(u"end"), Bookmark(u""), Bookmark(u"9")}), S_OK);
    EXPECT_EQ(
        Without(Events(), "viseme"),
        (std::vector<std::string>{"word 0+2 @0", "bookmark end 0 @640", "bookmark 9 9 @640"}));
}

TEST_F(Speaking, RaisesTheBookmarksOfABookmarkOnlyListInOrder) {
    ASSERT_EQ(Say({Bookmark(u"1"), Bookmark(u"2"), Silence(0), Bookmark(u"3")}), S_OK);
    EXPECT_EQ(Events(),
              (std::vector<std::string>{"bookmark 1 1 @0", "bookmark 2 2 @0", "bookmark 3 3 @0"}));
    EXPECT_TRUE(Site.Audio.empty());
}

TEST_F(Speaking, ReportsWordsAtTheirOffsetInTheCallersText) {
    ASSERT_EQ(Say({Speak(u"ab cd").Rate(2).At(100), Speak(u"efg").Vol(50).At(200)}), S_OK);
    // " \tempo=2\ ab cd  \volume=50\ efg ": the words start at 11, 14 and 29.
    EXPECT_EQ(Without(Events(), "viseme"),
              (std::vector<std::string>{"word 100+2 @0", "word 103+2 @576", "word 200+3 @1152"}));
}

TEST_F(Speaking, ReportsASpelledOutFragmentOnceAsAWhole) {
    ASSERT_EQ(Say({Speak(u"x"), SpellOut(u"AB").At(10), Speak(u"y").At(12)}), S_OK);
    EXPECT_EQ(Without(Events(), "viseme"),
              (std::vector<std::string>{"word 0+1 @0", "word 10+2 @320", "word 12+1 @960"}));
    EXPECT_EQ(Site.EventsOf(SPEI_VISEME).size(), 4u);
}

TEST_F(Speaking, ReportsNoWordThatReachesOnlyAPause) {
    // " \insert=$C\ " then ". ": the mark is attached in front of its fragment's position.
    ASSERT_EQ(Say({Silence(100), Speak(u".")}), S_OK);
    EXPECT_EQ(Events(), (std::vector<std::string>{"viseme 0 100ms @0", "viseme 0 10ms @3200"}));
    EXPECT_EQ(Site.Audio.size(), 3520u);
}

struct TDurationCase {
    const char16_t* Rate;
    std::uint32_t Samples;
    std::uint32_t Milliseconds;
};

TEST_F(Speaking, GivesVisemeDurationsInMillisecondsRoundedToEven) {
    const TDurationCase cases[] = {{u"16000", 40, 2},
                                   {u"16000", 56, 4},
                                   {u"22050", 441, 20},
                                   {u"16000", 8, 0},
                                   {u"1", 100, 65535}};
    for (const TDurationCase& c : cases) {
        SCOPED_TRACE(Narrow(c.Rate) + " Hz, " + std::to_string(c.Samples) + " samples");
        ResetResidency();
        Engine = NewEngine(&Object);
        Bind(c.Rate);
        Site = TFakeSite{};
        ASSERT_EQ(Say({Speak(u"a")}), S_OK);
        Export<void (*)(std::uint32_t)>("fakeSetPhoneSamples")(c.Samples);
        ASSERT_EQ(Say({Speak(u"a")}), S_OK);
        const TRecordedEvent viseme = Site.EventsOf(SPEI_VISEME).back();
        const auto expected = static_cast<WPARAM>(
            static_cast<std::int64_t>(static_cast<std::int32_t>(c.Milliseconds << 16)));
        EXPECT_EQ(viseme.WParam, expected);
        EXPECT_EQ(viseme.LParam, 1);
    }
    EXPECT_EQ(PhoneMilliseconds(441, 22050) << 16, 1310720u);
    EXPECT_EQ(PhoneMilliseconds(1000, 0), 0u);
}

TEST_F(Speaking, AbortEndsAtTheNextPhoneAndDropsTheBookmarks) {
    Site.Script[2].Actions = SPVES_ABORT;
    ASSERT_EQ(Say({Speak(u"abc"), Bookmark(u"1")}), S_OK);
    EXPECT_EQ(Events(),
              (std::vector<std::string>{"word 0+3 @0", "viseme 1 10ms @0", "viseme 21 10ms @320"}));
    EXPECT_EQ(Calls().back(), "kelvoraSetInputTextW ");
}

TEST_F(Speaking, SkipsOnlyWithANonZeroCount) {
    const std::pair<LONG, bool> cases[] = {{0, false}, {3, true}, {-1, true}};
    for (const auto& [count, ends] : cases) {
        SCOPED_TRACE(count);
        Site = TFakeSite{};
        Site.Script[1].Actions = SPVES_SKIP;
        Site.Script[1].SkipCount = count;
        ASSERT_EQ(Say({Speak(u"abc"), Bookmark(u"1")}), S_OK);
        EXPECT_EQ(Site.CompletedSkips, ends ? std::vector<LONG>{-1} : std::vector<LONG>{});
        EXPECT_EQ(Site.EventsOf(SPEI_VISEME).size(), ends ? 1u : 3u);
        EXPECT_EQ(Site.EventsOf(SPEI_TTS_BOOKMARK).size(), ends ? 0u : 1u);
    }
}

TEST_F(Speaking, AppliesRateAndVolumeChangesAtTheNextPhone) {
    Site.Script[1] = {SPVES_RATE | SPVES_VOLUME, 0, 10, 50, S_OK};
    ASSERT_EQ(Say({Speak(u"ab")}), S_OK);
    std::vector<std::string> calls = Calls();
    EXPECT_EQ(std::vector<std::string>(calls.end() - 2, calls.end()),
              (std::vector<std::string>{"kelvoraSetTempo 10", "kelvoraSetVolume 50"}));
    // At tempo 10 the fake speaks a letter in half the samples.
    EXPECT_EQ(Describe(Site.EventsOf(SPEI_VISEME)),
              (std::vector<std::string>{"viseme 1 10ms @0", "viseme 21 5ms @320"}));
    EXPECT_EQ(Site.Audio.size(), 480u);
}

TEST_F(Speaking, ARefusedWriteEndsSpeaking) {
    Site.Script[1].WriteResult = S_FALSE;
    ASSERT_EQ(Say({Speak(u"abc"), Bookmark(u"1")}), S_OK);
    EXPECT_EQ(Site.WriteBuffers.size(), 2u);
    EXPECT_EQ(Site.EventsOf(SPEI_TTS_BOOKMARK).size(), 0u);
    EXPECT_EQ(ActiveSpeakCount, 0);
}

TEST_F(Speaking, WritesTheLibrarysOwnBuffer) {
    int checked = 0;
    Site.OnWrite = [&](const void* buffer) {
        EXPECT_EQ(buffer, Export<const std::int16_t* (*)()>("fakeLastPhoneBuffer")());
        ++checked;
    };
    ASSERT_EQ(Say({Speak(u"abc def")}), S_OK);
    EXPECT_EQ(checked, 6);
}

TEST_F(Speaking, MakesANewVoiceAndChannelAfterAnIdleUnload) {
    ASSERT_EQ(Say({Speak(u"a")}), S_OK);
    for (int tick = 0; tick < IdleTicks; ++tick)
        UnLoadThread::Tick();
    ASSERT_FALSE(EngineLoaded);
    ASSERT_EQ(Say({Speak(u"b")}), S_OK);
    std::vector<std::string> calls = Calls();
    EXPECT_EQ(
        std::vector<std::string>(calls.begin(), calls.begin() + 4),
        (std::vector<std::string>{"kelvoraGetMajorVersion", "kelvoraInitialize",
                                  "kelvoraCreateVoiceW Anna", "kelvoraCreateChannel 16000 0"}));
    EXPECT_EQ(Site.EventsOf(SPEI_VISEME).size(), 2u);
}

// What happens between a Speak at 22050 Hz and the next one.
struct TRateChangeCase {
    const char* Name;
    std::uint32_t RequestedRate; // asked of GetOutputFormat; 0: not asked
    const char16_t* RebindRate;  // a second token's "SamplingRate"; null: no second token
    const char16_t* RebindName;
    std::vector<std::string> Calls;
};

TEST_F(Speaking, ReplacesAChannelMadeAtAnotherRateAndKeepsTheVoice) {
    const std::vector<std::string> speakB = {"kelvoraSetTempo 0", "kelvoraSetVolume 100",
                                             "kelvoraSetInputTextW b "};
    auto then = [&](std::vector<std::string> first) {
        first.insert(first.end(), speakB.begin(), speakB.end());
        return first;
    };
    const std::vector<std::string> newChannel = {"kelvoraDeleteChannel",
                                                 "kelvoraCreateChannel 16000 0"};
    const TRateChangeCase cases[] = {
        {"agreed 16000 Hz", 16000, nullptr, nullptr, then(newChannel)},
        {"agreed 3999 Hz", 3999, nullptr, nullptr, speakB},
        {"agreed the same rate", 22050, nullptr, nullptr, speakB},
        {"token of 16000 Hz", 0, u"16000", u"Bart", then(newChannel)},
        {"token of another name", 0, u"22050", u"Bart", speakB},
    };
    for (const TRateChangeCase& c : cases) {
        SCOPED_TRACE(c.Name);
        ResetResidency();
        Engine = NewEngine(&Object);
        Bind(u"22050");
        Site = TFakeSite{};
        Site.Volume = 100;
        ASSERT_EQ(Say({Speak(u"a")}), S_OK);
        Export<void (*)()>("fakeClearCallLog")();
        if (c.RequestedRate) {
            WAVEFORMATEX target{WAVE_FORMAT_PCM, 1, c.RequestedRate, 2 * c.RequestedRate, 2, 16, 0};
            GUID formatId{};
            WAVEFORMATEX* agreed = nullptr;
            ASSERT_EQ(Engine->GetOutputFormat(&SPDFID_WaveFormatEx, &target, &formatId, &agreed),
                      S_OK);
            Platform::TaskMemFree(agreed);
            EXPECT_TRUE(Calls().empty()) << "GetOutputFormat only records the rate";
        }
        if (c.RebindRate) {
            Tokens.emplace_back(
                TFakeToken::TValues{{u"", c.RebindName}, {u"SamplingRate", c.RebindRate}},
                TFakeToken::TFailures{});
            Query<ISpObjectWithToken>(Engine.Get(), IID_ISpObjectWithToken)
                ->SetObjectToken(&Tokens.back());
        }
        Site = TFakeSite{};
        Site.Volume = 100;
        ASSERT_EQ(Say({Speak(u"b")}), S_OK);
        EXPECT_EQ(Calls(), c.Calls);
        // The phone of "b" lasts 10 ms at the rate the host was told.
        EXPECT_EQ(Describe(Site.EventsOf(SPEI_VISEME)),
                  std::vector<std::string>{"viseme 21 10ms @0"});
        const std::uint32_t rate = TKelvoraSAPI5EngineProbe::SamplingRate(*Object);
        EXPECT_EQ(Site.Audio.size(), 2 * (rate / 100)) << "10 ms at " << rate << " Hz";
    }
}

TEST_F(Speaking, WithoutALibraryReportsUninitializedAndStaysUncounted) {
    RemoveInstallPath();
    EXPECT_EQ(Say({Speak(u"a"), Bookmark(u"1")}), SPERR_UNINITIALIZED);
    EXPECT_TRUE(Site.Events.empty());
    EXPECT_EQ(ActiveSpeakCount, 0);
    EXPECT_EQ(IdleCountdown, IdleTicks);
}

TEST_F(Speaking, WithoutAVoiceOrChannelFailsWithoutDrivingTheLibrary) {
    ASSERT_TRUE(StartEngine());
    auto nullHandles = Export<void (*)(std::uint8_t)>("fakeSetNullHandles");
    nullHandles(3);
    EXPECT_EQ(Say({Speak(u"a")}), E_FAIL);
    EXPECT_TRUE(Site.Events.empty());
    EXPECT_EQ(Calls().back(), "kelvoraCreateVoiceW Anna");
    EXPECT_EQ(ActiveSpeakCount, 0);

    // A voice without a channel gets its channel at the next Speak.
    nullHandles(2);
    EXPECT_EQ(Say({Speak(u"a")}), E_FAIL);
    nullHandles(0);
    ASSERT_EQ(Say({Speak(u"a")}), S_OK);
    std::vector<std::string> calls = Calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "kelvoraCreateVoiceW Anna"), 2);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "kelvoraCreateChannel 16000 0"), 2);
    EXPECT_EQ(Site.EventsOf(SPEI_VISEME).size(), 1u);
}

TEST_F(Speaking, ANullSiteIsRefused) {
    TFragmentList fragments{Speak(u"a")};
    EXPECT_EQ(Engine->Speak(0, SPDFID_WaveFormatEx, nullptr, fragments.First(), nullptr),
              E_POINTER);
    EXPECT_EQ(ActiveSpeakCount, 0);
}

TEST_F(Speaking, ABookmarkEventCarriesTheNameAndItsNumber) {
    ASSERT_EQ(Say({Bookmark(u"$FFFFFFFF")}), S_OK);
    ASSERT_EQ(Site.Events.size(), 1u);
    EXPECT_EQ(Site.Events[0].WParam, static_cast<WPARAM>(-1));
    EXPECT_EQ(Site.Events[0].Name, u"$FFFFFFFF");
}

struct TNumberCase {
    const char16_t* Name;
    std::int32_t Number;
};

TEST(BookmarkNumber, ReadsDecimalAndHexadecimalNames) {
    const TNumberCase cases[] = {
        {u"12", 12},         {u"-5", -5},
        {u"$1F", 31},        {u"abc", 0},
        {u"  42", 42},       {u"+7", 7},
        {u"0x10", 16},       {u"x10", 16},
        {u"X1f", 31},        {u"0X1F", 31},
        {u"$FFFFFFFF", -1},  {u"$100000000", 0},
        {u"-$10", -16},      {u"2147483647", 2147483647},
        {u"2147483648", 0},  {u"-2147483648", -2147483647 - 1},
        {u"-2147483649", 0}, {u"12a", 0},
        {u"1 ", 0},          {u" ", 0},
        {u"-", 0},           {u"$", 0},
        {u"0x", 0},          {u"0", 0},
        {u"007", 7},         {u"\u0661", 0},
    };
    for (const TNumberCase& c : cases)
        EXPECT_EQ(BookmarkNumber(c.Name), c.Number) << Narrow(c.Name);
}

} // namespace
