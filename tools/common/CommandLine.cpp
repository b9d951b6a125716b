#include "CommandLine.h"

#include "TextCodec.h"

#include <iostream>
#include <iterator>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
// After windows.h, whose types it needs.
#include <shellapi.h>
#endif

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
#ifdef _WIN32
    int count = 0;
    if (wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        std::vector<std::string> arguments;
        for (int i = 0; i < count; ++i)
            arguments.push_back(
                Utf8FromUtf16(std::u16string(reinterpret_cast<const char16_t*>(wide[i]))));
        LocalFree(wide);
        return arguments;
    }
#endif
    return std::vector<std::string>(argv, argv + argc);
}

void UseUtf8Console() {
#ifdef _WIN32
    SetConsoleOutputCP(CP_UTF8);
#endif
}

std::filesystem::path PathFromUtf8(const std::string& path) {
#ifdef _WIN32
    const std::u16string wide = Utf16FromUtf8(path);
    return std::filesystem::path(std::wstring(wide.begin(), wide.end()));
#else
    return std::filesystem::path(path);
#endif
}

std::string ReadStandardInput() {
#ifdef _WIN32
    _setmode(_fileno(stdin), _O_BINARY);
#endif
    return std::string(std::istreambuf_iterator<char>(std::cin), {});
}

std::u16string TextOfFile(const std::string& bytes) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    if (bytes.size() >= 2 &&
        ((byte(0) == 0xFF && byte(1) == 0xFE) || (byte(0) == 0xFE && byte(1) == 0xFF))) {
        const bool littleEndian = byte(0) == 0xFF;
        std::u16string text;
        for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
            text.push_back(littleEndian ? static_cast<char16_t>(byte(i) | byte(i + 1) << 8)
                                        : static_cast<char16_t>(byte(i) << 8 | byte(i + 1)));
        return text;
    }
    const bool utf8Mark =
        bytes.size() >= 3 && byte(0) == 0xEF && byte(1) == 0xBB && byte(2) == 0xBF;
    return Utf16FromUtf8(std::string_view(bytes).substr(utf8Mark ? 3 : 0));
}
