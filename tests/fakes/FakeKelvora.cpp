// The fake speech engine library, built under the file name KELVORA.DLL. It exports the
// library's entry points by their exact names, turns the text it is given into a
// deterministic phone stream (one phone per letter, a silence phone "_" for each inserted
// pause, the word position and length at each word's first phone; tempo, volume and pause
// control sequences applied), and records every call. Handles are unique per load, and a
// handle this load did not hand out is recorded as STALE and never dereferenced.
//
// Build variants (compile definitions): FAKE_MAJOR_VERSION, FAKE_INITIALIZE_RESULT,
// FAKE_WITHOUT_CLOSE, FAKE_WITHOUT_GET_PHONE, FAKE_WITHOUT_MAJOR_VERSION, FAKE_PHONE_SAMPLES
// (every letter this long), FAKE_FAST (kelvoraGetPhone without lock or handle check, for
// benchmarks). Extra exports, named fake*, let tests steer and read it.
#include "ControlLanguage.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#ifdef _WIN32
#define FAKE_EXPORT extern "C" __declspec(dllexport)
#else
#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

#ifndef FAKE_MAJOR_VERSION
#define FAKE_MAJOR_VERSION 8
#endif
#ifndef FAKE_INITIALIZE_RESULT
#define FAKE_INITIALIZE_RESULT 1
#endif

