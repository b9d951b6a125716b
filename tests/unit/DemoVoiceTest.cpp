// The demo voice through the loader: the audio grows with the pause codes, shrinks and grows
// with the tempo, follows the volume, and the words are reported where they stand.
#include "FakeEngineLibrary.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

struct TSpoken {
    std::size_t Samples = 0;
    int Peak = 0;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> Words;
};

class DemoVoice : public testing::Test {
protected:
    void SetUp() override {
        FakeEngineLibrary::ResetResidency();
        FakeEngineLibrary::SetInstallPath(KELVORA_DEMO_DIR);
        ASSERT_TRUE(StartEngine());
        Voice = KelvoraAPI.kelvoraCreateVoiceW(u"Demo");
        Channel = KelvoraAPI.kelvoraCreateChannel(Voice, 16000, 0);
    }
    void TearDown() override {
        KelvoraAPI.kelvoraDeleteChannel(Channel);
        KelvoraAPI.kelvoraDeleteVoice(Voice);
        FakeEngineLibrary::ResetResidency();
        FakeEngineLibrary::RemoveInstallPath();
    }
    TSpoken Say(const std::u16string& text) {
        KelvoraAPI.kelvoraSetInputTextW(Channel, text.c_str());
        TSpoken spoken;
        const char* symbol;
        std::uint32_t samples, position, wordLength;
        const std::int16_t* buffer;
        while (KelvoraAPI.kelvoraGetPhone(Channel, &symbol, &samples, &buffer, &position,
                                          &wordLength)) {
            spoken.Samples += samples;
            for (std::uint32_t i = 0; i < samples; ++i)
                spoken.Peak = std::max(spoken.Peak, std::abs(static_cast<int>(buffer[i])));
            if (wordLength)
                spoken.Words.emplace_back(position, wordLength);
        }
        return spoken;
    }
    KelvoraVoice Voice = nullptr;
    KelvoraChannel Channel = nullptr;
};

TEST_F(DemoVoice, PauseCodesAddTheirLength) {
    const TSpoken plain = Say(u"hallo wereld ");
    EXPECT_EQ(Say(u"hallo  \\insert=$M$D$I\\ wereld ").Samples, plain.Samples + 1501 * 16);
    EXPECT_EQ(Say(u" \\insert=$C$C\\ ").Samples, 200u * 16);
}

TEST_F(DemoVoice, TempoChangesTheLengthAndVolumeTheLoudness) {
    const TSpoken plain = Say(u"hallo wereld ");
    EXPECT_LT(Say(u" \\tempo=5\\ hallo wereld ").Samples, plain.Samples * 8 / 10);
    EXPECT_GT(Say(u" \\tempo=-5\\ hallo wereld ").Samples, plain.Samples * 12 / 10);
    KelvoraAPI.kelvoraSetTempo(Channel, 10);
    EXPECT_LT(Say(u"hallo wereld ").Samples, plain.Samples * 6 / 10);
    KelvoraAPI.kelvoraSetTempo(Channel, 0);
    const int quiet = Say(u" \\volume=25\\ hallo wereld ").Peak;
    EXPECT_LT(quiet, plain.Peak / 3);
    EXPECT_GT(quiet, plain.Peak / 5);
    EXPECT_EQ(Say(u" \\pitch=8\\ hallo wereld ").Samples, plain.Samples);
}

TEST_F(DemoVoice, ReportsWhereEachWordStands) {
    EXPECT_EQ(
        Say(u"Dit  \\tempo=2\\ is een zin. ").Words,
        (std::vector<std::pair<std::uint32_t, std::uint32_t>>{{0, 3}, {15, 2}, {18, 3}, {22, 4}}));
}

// Hundreds of texts of letters, digits, marks and control sequences with values far beyond
// what the voice can make: each one's audio is bounded by its length, and all of them are
// spoken within a generous time (an unbounded value once took minutes and 253 MB).
TEST_F(DemoVoice, AnyTextFinishesInTimeProportionalToIt) {
    std::mt19937 random(2026);
    const char16_t* const words[] = {u"hallo", u"42", u"wereld,", u"?!",
                                     u"schip", u"..", u"Zo\u00EB"};
    const char16_t* const names[] = {u"tempo", u"pitch", u"volume", u"insert", u"echo"};
    const char16_t* const values[] = {
        u"-2147483648",          u"-2000",  u"-400", u"-11", u"0", u"7", u"400", u"2147483647",
        u"99999999999999999999", u"$M$M$X", u"x"};
    const auto start = std::chrono::steady_clock::now();
    for (int round = 0; round < 300; ++round) {
        std::u16string text;
        for (int piece = 1 + static_cast<int>(random() % 30); piece > 0; --piece) {
            if (random() % 3 == 0)
                text += std::u16string(u" \\") + names[random() % 5] + u"=" +
                        values[random() % 11] + u"\\ ";
            else
                text += std::u16string(words[random() % 7]) + u" ";
        }
        const TSpoken spoken = Say(text);
        // At most a second of audio per character (a pause unit "$M" is two characters).
        EXPECT_LE(spoken.Samples, text.size() * 16000) << round;
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
}

} // namespace
