// Residency: the library loaded on first use, kept for 299 idle ticks, closed and unloaded
// at the 300th, and never driven or deleted through handles of an earlier load.
#include "EngineObjects.h"
#include "FakeEngineLibrary.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace {

using namespace FakeEngineLibrary;

void Ticks(int count) {
    for (int i = 0; i < count; ++i)
        UnLoadThread::Tick();
}

// What Speak does once BeginEngineUse has let it go on: make the voice and channel if none.
void MakeHandles(TEngineHandles& handles) {
    ASSERT_TRUE(EngineLoaded);
    if (!handles.VoiceObject) {
        handles.VoiceObject = KelvoraAPI.kelvoraCreateVoiceW(u"Anna");
        handles.ChannelObject = KelvoraAPI.kelvoraCreateChannel(handles.VoiceObject, 16000, 0);
    }
}

bool NoStaleHandleUsed(const std::vector<std::string>& calls) {
    return std::none_of(calls.begin(), calls.end(),
                        [](const std::string& call) { return call.rfind("STALE", 0) == 0; });
}

class Residency : public testing::Test {
protected:
    void SetUp() override {
        ResetResidency();
        UseVariant(u"standard");
    }
    void TearDown() override {
        ResetResidency();
        RemoveInstallPath();
    }
};

TEST_F(Residency, FirstUseLoadsAndTheEndStartsTheCountdown) {
    TEngineHandles handles;
    BeginEngineUse(handles);
    EXPECT_TRUE(EngineLoaded);
    EXPECT_EQ(ActiveSpeakCount, 1);
    EXPECT_EQ(IdleCountdown, 0);
    EXPECT_EQ(handles.VoiceObject, nullptr);
    EndEngineUse();
    EXPECT_EQ(ActiveSpeakCount, 0);
    EXPECT_EQ(IdleCountdown, IdleTicks);
}

TEST_F(Residency, ClosesAndUnloadsAfter300IdleTicksOnly) {
    THeldLibrary held(u"standard");
    TEngineHandles handles;
    BeginEngineUse(handles);
    EndEngineUse();
    Ticks(299);
    EXPECT_TRUE(EngineLoaded);
    EXPECT_EQ(IdleCountdown, 1);

    // A use within the countdown stops it and reloads nothing.
    held.ClearCalls();
    BeginEngineUse(handles);
    EXPECT_EQ(IdleCountdown, 0);
    Ticks(5);
    EXPECT_EQ(IdleCountdown, 0);
    EndEngineUse();
    Ticks(299);
    EXPECT_TRUE(held.Calls().empty());

    UnLoadThread::Tick();
    EXPECT_FALSE(EngineLoaded);
    EXPECT_EQ(EngineLibraryHandle, nullptr);
    EXPECT_EQ(held.Calls(), (std::vector<std::string>{"kelvoraClose"}));
    Ticks(10);
    EXPECT_EQ(IdleCountdown, 0);
}

TEST_F(Residency, OverlappingUsesKeepTheLibraryUntilTheLastEnds) {
    TEngineHandles first, second;
    BeginEngineUse(first);
    BeginEngineUse(second);
    EndEngineUse();
    Ticks(IdleTicks);
    EXPECT_EQ(IdleCountdown, 0);
    EXPECT_TRUE(EngineLoaded);
    EXPECT_EQ(ActiveSpeakCount, 1);
    EndEngineUse();
    EXPECT_EQ(IdleCountdown, IdleTicks);
    Ticks(IdleTicks);
    EXPECT_FALSE(EngineLoaded);
}

TEST_F(Residency, AFailedInitializeIsRetriedAndNeverUnloadedForIdleness) {
    UseVariant(u"initfails");
    TEngineHandles handles;
    handles.VoiceObject = &handles;
    BeginEngineUse(handles);
    EXPECT_FALSE(EngineLoaded);
    EXPECT_EQ(handles.VoiceObject, nullptr);
    EndEngineUse();
    Ticks(IdleTicks + 1);
    ASSERT_NE(EngineLibraryHandle, nullptr);
    BeginEngineUse(handles);
    EndEngineUse();
    EXPECT_EQ(Calls(), (std::vector<std::string>{"kelvoraGetMajorVersion", "kelvoraInitialize",
                                                 "kelvoraInitialize"}));
}