namespace {

// One entry of the channel's stream: a phone, or a control sequence that takes effect when
// the stream reaches it.
struct TPhone {
    enum TKind { Letter, Pause, Tempo, Volume } Kind;
    std::string Symbol;
    std::uint32_t Value; // samples of a pause, the code of a letter, the tempo or the volume
    std::uint32_t Position;
    std::uint32_t WordLength;
};

struct TVoice {
    std::u16string Name;
};

struct TChannel {
    std::uint32_t SamplingRate = 0;
    std::int32_t Tempo = 0;
    std::uint32_t Volume = 100;
    std::uint32_t TextVolume = 100;
    std::vector<TPhone> Phones;
    std::size_t Next = 0;
    std::vector<std::int16_t> Audio;
};

std::mutex Lock;
std::string CallLog;
// Called on entering and leaving each entry point of the library's own (fakeSetCallHooks).
std::atomic<void (*)()> EnterHook{nullptr};
std::atomic<void (*)()> LeaveHook{nullptr};

// One call into the library: brackets it with the hooks.
class TLibraryCall {
public:
    TLibraryCall() {
        if (auto enter = EnterHook.load())
            enter();
    }
    TLibraryCall(const TLibraryCall&) = delete;
    TLibraryCall& operator=(const TLibraryCall&) = delete;
    ~TLibraryCall() {
        if (auto leave = LeaveHook.load())
            leave();
    }
};
std::uint8_t InitializeResult = FAKE_INITIALIZE_RESULT;
bool NullVoices = false;
bool NullChannels = false;
#ifndef FAKE_PHONE_SAMPLES
#define FAKE_PHONE_SAMPLES 0
#endif
std::uint32_t PhoneSamplesOverride = FAKE_PHONE_SAMPLES;
const std::int16_t* LastBuffer = nullptr;
// Handles are (load id << 20 | serial): a handle of an earlier load is never mistaken for one
// of this load, even where the same memory is used again.
const std::uintptr_t LoadId = static_cast<std::uintptr_t>(
    std::chrono::steady_clock::now().time_since_epoch().count() & 0xFFFFFFF);
std::uintptr_t Serial = 0;
std::map<std::uintptr_t, std::unique_ptr<TVoice>> Voices;
std::uint32_t StaleCalls = 0; // calls with a handle this load never made, or deleted
std::map<std::uintptr_t, std::unique_ptr<TChannel>> Channels;

std::string Narrow(const std::u16string& text) {
    std::string narrow;
    for (char16_t c : text)
        narrow.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return narrow;
}

void Record(const std::string& call) {
    CallLog += call;
    CallLog += '\n';
}

// Records a call with a number, without a temporary string: the phone loop's calls into the
// library allocate nothing once the log has room.
void Record(const char* call, long long number) {
    char line[64];
    std::snprintf(line, sizeof line, "%s %lld\n", call, number);
    CallLog += line;
}

void* NewHandle() {
    return reinterpret_cast<void*>(LoadId << 20 | ++Serial);
}

template <typename T>
T* Find(std::map<std::uintptr_t, std::unique_ptr<T>>& objects, void* handle, const char* call) {
    auto found = objects.find(reinterpret_cast<std::uintptr_t>(handle));
    if (found != objects.end())
        return found->second.get();
    Record(std::string("STALE ") + call);
    ++StaleCalls;
    return nullptr;
}

[[maybe_unused]] std::uint32_t LetterSamples(const TChannel& channel) {
    if (PhoneSamplesOverride)
        return PhoneSamplesOverride;
    std::int64_t samples = std::int64_t(channel.SamplingRate / 100) * (20 - channel.Tempo) / 20;
    return static_cast<std::uint32_t>(samples > 1 ? samples : 1);
}

// Reads the text the way the library does: control sequences "\name=value\" change the
// channel, words become one phone per code unit.
void MakePhones(TChannel& channel, const std::u16string& text) {
    channel.Phones.clear();
    channel.Next = 0;
    channel.TextVolume = 100;
    std::size_t i = 0;
    TControlSequence sequence;
    while (i < text.size()) {
        if (ReadControlSequence(text, i, sequence)) {
            const auto number = static_cast<std::uint32_t>(sequence.Number());
            if (sequence.Name == u"tempo")
                channel.Phones.push_back({TPhone::Tempo, "", number, 0, 0});
            else if (sequence.Name == u"volume")
                channel.Phones.push_back({TPhone::Volume, "", number, 0, 0});
            else if (sequence.Name == u"insert")
                channel.Phones.push_back(
                    {TPhone::Pause, "_",
                     static_cast<std::uint32_t>(std::uint64_t(PauseMilliseconds(sequence.Value)) *
                                                channel.SamplingRate / 1000),
                     0, 0});
        } else if (text[i] <= u' ') {
            ++i;
        } else {
            std::size_t end = i;
            while (end < text.size() && text[end] > u' ' && text[end] != u'\\')
                ++end;
            for (std::size_t letter = i; letter < end; ++letter) {
                const auto code = static_cast<std::uint32_t>(text[letter] % 128);
                const bool first = letter == i;
                channel.Phones.push_back({TPhone::Letter, std::string(1, static_cast<char>(code)),
                                          code, first ? static_cast<std::uint32_t>(i) : 0,
                                          first ? static_cast<std::uint32_t>(end - i) : 0});
            }
            i = end;
        }
    }
}

} // namespace

FAKE_EXPORT std::uint32_t kelvoraGetMinorVersion() {
    const TLibraryCall call;
    std::lock_guard<std::mutex> guard(Lock);
    Record("kelvoraGetMinorVersion");
    return 0;
}

#ifndef FAKE_WITHOUT_MAJOR_VERSION
FAKE_EXPORT std::uint32_t kelvoraGetMajorVersion() {
    const TLibraryCall call;
    std::lock_guard<std::mutex> guard(Lock);
    Record("kelvoraGetMajorVersion");
    return FAKE_MAJOR_VERSION;
}
#endif

FAKE_EXPORT std::uint8_t kelvoraInitialize() {
    const TLibraryCall call;
    std::lock_guard<std::mutex> guard(Lock);
    Record("kelvoraInitialize");
    return InitializeResult;
}

#ifndef FAKE_WITHOUT_CLOSE
FAKE_EXPORT std::uint8_t kelvoraClose() {
    const TLibraryCall call;
    std::lock_guard<std::mutex> guard(Lock);
    Record("kelvoraClose");
    return 1;
}
#endif

