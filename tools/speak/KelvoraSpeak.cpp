// kelvora-speak: speaks a text through the engine the way SAPI does, and shows what came out.
// It loads the server module, makes an engine through DllGetClassObject and CreateInstance,
// binds a voice token, agrees the format, calls Speak with its own site, writes the audio as
// a WAV file and prints the event timeline. With --sapi (Windows) the system's SAPI runtime
// drives the engine instead, as it does for every application.
#include "CommandLine.h"
#include "Engine.h"
#include "KElvoraAPI.h"
#include "Platform.h"
#include "SapiSpeaker.h"
#include "SpeakSite.h"
#include "SpeechInput.h"
#include "TextCodec.h"
#include "Timeline.h"
#include "ValueToken.h"
#include "VoiceTokens.h"
#include "WavFile.h"
#include "WholeNumber.h"

#include <atomic>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace {

// Exit codes, after the BSD sysexits convention.
enum TExit : int {
    ExitOk = 0,
    ExitUsage = 64,
    ExitBadInput = 65,
    ExitNoInput = 66,
    ExitNoVoice = 67,
    ExitNoEngineLibrary = 69,
    ExitSpeakFailed = 70,
    ExitNoServer = 71,
    ExitCannotWrite = 73,
    ExitInterrupted = 130, // 128 + SIGINT
};

const char Usage[] =
    "usage: kelvora-speak [options] [TEXT]\n"
    "Speaks TEXT (or the file of --file, or standard input) through KelvoraSAPI5 as SAPI\n"
    "would, writes the audio as a WAV file and prints the event timeline.\n"
    "\n"
    "  --file FILE        read the text from FILE (UTF-8); '-' is standard input\n"
    "  --xml              the text is SAPI XML: <bookmark mark=\"\"/>, <silence msec=\"\"/>,\n"
    "                     <rate absspeed=\"\">, <volume level=\"\">, <pitch absmiddle=\"\">,\n"
    "                     <spell>\n"
    "  --voice NAME       the voice token NAME under\n"
    "                     HKLM\\SOFTWARE\\Microsoft\\Speech\\Voices\\Tokens (key or Name)\n"
    "  --voice-name NAME  without --voice: the voice name handed to the library (Demo)\n"
    "  --rate HZ          without --voice: the token's sampling rate (22050)\n"
    "  --format-rate HZ   ask the engine for this output rate, as SAPI may\n"
    "  --out FILE         the WAV file to write (kelvora-speak.wav)\n"
    "  --json             print the timeline as JSON lines\n"
    "  --svg FILE         draw the waveform and the events into FILE (control characters\n"
    "                     and lone surrogates of the text appear there as U+FFFD; the JSON\n"
    "                     escapes control characters)\n"
    "  --server FILE      the server module (KelvoraSAPI5 beside this program)\n"
    "  --sapi             speak through the system's SAPI runtime (Windows), as applications\n"
    "                     do: --voice from SAPI's voice category (else SAPI's default voice),\n"
    "                     the WAV at --format-rate or the voice's rate; Ctrl-C ends the tool\n"
    "  -h, --help         this text\n"
    "\n"
    "Exit codes: 0 spoken, 64 bad usage, 65 bad markup, 66 no input, 67 no such voice,\n"
    "69 no speech engine library, 70 Speak failed, 71 no server module, 73 cannot write,\n"
    "130 interrupted by Ctrl-C (the audio that came is written).\n";

std::atomic<bool> Interrupted{false};

extern "C" void OnInterrupt(int) {
    Interrupted = true;
}

struct TOptions {
    std::optional<std::string> Text;
    std::optional<std::string> File;
    bool Xml = false;
    std::optional<std::string> Voice;
    std::string VoiceName = "Demo";
    std::string Rate = "22050";
    unsigned FormatRate = 0;
    std::string Out = "kelvora-speak.wav";
    bool Json = false;
    std::optional<std::string> Svg;
    std::optional<std::string> Server;
    bool Sapi = false;
};

[[noreturn]] void Fail(int code, const std::string& message) {
    std::cerr << "kelvora-speak: " << message << "\n";
    std::exit(code);
}

