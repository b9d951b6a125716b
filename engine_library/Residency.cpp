#include "Residency.h"

#include <chrono>
#include <exception>
#include <new>
#include <thread>

bool EngineLoaded = false;
std::int32_t ActiveSpeakCount = 0;
std::int32_t IdleCountdown = 0;
std::uint32_t EngineLoadNumber = 0;

// Made in static storage and never destroyed: no thread can find it gone, not even at exit.
std::recursive_mutex& EngineLock() {
    alignas(std::recursive_mutex) static unsigned char storage[sizeof(std::recursive_mutex)];
    static std::recursive_mutex* lock = new (storage) std::recursive_mutex;
    return *lock;
}

namespace {

bool TickerWanted = false;  // under EngineLock
bool TickerStarted = false; // under EngineLock

// The ticker starts with the first Speak: until a Speak has ended it would have nothing to
// count down, and a DLL in which no engine has spoken can still be unloaded cleanly. Once it
// runs, the module that holds its code stays loaded until the process ends.
void StartTicker() {
    if (!TickerWanted || TickerStarted)
        return;
    try {
        std::thread(&UnLoadThread::Execute).detach();
        TickerStarted = true;
        Platform::PinModuleContaining(&EngineLoadNumber);
    } catch (const std::exception&) {
        // Without a ticker the library simply stays loaded until shut-down.
    }
}

// A load that fails in any way counts as a library that did not start.
bool StartEngineSafely() {
    try {
        return StartEngine();
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace

bool BeginEngineUse(TEngineHandles& handles) {
    std::lock_guard<std::recursive_mutex> guard(EngineLock());
    StartTicker();
    ++ActiveSpeakCount;
    IdleCountdown = 0;
    if (!EngineLoaded) {
        EngineLoaded = StartEngineSafely();
        if (EngineLoaded)
            ++EngineLoadNumber;
    }
    if (!EngineLoaded || handles.LoadNumber != EngineLoadNumber) {
        handles.VoiceObject = nullptr;
        handles.ChannelObject = nullptr;
        handles.LoadNumber = EngineLoadNumber;
    }
    return EngineLoaded;
}

void EndEngineUse() {
    std::lock_guard<std::recursive_mutex> guard(EngineLock());
    --ActiveSpeakCount;
    IdleCountdown = IdleTicks;
}

void DeleteEngineChannel(TEngineHandles& handles) {
    std::lock_guard<std::recursive_mutex> guard(EngineLock());
    if (EngineLoaded && handles.LoadNumber == EngineLoadNumber && handles.ChannelObject)
        KelvoraAPI.kelvoraDeleteChannel(handles.ChannelObject);
    handles.ChannelObject = nullptr;
}

void ReleaseEngineHandles(const TEngineHandles& handles) {
    std::lock_guard<std::recursive_mutex> guard(EngineLock());
    if (!EngineLoaded || handles.LoadNumber != EngineLoadNumber)
        return;
    if (handles.ChannelObject)
        KelvoraAPI.kelvoraDeleteChannel(handles.ChannelObject);
    if (handles.VoiceObject)
        KelvoraAPI.kelvoraDeleteVoice(handles.VoiceObject);
}

void UnLoadThread::Tick() {
    std::lock_guard<std::recursive_mutex> guard(EngineLock());
    if (IdleCountdown <= 0)
        return;
    --IdleCountdown;
    if (EngineLoaded && ActiveSpeakCount == 0 && IdleCountdown == 0) {
        CloseEngine();
        UnloadEngineLibrary();
        EngineLoaded = false;
    }
}

void UnLoadThread::Execute() {
    for (;;) {
        Tick();
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    }
}

void InitializeResidency() {
    std::lock_guard<std::recursive_mutex> guard(EngineLock());
    TickerWanted = true;
}

bool TickerRunning() {
    std::lock_guard<std::recursive_mutex> guard(EngineLock());
    return TickerStarted;
}

void FinalizeResidency() {
    std::lock_guard<std::recursive_mutex> guard(EngineLock());
    CloseEngine();
    EngineLoaded = false;
}