FAKE_EXPORT void* kelvoraCreateVoiceW(const char16_t* name) {
    const TLibraryCall call;
    std::lock_guard<std::mutex> guard(Lock);
    std::u16string voiceName = name ? name : u"(null)";
    Record("kelvoraCreateVoiceW " + Narrow(voiceName));
    if (NullVoices)
        return nullptr;
    void* handle = NewHandle();
    Voices[reinterpret_cast<std::uintptr_t>(handle)] = std::make_unique<TVoice>(TVoice{voiceName});
    return handle;
}

FAKE_EXPORT void* kelvoraCreateChannel(void* voice, std::uint32_t samplingRate,
                                       std::uint32_t reserved) {
    const TLibraryCall call;
    std::lock_guard<std::mutex> guard(Lock);
    Record("kelvoraCreateChannel " + std::to_string(samplingRate) + " " + std::to_string(reserved));
    if (!Find(Voices, voice, "kelvoraCreateChannel") || NullChannels)
        return nullptr;
    auto channel = std::make_unique<TChannel>();
#ifdef FAKE_FAST
    void* handle = channel.get(); // so that kelvoraGetPhone needs neither lock nor lookup
#else
    void* handle = NewHandle();
#endif
    channel->SamplingRate = samplingRate;
    Channels[reinterpret_cast<std::uintptr_t>(handle)] = std::move(channel);
    return handle;
}

FAKE_EXPORT void kelvoraSetTempo(void* channel, std::int32_t tempo) {
    const TLibraryCall call;
    std::lock_guard<std::mutex> guard(Lock);
    Record("kelvoraSetTempo", tempo);
    if (TChannel* found = Find(Channels, channel, "kelvoraSetTempo"))
        found->Tempo = tempo;
}

FAKE_EXPORT void kelvoraSetVolume(void* channel, std::uint32_t volume) {
    const TLibraryCall call;
    std::lock_guard<std::mutex> guard(Lock);
    Record("kelvoraSetVolume", volume);
    if (TChannel* found = Find(Channels, channel, "kelvoraSetVolume"))
        found->Volume = volume;
}

FAKE_EXPORT void kelvoraSetInputTextW(void* channel, const char16_t* text) {
    const TLibraryCall call;
    std::lock_guard<std::mutex> guard(Lock);
    std::u16string input = text ? text : u"";
    Record("kelvoraSetInputTextW " + Narrow(input));
    if (TChannel* found = Find(Channels, channel, "kelvoraSetInputTextW"))
        MakePhones(*found, input);
}

#ifndef FAKE_WITHOUT_GET_PHONE
FAKE_EXPORT std::uint8_t kelvoraGetPhone(void* channel, const char** symbol, std::uint32_t* samples,
                                         const std::int16_t** buffer, std::uint32_t* position,
                                         std::uint32_t* wordLength) {
    const TLibraryCall call;
#ifdef FAKE_FAST
    TChannel* found = static_cast<TChannel*>(channel);
#else
    std::lock_guard<std::mutex> guard(Lock);
    TChannel* found = Find(Channels, channel, "kelvoraGetPhone");
#endif
    if (!found || found->Next >= found->Phones.size())
        return 0;
    // Control sequences take effect where the stream reaches them.
    while (found->Next < found->Phones.size() &&
           (found->Phones[found->Next].Kind == TPhone::Tempo ||
            found->Phones[found->Next].Kind == TPhone::Volume)) {
        const TPhone& control = found->Phones[found->Next++];
        if (control.Kind == TPhone::Tempo)
            found->Tempo = static_cast<std::int32_t>(control.Value);
        else
            found->TextVolume = control.Value;
    }
    if (found->Next >= found->Phones.size())
        return 0;
    const TPhone& phone = found->Phones[found->Next++];
    const bool letter = phone.Kind == TPhone::Letter;
    const std::uint32_t count = letter ? LetterSamples(*found) : phone.Value;
    if (found->Audio.size() < count)
        found->Audio.resize(count);
    const auto amplitude = static_cast<std::int16_t>(
        letter ? phone.Value * 64 * found->TextVolume / 100 * found->Volume / 100 : 0);
    for (std::uint32_t i = 0; i < count; ++i)
        found->Audio[i] = i % 2 ? amplitude : static_cast<std::int16_t>(-amplitude);
    *symbol = phone.Symbol.c_str();
    *samples = count;
    *buffer = found->Audio.data();
#ifndef FAKE_FAST
    LastBuffer = found->Audio.data();
#endif
    *position = phone.Position;
    *wordLength = phone.WordLength;
    return 1;
}
#endif

