// DEMO VOICE, NOT THE REAL ENGINE. A stand-in KELVORA.DLL for trying KelvoraSAPI5 out
// without the separately installed speech engine library: the same entry points, naive Dutch
// letter-to-phone rules into the engine's phone set, and a toy synthesizer (voiced vowels
// from formant-weighted harmonics, noise for fricatives, bursts for plosives). It honours
// the tempo, pitch and volume control sequences and the pause codes, and reports word
// positions and lengths. It is meant to sound like speech rhythm, not to be understood.
#include "ControlLanguage.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#ifdef _WIN32
#define DEMO_EXPORT extern "C" __declspec(dllexport)
#else
#define DEMO_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

constexpr double Pi = 3.14159265358979323846;

enum TSound { Silence, Vowel, Voiced, Fricative, VoicedFricative, Plosive };

struct TPhoneSound {
    const char* Symbol;
    TSound Sound;
    double Milliseconds;
    double F1, F2, F3; // formants of voiced sounds; the noise colour of fricatives
};

const TPhoneSound PhoneSounds[] = {
    {"A", Vowel, 85, 750, 1200, 2500},      {"a", Vowel, 150, 800, 1300, 2500},
    {"E", Vowel, 85, 550, 1800, 2500},      {"e", Vowel, 150, 420, 2100, 2700},
    {"I", Vowel, 75, 380, 2100, 2700},      {"i", Vowel, 120, 280, 2300, 3000},
    {"O", Vowel, 85, 500, 850, 2500},       {"o", Vowel, 150, 420, 750, 2400},
    {"Y", Vowel, 80, 420, 1600, 2300},      {"y", Vowel, 130, 280, 1700, 2200},
    {"u", Vowel, 130, 300, 700, 2300},      {"2", Vowel, 150, 400, 1500, 2300},
    {"@", Vowel, 55, 500, 1500, 2500},      {"Ei", Vowel, 170, 500, 1900, 2600},
    {"9y", Vowel, 170, 480, 1500, 2400},    {"Au", Vowel, 170, 600, 1000, 2400},
    {"m", Voiced, 70, 280, 1100, 2300},     {"n", Voiced, 65, 280, 1600, 2500},
    {"N", Voiced, 75, 280, 2000, 2600},     {"nj", Voiced, 75, 280, 2100, 2700},
    {"l", Voiced, 65, 360, 1200, 2600},     {"r", Voiced, 55, 450, 1300, 1700},
    {"w", Voiced, 55, 350, 800, 2200},      {"j", Voiced, 55, 300, 2100, 2800},
    {"f", Fricative, 95, 5000, 0, 0},       {"s", Fricative, 100, 7000, 0, 0},
    {"S", Fricative, 100, 3500, 0, 0},      {"x", Fricative, 100, 1800, 0, 0},
    {"h", Fricative, 60, 1500, 0, 0},       {"v", VoicedFricative, 80, 5000, 0, 0},
    {"z", VoicedFricative, 85, 7000, 0, 0}, {"G", VoicedFricative, 85, 1800, 0, 0},
    {"p", Plosive, 60, 1500, 0, 0},         {"t", Plosive, 60, 4000, 0, 0},
    {"k", Plosive, 65, 2500, 0, 0},         {"b", Plosive, 55, 800, 0, 0},
    {"d", Plosive, 55, 3000, 0, 0},         {"tj", Plosive, 70, 3500, 0, 0},
    {"dj", Plosive, 70, 3000, 0, 0},        {"_", Silence, 0, 0, 0, 0},
};

const TPhoneSound& SoundOf(const std::string& symbol) {
    for (const TPhoneSound& sound : PhoneSounds)
        if (symbol == sound.Symbol)
            return sound;
    return PhoneSounds[sizeof PhoneSounds / sizeof PhoneSounds[0] - 1];
}

// Letter groups before single letters; a group may give two phones.
struct TSpelling {
    const char* Letters;
    const char* First;
    const char* Second;
};

const TSpelling Spellings[] = {
    {"sch", "s", "x"},     {"ij", "Ei", nullptr}, {"ei", "Ei", nullptr}, {"ui", "9y", nullptr},
    {"au", "Au", nullptr}, {"ou", "Au", nullptr}, {"oe", "u", nullptr},  {"eu", "2", nullptr},
    {"ie", "i", nullptr},  {"aa", "a", nullptr},  {"ee", "e", nullptr},  {"oo", "o", nullptr},
    {"uu", "y", nullptr},  {"ch", "x", nullptr},  {"ng", "N", nullptr},  {"nk", "N", "k"},
    {"sj", "S", nullptr},  {"tj", "tj", nullptr}, {"nj", "nj", nullptr}, {"dj", "dj", nullptr},
    {"a", "A", nullptr},   {"e", "E", nullptr},   {"i", "I", nullptr},   {"o", "O", nullptr},
    {"u", "Y", nullptr},   {"y", "Ei", nullptr},  {"g", "x", nullptr},   {"c", "k", nullptr},
    {"q", "k", nullptr},   {"x", "k", "s"},
};

