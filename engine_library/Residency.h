// Engine residency: one instance of the speech engine library per process, loaded by the
// first Speak that needs it and closed and unloaded by the ticker UnLoadThread once no Speak
// has run for IdleTicks ticks of a second. EngineLock guards the state below and every load,
// initialisation, close and unload, and the deletion of voices and channels; it is never
// held while a channel is driven.
#pragma once

#include "KElvoraAPI.h"

#include <cstdint>
#include <mutex>

// Re-entrant for its holder, no time-out; made on first use and never destroyed, so it
// outlives every thread that may still take it.
std::recursive_mutex& EngineLock();

// Guarded by EngineLock.
extern bool EngineLoaded;              // loaded and kelvoraInitialize said ready
extern std::int32_t ActiveSpeakCount;  // Speak calls between BeginEngineUse and EndEngineUse
extern std::int32_t IdleCountdown;     // ticks left until an idle unload; 0: no countdown
extern std::uint32_t EngineLoadNumber; // raised each time the library becomes ready

constexpr std::int32_t IdleTicks = 300;

// The library handles of one engine object, the sampling rate its channel was made at, and
// the EngineLoadNumber of the library instance they belong to. Handles of an earlier instance
// are never used nor deleted.
struct TEngineHandles {
    KelvoraVoice VoiceObject = nullptr;
    KelvoraChannel ChannelObject = nullptr;
    std::uint32_t ChannelRate = 0;
    std::uint32_t LoadNumber = 0;
};

// The first step of every Speak: counts the call, stops the countdown, starts the library
// when it is not loaded, and forgets the handles unless they belong to the instance that is
// ready now. Returns EngineLoaded: whether the library may be driven.
bool BeginEngineUse(TEngineHandles& handles);

// The last step of every Speak: uncounts the call and starts the countdown.
void EndEngineUse();

// Deletes the channel alone, so that a new one can be made from the same voice; the handle is
// forgotten either way.
void DeleteEngineChannel(TEngineHandles& handles);

// The engine object's teardown: deletes its channel, then its voice, when they belong to the
// library instance that is loaded now.
void ReleaseEngineHandles(const TEngineHandles& handles);

// The DLL's start-up step: makes EngineLock and lets the ticker start with the first Speak.
void InitializeResidency();

// Whether the ticker runs; its module then stays loaded until the process ends.
bool TickerRunning();

// The DLL's shut-down step: closes the library. The ticker and the lock stay.
void FinalizeResidency();

class UnLoadThread {
public:
    // The ticker's loop: a Tick, then a sleep of 1000 ms, until the process ends.
    [[noreturn]] static void Execute();
    // One tick: counts a running countdown down, and at 0 with no Speak in progress closes
    // and unloads the library.
    static void Tick();
};