TOptions ParseOptions(const std::vector<std::string>& arguments) {
    TOptions options;
    auto value = [&](std::size_t& i) -> std::string {
        if (i + 1 >= arguments.size())
            Fail(ExitUsage, arguments[i] + " needs a value\n" + Usage);
        return arguments[++i];
    };
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "-h" || argument == "--help") {
            std::cout << Usage;
            std::exit(ExitOk);
        } else if (argument == "--file") {
            options.File = value(i);
        } else if (argument == "--xml") {
            options.Xml = true;
        } else if (argument == "--voice") {
            options.Voice = value(i);
        } else if (argument == "--voice-name") {
            options.VoiceName = value(i);
        } else if (argument == "--rate") {
            options.Rate = value(i);
            if (!WholeNumberIn(Utf16FromUtf8(options.Rate), 1, UINT32_MAX))
                Fail(ExitUsage, "--rate must be a whole number of Hz from 1 to 4294967295");
        } else if (argument == "--format-rate") {
            const std::optional<std::int64_t> hertz =
                WholeNumberIn(Utf16FromUtf8(value(i)), 1, UINT32_MAX);
            if (!hertz)
                Fail(ExitUsage, "--format-rate must be a whole number of Hz from 1 to 4294967295");
            options.FormatRate = static_cast<std::uint32_t>(*hertz);
        } else if (argument == "--out") {
            options.Out = value(i);
        } else if (argument == "--json") {
            options.Json = true;
        } else if (argument == "--svg") {
            options.Svg = value(i);
        } else if (argument == "--server") {
            options.Server = value(i);
        } else if (argument == "--sapi") {
            options.Sapi = true;
        } else if (argument.size() > 1 && argument[0] == '-') {
            Fail(ExitUsage, "unknown option " + argument + "\n" + Usage);
        } else if (!options.Text) {
            options.Text = argument;
        } else {
            Fail(ExitUsage, "give the text as one argument (quote it)\n" + std::string(Usage));
        }
    }
    if (options.Text && options.File)
        Fail(ExitUsage, "give either TEXT or --file, not both");
    if (options.Sapi && (options.Server || options.VoiceName != "Demo" || options.Rate != "22050"))
        Fail(ExitUsage, "--server, --voice-name and --rate have no meaning with --sapi: SAPI "
                        "finds the engine and the voice in the registry");
    return options;
}

std::u16string ReadInput(const TOptions& options) {
    if (options.Text)
        return Utf16FromUtf8(*options.Text);
    if (!options.File || *options.File == "-")
        return TextOfFile(ReadStandardInput());
    const std::filesystem::path path = PathFromUtf8(*options.File);
    std::error_code error;
    if (std::filesystem::is_directory(path, error))
        Fail(ExitNoInput, "cannot read " + *options.File + ": it is a folder");
    std::ifstream file(path, std::ios::binary);
    std::string bytes;
    if (file)
        bytes.assign(std::istreambuf_iterator<char>(file), {});
    if (!file && !file.eof())
        Fail(ExitNoInput, "cannot read " + *options.File);
    return TextOfFile(bytes);
}

std::u16string DefaultServerPath() {
    static const char marker = 0;
    std::u16string path = Platform::ModulePath(&marker);
    path = path.substr(0, path.rfind(u'\\') + 1);
#ifdef _WIN32
    return path + u"KelvoraSAPI5.dll";
#else
    return path + u"KelvoraSAPI5.so";
#endif
}

std::string HresultInWords(HRESULT result) {
    const struct {
        HRESULT Result;
        const char* Words;
    } known[] = {
        {E_FAIL, "unspecified failure (E_FAIL)"},
        {E_OUTOFMEMORY, "out of memory (E_OUTOFMEMORY)"},
        {E_INVALIDARG, "an argument is not valid (E_INVALIDARG)"},
        {E_POINTER, "a pointer is null (E_POINTER)"},
        {E_UNEXPECTED, "unexpected failure (E_UNEXPECTED)"},
        {E_NOINTERFACE, "no such interface (E_NOINTERFACE)"},
        {E_NOTIMPL, "not implemented (E_NOTIMPL)"},
        {CLASS_E_CLASSNOTAVAILABLE, "the class is not served here (CLASS_E_CLASSNOTAVAILABLE)"},
        {SPERR_UNINITIALIZED,
         "the speech engine library could not be started (SPERR_UNINITIALIZED)"},
    };
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(result));
    for (const auto& entry : known)
        if (entry.Result == result)
            return std::string(entry.Words) + ", " + hex;
    return std::string("error ") + hex;
}