TEST_F(Residency, NoObjectUsesOrDeletesHandlesOfAnEarlierLoad) {
    TKelvoraSAPI5Engine* first = nullptr;
    TKelvoraSAPI5Engine* second = nullptr;
    TComPtr<ISpTTSEngine> firstEngine = NewEngine(&first);
    TComPtr<ISpTTSEngine> secondEngine = NewEngine(&second);
    TEngineHandles& a = TKelvoraSAPI5EngineProbe::Library(*first);
    TEngineHandles& b = TKelvoraSAPI5EngineProbe::Library(*second);

    BeginEngineUse(a);
    MakeHandles(a);
    EndEngineUse();
    BeginEngineUse(b);
    MakeHandles(b);
    EndEngineUse();
    Ticks(IdleTicks);
    ASSERT_FALSE(EngineLoaded);

    // The first object's use loads the library again and makes new handles...
    BeginEngineUse(a);
    EXPECT_EQ(a.VoiceObject, nullptr);
    MakeHandles(a);
    EndEngineUse();
    // ...and the second object, finding it loaded, drops its handles of the earlier load.
    const TEngineHandles earlier = b;
    BeginEngineUse(b);
    EXPECT_EQ(b.VoiceObject, nullptr);
    EXPECT_EQ(b.ChannelObject, nullptr);
    EndEngineUse();

    // An object still holding handles of the earlier load deletes nothing when it goes.
    b = earlier;
    secondEngine = {};
    firstEngine = {};
    std::vector<std::string> calls = Calls();
    EXPECT_TRUE(NoStaleHandleUsed(calls));
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "kelvoraDeleteVoice"), 1);
    EXPECT_EQ(calls.back(), "kelvoraDeleteVoice");
    EXPECT_EQ(calls[calls.size() - 2], "kelvoraDeleteChannel");
    EXPECT_EQ(Export<std::uint32_t (*)()>("fakeLiveHandleCount")(), 0u);
}

TEST_F(Residency, FinalizeClosesTheLibraryAndLeavesItLoaded) {
    TEngineHandles handles;
    BeginEngineUse(handles);
    EndEngineUse();
    FinalizeResidency();
    EXPECT_FALSE(EngineLoaded);
    EXPECT_NE(EngineLibraryHandle, nullptr);
    EXPECT_EQ(Calls().back(), "kelvoraClose");
    Ticks(IdleTicks);
    EXPECT_NE(EngineLibraryHandle, nullptr);
}

TEST_F(Residency, AFailedLoadReleasesTheLock) {
    std::uint32_t number = 1;
    Platform::WriteRegistryValue(Platform::TRegistryRoot::LocalMachine, EngineRegistryKey, u"Path",
                                 Platform::RegistryDWord, &number, sizeof number);
    TEngineHandles handles;
    BeginEngineUse(handles);
    EXPECT_FALSE(EngineLoaded);
    bool lockedElsewhere = false;
    std::thread([&] {
        lockedElsewhere = EngineLock().try_lock();
        if (lockedElsewhere)
            EngineLock().unlock();
    }).join();
    EXPECT_TRUE(lockedElsewhere);
    EndEngineUse();
}

// Uses beginning and ending on several threads while the ticker ticks and engine objects
// are torn down: the counts stay exact and no stale handle reaches the library.
TEST_F(Residency, ConcurrentUsesTicksAndTeardowns) {
    constexpr int Threads = 4;
    constexpr int Rounds = 200;
    std::atomic<bool> running{true};
    std::thread ticker([&] {
        while (running) {
            {
                // Short countdowns, so that unloads and reloads happen during the test.
                std::lock_guard<std::recursive_mutex> guard(EngineLock());
                if (IdleCountdown > 2)
                    IdleCountdown = 2;
            }
            UnLoadThread::Tick();
            std::this_thread::yield();
        }
    });
    std::vector<std::thread> speakers;
    for (int t = 0; t < Threads; ++t) {
        speakers.emplace_back([] {
            for (int round = 0; round < Rounds; ++round) {
                TKelvoraSAPI5Engine* object = nullptr;
                TComPtr<ISpTTSEngine> engine = NewEngine(&object);
                TEngineHandles& handles = TKelvoraSAPI5EngineProbe::Library(*object);
                for (int use = 0; use < 3; ++use) {
                    BeginEngineUse(handles);
                    if (EngineLoaded && !handles.VoiceObject) {
                        handles.VoiceObject = KelvoraAPI.kelvoraCreateVoiceW(u"Anna");
                        handles.ChannelObject =
                            KelvoraAPI.kelvoraCreateChannel(handles.VoiceObject, 8000, 0);
                    }
                    if (EngineLoaded)
                        KelvoraAPI.kelvoraSetTempo(handles.ChannelObject, use);
                    EndEngineUse();
                }
            }
        });
    }
    for (std::thread& speaker : speakers)
        speaker.join();
    running = false;
    ticker.join();
    EXPECT_EQ(ActiveSpeakCount, 0);
    if (EngineLibraryHandle) {
        EXPECT_TRUE(NoStaleHandleUsed(Calls()));
    }
}

} // namespace