// What the voice can make: tempo and pitch from -10 to 10 (SAPI's own ranges; the pitch
// moves the voice by half an octave either way), volume from 0 to 100. Every value beyond is
// taken as the nearest of these, so that any text is spoken in time proportional to it.
constexpr long MinimumTempo = -10, MaximumTempo = 10;
constexpr long MinimumPitch = -10, MaximumPitch = 10;
constexpr long MaximumVolume = 100;

std::int32_t Clamped(long long value, long low, long high) {
    return static_cast<std::int32_t>(value < low ? low : value > high ? high : value);
}

struct TPhone {
    std::string Symbol;
    double Milliseconds; // before tempo; pauses are never scaled
    bool Pause;
    std::int32_t Tempo, Pitch;
    std::uint32_t Volume;
    std::uint32_t Position, WordLength;
};

struct TVoice {
    std::u16string Name;
};

struct TChannel {
    std::uint32_t SamplingRate = 0;
    std::int32_t Tempo = 0;
    std::uint32_t Volume = 100;
    std::vector<TPhone> Phones;
    std::size_t Next = 0;
    std::vector<std::int16_t> Audio;
    double Phase = 0;
    std::uint32_t Noise = 12345;
};

char Lower(char16_t c) {
    if (c >= u'A' && c <= u'Z')
        return static_cast<char>(c - u'A' + 'a');
    return c < 0x80 ? static_cast<char>(c) : '?';
}

// One word's phones by the spelling rules; a final "e" is a schwa.
void SpellWord(const std::u16string& word, std::vector<std::string>& phones) {
    std::string letters;
    for (char16_t c : word)
        letters.push_back(Lower(c));
    for (std::size_t i = 0; i < letters.size();) {
        const char c = letters[i];
        if (c < 'a' || c > 'z') {
            ++i;
            continue;
        }
        if (c == 'e' && i + 1 == letters.size() && i > 0) {
            phones.push_back("@");
            ++i;
            continue;
        }
        bool spelled = false;
        for (const TSpelling& spelling : Spellings) {
            const std::string group = spelling.Letters;
            if (letters.compare(i, group.size(), group) == 0) {
                phones.push_back(spelling.First);
                if (spelling.Second)
                    phones.push_back(spelling.Second);
                i += group.size();
                spelled = true;
                break;
            }
        }
        if (!spelled)
            phones.push_back(std::string(1, c));
        i += spelled ? 0 : 1;
    }
}

void ReadText(TChannel& channel, const std::u16string& text) {
    channel.Phones.clear();
    channel.Next = 0;
    std::int32_t tempo = 0, pitch = 0;
    std::uint32_t volume = 100;
    auto pause = [&](double milliseconds) {
        channel.Phones.push_back({"_", milliseconds, true, tempo, pitch, volume, 0, 0});
    };
    std::size_t i = 0;
    TControlSequence sequence;
    while (i < text.size()) {
        if (ReadControlSequence(text, i, sequence)) {
            const long amount = sequence.Number();
            if (sequence.Name == u"tempo")
                tempo = Clamped(amount, MinimumTempo, MaximumTempo);
            else if (sequence.Name == u"pitch")
                pitch = Clamped(amount, MinimumPitch, MaximumPitch);
            else if (sequence.Name == u"volume")
                volume = static_cast<std::uint32_t>(Clamped(amount, 0, MaximumVolume));
            else if (sequence.Name == u"insert")
                pause(PauseMilliseconds(sequence.Value));
            continue;
        }
        if (text[i] <= u' ') {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < text.size() && text[end] > u' ' && text[end] != u'\\')
            ++end;
        const std::u16string word = text.substr(i, end - i);
        std::vector<std::string> symbols;
        SpellWord(word, symbols);
        for (std::size_t k = 0; k < symbols.size(); ++k)
            channel.Phones.push_back({symbols[k], SoundOf(symbols[k]).Milliseconds, false, tempo,
                                      pitch, volume, k == 0 ? static_cast<std::uint32_t>(i) : 0,
                                      k == 0 ? static_cast<std::uint32_t>(end - i) : 0});
        const char16_t last = word.back();
        if (last == u',' || last == u';' || last == u':')
            pause(150);
        else if (last == u'.' || last == u'!' || last == u'?')
            pause(300);
        i = end;
    }
}

double Formant(double frequency, double centre, double bandwidth) {
    const double distance = (frequency - centre) / bandwidth;
    return 1.0 / (1.0 + distance * distance);
}

std::uint32_t NextNoise(std::uint32_t& state) {
    state = state * 1664525u + 1013904223u;
    return state;
}