// Why the engine could not start its library: what the registry says and which file that is.
std::string EngineLibraryProblem() {
    std::u16string path;
    const Platform::TReadResult read = Platform::ReadRegistryString(
        Platform::TRegistryRoot::LocalMachine, EngineRegistryKey, EngineRegistryValue, path);
    const std::string value = "HKEY_LOCAL_MACHINE\\" + Utf8FromUtf16(EngineRegistryKey) + "\\" +
                              Utf8FromUtf16(EngineRegistryValue);
    if (read == Platform::TReadResult::WrongType)
        return "the speech engine library was not found: " + value + " is not a string value";
    if (read == Platform::TReadResult::Missing || path.empty())
        return "the speech engine library was not found: " + value +
               " is not set; it names the install directory that holds x64\\KELVORA.DLL";
    return "the speech engine library could not be started: " + value + " is \"" +
           Utf8FromUtf16(path) + "\", and " +
           Utf8FromUtf16(path + EngineLibraryFolder + EngineLibraryFile) +
           " did not load or did not initialise";
}

// The drawing and the timeline of one Speak, and a line of what went into the WAV file.
void WriteResults(const TOptions& options, std::uint64_t sampleCount,
                  const std::vector<std::int16_t>& audio, const std::vector<TSpokenEvent>& events,
                  const std::u16string& source, std::uint32_t samplingRate, bool interrupted) {
    if (options.Svg) {
        std::ofstream svg(PathFromUtf8(*options.Svg), std::ios::binary);
        svg << TimelineSvg(audio, events, source, samplingRate);
        if (!svg)
            Fail(ExitCannotWrite, "cannot write " + *options.Svg);
    }
    std::cout << (options.Json ? TimelineJson(events, source, samplingRate)
                               : TimelineText(events, source, samplingRate));
    std::cerr << "kelvora-speak: " << sampleCount * 1000 / (samplingRate ? samplingRate : 1)
              << " ms of audio at " << samplingRate << " Hz written to " << options.Out
              << (interrupted ? " (interrupted)" : "") << "\n";
}

#ifdef _WIN32
// The text spoken by the system's SAPI runtime: ISpVoice, the voice from SAPI's voice
// category, the audio from an output stream of ours. SAPI reports positions in the text as
// given, markup included.
int SpeakWithSapi(const TOptions& options, const std::u16string& text) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    TSapiSpeech speech;
    try {
        std::optional<std::u16string> voice;
        if (options.Voice)
            voice = Utf16FromUtf8(*options.Voice);
        speech = SpeakThroughSapi(text, options.Xml, voice, options.FormatRate);
    } catch (const TSapiFailure& failure) {
        if (failure.VoiceMissing)
            Fail(ExitNoVoice, "no voice \"" + options.Voice.value_or("") +
                                  "\" in SAPI's voice category (kelvora-voice list shows the "
                                  "voices of this engine)");
        Fail(ExitSpeakFailed, std::string(failure.what()) + ": " +
                                  HresultInWords(static_cast<HRESULT>(failure.Result)));
    }
    std::vector<TSpokenEvent> events;
    for (const TSapiEvent& e : speech.Events)
        events.push_back({e.Id, e.AudioOffset, static_cast<WPARAM>(e.WParam),
                          static_cast<LPARAM>(e.LParam), e.Name});
    if (!speech.NoEventsReason.empty())
        std::cerr << "kelvora-speak: the SAPI runtime delivered no events ("
                  << speech.NoEventsReason
                  << "); the timeline is empty and the drawing shows the waveform alone\n";
    if (!WriteWavFile(options.Out, speech.Audio, speech.SamplingRate))
        Fail(ExitCannotWrite, "cannot write " + options.Out);
    WriteResults(options, speech.Audio.size(), speech.Audio, events, text, speech.SamplingRate,
                 false);
    CoUninitialize();
    return ExitOk;
}
#endif

} // namespace

