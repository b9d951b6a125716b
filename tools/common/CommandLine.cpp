#include "CommandLine.h"

#include "TextCodec.h"

#ifdef _WIN32
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