FAKE_EXPORT void kelvoraDeleteChannel(void* channel) {
    const TLibraryCall call;
    std::lock_guard<std::mutex> guard(Lock);
    Record("kelvoraDeleteChannel");
    if (Find(Channels, channel, "kelvoraDeleteChannel"))
        Channels.erase(reinterpret_cast<std::uintptr_t>(channel));
}

FAKE_EXPORT void kelvoraDeleteVoice(void* voice) {
    const TLibraryCall call;
    std::lock_guard<std::mutex> guard(Lock);
    Record("kelvoraDeleteVoice");
    if (Find(Voices, voice, "kelvoraDeleteVoice"))
        Voices.erase(reinterpret_cast<std::uintptr_t>(voice));
}

// The calls so far, one per line; the text stays valid until the next call into the fake.
FAKE_EXPORT const char* fakeCallLog() {
    std::lock_guard<std::mutex> guard(Lock);
    static std::string copy;
    copy = CallLog;
    return copy.c_str();
}

FAKE_EXPORT void fakeClearCallLog() {
    std::lock_guard<std::mutex> guard(Lock);
    CallLog.clear();
}

FAKE_EXPORT void fakeSetInitializeResult(std::uint8_t result) {
    std::lock_guard<std::mutex> guard(Lock);
    InitializeResult = result;
}

// Makes kelvoraCreateVoiceW (bit 1) and kelvoraCreateChannel (bit 2) return null.
FAKE_EXPORT void fakeSetNullHandles(std::uint8_t which) {
    std::lock_guard<std::mutex> guard(Lock);
    NullVoices = (which & 1) != 0;
    NullChannels = (which & 2) != 0;
}

// Every letter phone gets this many samples; 0 restores the rate- and tempo-based length.
FAKE_EXPORT void fakeSetPhoneSamples(std::uint32_t samples) {
    std::lock_guard<std::mutex> guard(Lock);
    PhoneSamplesOverride = samples;
}

FAKE_EXPORT std::uint32_t fakeStaleCallCount() {
    std::lock_guard<std::mutex> guard(Lock);
    return StaleCalls;
}

FAKE_EXPORT std::uint32_t fakeLiveHandleCount() {
    std::lock_guard<std::mutex> guard(Lock);
    return static_cast<std::uint32_t>(Voices.size() + Channels.size());
}

// The sample buffer that the last kelvoraGetPhone handed out.
FAKE_EXPORT const std::int16_t* fakeLastPhoneBuffer() {
    std::lock_guard<std::mutex> guard(Lock);
    return LastBuffer;
}

// Room for this many bytes of call log, so that recording allocates nothing for a while.
FAKE_EXPORT void fakeReserveCallLog(std::uint32_t bytes) {
    std::lock_guard<std::mutex> guard(Lock);
    CallLog.reserve(bytes);
}

// Hooks called on entering and leaving each kelvora entry point (null for none): a test that
// makes memory run out in the engine lets the library, which never throws, be.
FAKE_EXPORT void fakeSetCallHooks(void (*enter)(), void (*leave)()) {
    EnterHook = enter;
    LeaveHook = leave;
}