void Synthesize(TChannel& channel, const TPhone& phone) {
    const std::int32_t tempo = std::max(-10, std::min(10, channel.Tempo + phone.Tempo));
    const double milliseconds =
        phone.Pause ? phone.Milliseconds : phone.Milliseconds * (1.0 - 0.05 * tempo);
    const auto count = static_cast<std::size_t>(milliseconds * channel.SamplingRate / 1000.0);
    channel.Audio.assign(count, 0);
    const TPhoneSound& sound = SoundOf(phone.Symbol);
    if (sound.Sound == Silence || count == 0 || channel.SamplingRate == 0)
        return;
    const double rate = channel.SamplingRate;
    const double loudness = 9000.0 * phone.Volume / 100.0 * channel.Volume / 100.0;
    const double f0 = 115.0 * std::pow(2.0, phone.Pitch / 20.0);
    const int harmonics = static_cast<int>(std::min(3500.0, rate / 2.2) / f0);
    std::vector<double> weights(static_cast<std::size_t>(std::max(harmonics, 0)) + 1, 0.0);
    for (int h = 1; h <= harmonics; ++h)
        weights[h] = (Formant(h * f0, sound.F1, 90) + 0.7 * Formant(h * f0, sound.F2, 120) +
                      0.4 * Formant(h * f0, sound.F3, 160)) /
                     h * 2.0;
    double lowPass = 0, previousNoise = 0;
    for (std::size_t n = 0; n < count; ++n) {
        const double t = static_cast<double>(n) / count;
        const double envelope = std::min({1.0, t * 12.0, (1.0 - t) * 12.0});
        double sample = 0;
        const bool voiced =
            sound.Sound == Vowel || sound.Sound == Voiced || sound.Sound == VoicedFricative;
        if (voiced) {
            channel.Phase += f0 / rate;
            channel.Phase -= std::floor(channel.Phase);
            double voice = 0;
            for (int h = 1; h <= harmonics; ++h)
                voice += weights[h] * std::sin(2 * Pi * h * channel.Phase);
            sample += voice * (sound.Sound == Vowel ? 1.0 : sound.Sound == Voiced ? 0.5 : 0.25);
        }
        if (sound.Sound == Fricative || sound.Sound == VoicedFricative || sound.Sound == Plosive) {
            const double white =
                static_cast<double>(NextNoise(channel.Noise) >> 8) / (1 << 24) * 2 - 1;
            // A colour between low-passed (dark) and differenced (bright) noise.
            const double brightness = std::min(1.0, sound.F1 / 7000.0);
            lowPass += (white - lowPass) * 0.3;
            const double noise = brightness * (white - previousNoise) + (1 - brightness) * lowPass;
            previousNoise = white;
            double gate = 0.6;
            if (sound.Sound == Plosive) // closure, then a short burst
                gate = t < 0.55 ? 0.0 : t < 0.75 ? 1.6 : 0.3;
            sample += noise * gate;
        }
        channel.Audio[n] = static_cast<std::int16_t>(
            std::max(-32767.0, std::min(32767.0, sample * envelope * loudness)));
    }
}

} // namespace

DEMO_EXPORT std::uint32_t kelvoraGetMajorVersion() {
    return 8;
}
DEMO_EXPORT std::uint32_t kelvoraGetMinorVersion() {
    return 0;
}
DEMO_EXPORT std::uint8_t kelvoraInitialize() {
    return 1;
}
DEMO_EXPORT std::uint8_t kelvoraClose() {
    return 1;
}

DEMO_EXPORT void* kelvoraCreateVoiceW(const char16_t* name) {
    return new TVoice{name ? name : u""};
}

DEMO_EXPORT void* kelvoraCreateChannel(void* voice, std::uint32_t samplingRate, std::uint32_t) {
    if (!voice)
        return nullptr;
    auto* channel = new TChannel;
    channel->SamplingRate = samplingRate;
    return channel;
}

DEMO_EXPORT void kelvoraSetTempo(void* channel, std::int32_t tempo) {
    static_cast<TChannel*>(channel)->Tempo = Clamped(tempo, MinimumTempo, MaximumTempo);
}

DEMO_EXPORT void kelvoraSetVolume(void* channel, std::uint32_t volume) {
    static_cast<TChannel*>(channel)->Volume =
        static_cast<std::uint32_t>(Clamped(volume, 0, MaximumVolume));
}

DEMO_EXPORT void kelvoraSetInputTextW(void* channel, const char16_t* text) {
    ReadText(*static_cast<TChannel*>(channel), text ? text : u"");
}

DEMO_EXPORT std::uint8_t kelvoraGetPhone(void* handle, const char** symbol, std::uint32_t* samples,
                                         const std::int16_t** buffer, std::uint32_t* position,
                                         std::uint32_t* wordLength) {
    TChannel& channel = *static_cast<TChannel*>(handle);
    if (channel.Next >= channel.Phones.size())
        return 0;
    const TPhone& phone = channel.Phones[channel.Next++];
    Synthesize(channel, phone);
    *symbol = phone.Symbol.c_str();
    *samples = static_cast<std::uint32_t>(channel.Audio.size());
    *buffer = channel.Audio.data();
    *position = phone.Position;
    *wordLength = phone.WordLength;
    return 1;
}

DEMO_EXPORT void kelvoraDeleteChannel(void* channel) {
    delete static_cast<TChannel*>(channel);
}
DEMO_EXPORT void kelvoraDeleteVoice(void* voice) {
    delete static_cast<TVoice*>(voice);
}
