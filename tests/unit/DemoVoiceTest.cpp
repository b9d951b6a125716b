// The demo voice through the loader: the audio grows with the pause codes, shrinks and grows
// with the tempo, follows the volume, and the words are reported where they stand.
#include "FakeEngineLibrary.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
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

} // namespace
