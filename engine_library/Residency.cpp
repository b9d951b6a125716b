#include "Residency.h"

#include <chrono>
#include <exception>
#include <thread>

bool EngineLoaded = false;
std::int32_t ActiveSpeakCount = 0;
std::int32_t IdleCountdown = 0;
std::uint32_t EngineLoadNumber = 0;

std::recursive_mutex& EngineLock() {
    static std::recursive_mutex* lock = new std::recursive_mutex;
    return *lock;
}

namespace {

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
    EngineLock();
    // The ticker runs until the process ends, so the module that holds its code stays.
    Platform::PinModuleContaining(&EngineLoadNumber);
    try {
        std::thread(&UnLoadThread::Execute).detach();
    } catch (const std::exception&) {
        // Without a ticker the library simply stays loaded until shut-down.
    }
}

void FinalizeResidency() {
    std::lock_guard<std::recursive_mutex> guard(EngineLock());
    CloseEngine();
    EngineLoaded = false;
}