int main(int argc, char** argv) {
    UseUtf8Console();
    const TOptions options = ParseOptions(Utf8Arguments(argc, argv));
    const std::u16string text = ReadInput(options);
    if (options.Sapi) {
#ifdef _WIN32
        return SpeakWithSapi(options, text);
#else
        Fail(ExitUsage, "--sapi speaks through Windows' SAPI runtime, which this build has not");
#endif
    }

    std::optional<TSpeechInput> input;
    try {
        input = options.Xml ? TSpeechInput::FromMarkup(text) : TSpeechInput::FromText(text);
    } catch (const TMarkupError& error) {
        Fail(ExitBadInput,
             "bad markup at " + TSpeechInput::Where(text, error.Position) + ": " + error.what());
    }
    for (const std::string& warning : input->Warnings())
        std::cerr << "kelvora-speak: warning: " << warning << "\n";

    TValueToken::TValues values;
    if (options.Voice) {
        std::optional<TVoiceToken> token = FindVoiceToken(Utf16FromUtf8(*options.Voice));
        if (!token)
            Fail(ExitNoVoice, "no voice token \"" + *options.Voice +
                                  "\" under HKEY_LOCAL_MACHINE\\" + Utf8FromUtf16(VoiceTokensKey) +
                                  " (kelvora-voice list shows the installed ones)");
        values = {{u"", token->VoiceName}, {u"SamplingRate", token->SamplingRate}};
    } else {
        values = {{u"", Utf16FromUtf8(options.VoiceName)},
                  {u"SamplingRate", Utf16FromUtf8(options.Rate)}};
    }
    TValueToken token(values, {});

    const std::u16string serverPath =
        options.Server ? Utf16FromUtf8(*options.Server) : DefaultServerPath();
    Platform::TModule server = Platform::LoadLibraryModule(serverPath);
    auto getClassObject = reinterpret_cast<HRESULT (*)(REFCLSID, REFIID, void**)>(
        Platform::FindEntryPoint(server, "DllGetClassObject"));
    if (!getClassObject)
        Fail(ExitNoServer, "cannot load the server module " + Utf8FromUtf16(serverPath));

    TComPtr<IClassFactory> factory;
    HRESULT result =
        getClassObject(CLSID_KelvoraSAPI5Engine, IID_IClassFactory, factory.ReceiveUntyped());
    TComPtr<ISpTTSEngine> engine;
    if (SUCCEEDED(result))
        result = factory->CreateInstance(nullptr, IID_ISpTTSEngine, engine.ReceiveUntyped());
    factory = {};
    if (FAILED(result))
        Fail(ExitSpeakFailed, "the engine could not be made: " + HresultInWords(result));

    TComPtr<ISpObjectWithToken> withToken =
        Query<ISpObjectWithToken>(engine.Get(), IID_ISpObjectWithToken);
    result = withToken ? withToken->SetObjectToken(&token) : E_NOINTERFACE;
    withToken = {};
    if (FAILED(result))
        Fail(ExitNoVoice, "the voice token was refused: " + HresultInWords(result) +
                              " (its SamplingRate must be a positive whole number)");

    WAVEFORMATEX requested{};
    requested.nSamplesPerSec = options.FormatRate;
    GUID formatId{};
    WAVEFORMATEX* format = nullptr;
    result = engine->GetOutputFormat(options.FormatRate ? &SPDFID_WaveFormatEx : nullptr,
                                     options.FormatRate ? &requested : nullptr, &formatId, &format);
    if (FAILED(result))
        Fail(ExitSpeakFailed, "no output format: " + HresultInWords(result));
    const std::uint32_t samplingRate = format->nSamplesPerSec;
    Platform::TaskMemFree(format);

    std::signal(SIGINT, OnInterrupt);
    std::ofstream wavFile(PathFromUtf8(options.Out), std::ios::binary);
    if (!wavFile)
        Fail(ExitCannotWrite, "cannot write " + options.Out);
    TWavWriter wav(wavFile, samplingRate);
    TSpeakSite site(Interrupted, wav, options.Svg.has_value());
    result = engine->Speak(0, SPDFID_WaveFormatEx, nullptr, input->First(), &site);
    engine = {};
    if (FAILED(result)) {
        // Nothing was spoken: no file is left of it.
        wavFile.close();
        std::error_code ignored;
        std::filesystem::remove(PathFromUtf8(options.Out), ignored);
        if (result == SPERR_UNINITIALIZED)
            Fail(ExitNoEngineLibrary, EngineLibraryProblem());
        Fail(ExitSpeakFailed, "Speak failed: " + HresultInWords(result));
    }

    if (!wav.Finish())
        Fail(ExitCannotWrite, "cannot write " + options.Out);
    WriteResults(options, wav.DataBytes() / 2, site.Audio, site.Events, input->Source(),
                 samplingRate, Interrupted.load());
    if (site.LimitReached)
        Fail(ExitCannotWrite, "the audio reached the 4 GiB a WAV file can hold; " + options.Out +
                                  " holds what came up to there");
    // Ctrl-C: what came is written, and the shell learns of the interrupt as it expects.
    return Interrupted ? ExitInterrupted : ExitOk;
}
