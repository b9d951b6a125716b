// kelvora-voice: adds, removes and lists the SAPI voice tokens that lead applications to
// this engine. The DLL writes none itself.
#include "CommandLine.h"
#include "KElvoraAPI.h"
#include "Platform.h"
#include "TextCodec.h"
#include "VoiceTokens.h"
#include "WholeNumber.h"

#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

namespace {

enum TExit : int { ExitOk = 0, ExitUsage = 64, ExitNoVoice = 67, ExitCannotWrite = 73 };

const char Usage[] =
    "usage: kelvora-voice add NAME [--rate HZ] [--gender G] [--age A] [--vendor V]\n"
    "       kelvora-voice remove NAME\n"
    "       kelvora-voice remove --all\n"
    "       kelvora-voice list\n"
    "       kelvora-voice set-library DIR\n"
    "Writes and removes the voice tokens of KelvoraSAPI5 under\n"
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Speech\\Voices\\Tokens (administrator rights).\n"
    "NAME is the voice name handed to the speech engine library; the token is Kelvora_NAME,\n"
    "with every character but ASCII letters and digits written as _ and its hex code.\n"
    "Defaults: --rate 22050 --gender Female --age Adult --vendor Kelvora.\n"
    "set-library writes the install directory of the speech engine library, the directory\n"
    "that holds x64\\KELVORA.DLL, as HKEY_LOCAL_MACHINE\\Software\\Kelvora\\TTS\\Path.\n"
    "remove --all removes every voice token of this engine (the uninstaller runs it); tokens\n"
    "of other engines stay.\n";

[[noreturn]] void Fail(int code, const std::string& message) {
    std::cerr << "kelvora-voice: " << message << "\n";
    std::exit(code);
}

// Why a token of this engine could not be removed.
std::string WhyKept(TRemoval removal, const std::u16string& key, const std::u16string& obstacle) {
    if (removal == TRemoval::ForeignSubkey)
        return "the token has the subkey " + Utf8FromUtf16(obstacle) +
               ", which is not this engine's";
    return "access to " + Utf8FromUtf16(key) + " was denied (administrator rights are needed)";
}

} // namespace

int main(int argc, char** argv) {
    UseUtf8Console();
    const std::vector<std::string> arguments = Utf8Arguments(argc, argv);
    const std::size_t count = arguments.size();
    const std::string command = count > 1 ? arguments[1] : "";
    if (command == "-h" || command == "--help") {
        std::cout << Usage;
        return ExitOk;
    }
    if (command == "list" && count == 2) {
        for (const TVoiceToken& token : ListVoiceTokens())
            std::cout << Utf8FromUtf16(token.Key) << "\t" << Utf8FromUtf16(token.VoiceName) << "\t"
                      << Utf8FromUtf16(token.SamplingRate) << " Hz\t" << Utf8FromUtf16(token.Gender)
                      << "\t" << Utf8FromUtf16(token.Age) << "\t" << Utf8FromUtf16(token.Vendor)
                      << "\n";
        return ExitOk;
    }
    if (command == "set-library" && count == 3) {
        if (!Platform::WriteRegistryString(Platform::TRegistryRoot::LocalMachine, EngineRegistryKey,
                                           EngineRegistryValue, Utf16FromUtf8(arguments[2])))
            Fail(ExitCannotWrite, "cannot write the Path value (administrator rights are needed)");
        std::cout << "the speech engine library is now looked for in " << arguments[2] << "\\x64\n";
        return ExitOk;
    }
    if (command == "remove" && count == 3 && arguments[2] == "--all") {
        int status = ExitOk;
        for (const TVoiceToken& token : ListVoiceTokens()) {
            std::u16string obstacle;
            const TRemoval removal = RemoveVoiceToken(token.Key, obstacle);
            if (removal == TRemoval::Removed) {
                std::cout << "removed " << Utf8FromUtf16(token.Key) << "\n";
            } else if (removal != TRemoval::NotFound) {
                std::cerr << "kelvora-voice: " << Utf8FromUtf16(token.Key)
                          << " kept: " << WhyKept(removal, token.Key, obstacle) << "\n";
                status = ExitCannotWrite;
            }
        }
        return status;
    }
    if (command == "remove" && count == 3) {
        const std::u16string name = Utf16FromUtf8(arguments[2]);
        std::optional<TVoiceToken> token = FindVoiceToken(name);
        if (!token)
            token = FindVoiceToken(TokenKeyFor(name));
        std::u16string obstacle;
        const TRemoval removal =
            token ? RemoveVoiceToken(token->Key, obstacle) : TRemoval::NotFound;
        if (removal == TRemoval::NotFound)
            Fail(ExitNoVoice, "no voice token \"" + arguments[2] + "\" of this engine");
        if (removal != TRemoval::Removed)
            Fail(ExitCannotWrite, "nothing removed: " + WhyKept(removal, token->Key, obstacle));
        std::cout << "removed " << Utf8FromUtf16(token->Key) << "\n";
        return ExitOk;
    }
    if (command == "add" && count >= 3 && arguments[2][0] != '-') {
        TVoiceToken token;
        token.VoiceName = Utf16FromUtf8(arguments[2]);
        // A voice of this name keeps its token; a new one gets a key of its own.
        if (std::optional<TVoiceToken> existing = FindVoiceToken(token.VoiceName);
            existing && existing->VoiceName == token.VoiceName)
            token.Key = existing->Key;
        else if (VoiceTokenKeyExists(token.Key = TokenKeyFor(token.VoiceName)))
            Fail(ExitCannotWrite, "the token key " + Utf8FromUtf16(token.Key) +
                                      " is taken by another voice; nothing was written");
        token.SamplingRate = u"22050";
        for (std::size_t i = 3; i < count; i += 2) {
            const std::string option = arguments[i];
            if (i + 1 >= count)
                Fail(ExitUsage, option + " needs a value\n" + Usage);
            const std::u16string value = Utf16FromUtf8(arguments[i + 1]);
            if (option == "--rate") {
                if (!WholeNumberIn(value, 4000, 96000))
                    Fail(ExitUsage, "--rate must be a whole number of Hz from 4000 to 96000");
                token.SamplingRate = value;
            } else if (option == "--gender") {
                token.Gender = value;
            } else if (option == "--age") {
                token.Age = value;
            } else if (option == "--vendor") {
                token.Vendor = value;
            } else {
                Fail(ExitUsage, "unknown option " + option + "\n" + Usage);
            }
        }
        if (!AddVoiceToken(token))
            Fail(ExitCannotWrite, "cannot write the voice token (administrator rights are needed)");
        std::cout << "added " << Utf8FromUtf16(token.Key) << " (" << arguments[2] << ", "
                  << Utf8FromUtf16(token.SamplingRate) << " Hz)\n";
        return ExitOk;
    }
    Fail(ExitUsage, Usage);
}
