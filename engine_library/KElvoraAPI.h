// The contract with the speech engine library KELVORA.DLL: the types of the entry points
// this system calls, with their exact argument widths. Results the system reads are
// one-byte Booleans or 32-bit numbers; results it ignores are declared void, which the
// x64 calling convention allows for any result type. Voice and channel handles are opaque.
#pragma once

#include <cstdint>

using KelvoraBool = std::uint8_t;
using KelvoraVoice = void*;
using KelvoraChannel = void*;

using TkelvoraGetMajorVersion = std::uint32_t (*)();
using TkelvoraInitialize = KelvoraBool (*)();
using TkelvoraClose = void (*)();
using TkelvoraCreateVoiceW = KelvoraVoice (*)(const char16_t* voiceName);
using TkelvoraCreateChannel = KelvoraChannel (*)(KelvoraVoice voice, std::uint32_t samplingRate,
                                                 std::uint32_t reserved);
using TkelvoraSetTempo = void (*)(KelvoraChannel channel, std::int32_t rate);
using TkelvoraSetVolume = void (*)(KelvoraChannel channel, std::uint32_t volume);
using TkelvoraSetInputTextW = void (*)(KelvoraChannel channel, const char16_t* text);
using TkelvoraGetPhone = KelvoraBool (*)(KelvoraChannel channel, const char** phoneSymbol,
                                         std::uint32_t* sampleCount, const std::int16_t** samples,
                                         std::uint32_t* textPosition, std::uint32_t* wordLength);
using TkelvoraDeleteChannel = void (*)(KelvoraChannel channel);
using TkelvoraDeleteVoice = void (*)(KelvoraVoice voice);
