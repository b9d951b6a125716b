// The platform seam on Linux: dlopen for libraries, message boxes on standard error, malloc
// as the task allocator, paths and the command line (the registry is PortableRegistry.cpp).
// Written from what the system expects of each service, so that the same code and tests run
// natively.
#include "Platform.h"
#include "PlatformInternal.h"
#include "PortableTesting.h"
#include "TextCodec.h"

#include <dlfcn.h>
#include <limits.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace Platform {

namespace {

std::mutex LibraryLock;
std::u16string SearchDirectory;

std::atomic<int> FailingTaskMemAllocs{0};
std::atomic<bool (*)()> TaskMemAllocFailure{nullptr};

} // namespace

void SetLibrarySearchDirectory(std::u16string_view directory) {
    std::lock_guard<std::mutex> guard(LibraryLock);
    SearchDirectory = directory;
}

std::u16string LibrarySearchDirectory() {
    std::lock_guard<std::mutex> guard(LibraryLock);
    return SearchDirectory;
}

TModule LoadLibraryModule(std::u16string_view path) {
    std::string file = Utf8FromUtf16(path);
    for (char& c : file)
        if (c == '\\')
            c = '/';
    return dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* FindEntryPoint(TModule module, const char* name) {
    return module ? dlsym(module, name) : nullptr;
}

void FreeLibraryModule(TModule module) {
    if (module)
        dlclose(module);
}

void PinModuleContaining(const void* codeAddress) {
    Dl_info info{};
    if (dladdr(codeAddress, &info) && info.dli_fname)
        dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
}

namespace {

// Writes UTF-16 text to standard error as UTF-8, allocating nothing.
void WriteToStandardError(const char16_t* text) {
    const std::u16string_view view(text);
    char bytes[4];
    for (std::size_t i = 0; i < view.size();)
        std::fwrite(bytes, 1, Utf8OfCodePoint(view, i, bytes), stderr);
}

} // namespace

int ShowMessageBox(const char16_t* text, const char16_t* caption, unsigned style) {
    if (PassToMessageBoxHandler(text, caption, style))
        return 1;
    WriteToStandardError(caption);
    std::fputs(": ", stderr);
    WriteToStandardError(text);
    std::fputc('\n', stderr);
    return 1;
}

// The portable code page is Latin-1: every byte is the code point of the same number.
std::size_t AnsiToUtf16(const char* text, std::size_t length, char16_t* out, std::size_t capacity) {
    if (length > capacity)
        return 0;
    for (std::size_t i = 0; i < length; ++i)
        out[i] = static_cast<unsigned char>(text[i]);
    return length;
}

// Paths of the portable platform use "\\" as the separator, as the system expects.
std::u16string ModulePath(const void* codeAddress) {
    Dl_info info{};
    if (!dladdr(codeAddress, &info) || !info.dli_fname)
        return {};
    char resolved[PATH_MAX];
    const char* file = realpath(info.dli_fname, resolved) ? resolved : info.dli_fname;
    std::u16string path;
    for (const char* c = file; *c; ++c)
        path.push_back(*c == '/' ? u'\\' : static_cast<char16_t>(static_cast<unsigned char>(*c)));
    return path;
}

// A deterministic short form: every path component with a blank becomes its first six
// other characters in upper case and "~1", with a file's extension kept.
std::u16string ShortPath(std::u16string_view path) {
    std::u16string shortPath;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find(u'\\', start);
        if (end == std::u16string_view::npos)
            end = path.size();
        std::u16string_view component = path.substr(start, end - start);
        if (component.find(u' ') == std::u16string_view::npos) {
            shortPath.append(component);
        } else {
            std::size_t dot =
                end == path.size() ? component.rfind(u'.') : std::u16string_view::npos;
            std::u16string_view stem = component.substr(0, dot);
            std::u16string compact;
            for (char16_t c : stem)
                if (c != u' ' && compact.size() < 6)
                    compact.push_back(c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c);
            shortPath += compact + u"~1";
            if (dot != std::u16string_view::npos)
                shortPath.append(component.substr(dot));
        }
        if (end == path.size())
            break;
        shortPath.push_back(u'\\');
        start = end + 1;
    }
    return shortPath;
}

std::vector<std::u16string> CommandLineArguments() {
    std::vector<std::u16string> arguments;
    FILE* file = std::fopen("/proc/self/cmdline", "rb");
    if (!file)
        return arguments;
    std::u16string argument;
    bool first = true;
    for (int c; (c = std::fgetc(file)) != EOF;) {
        if (c != 0) {
            argument.push_back(static_cast<char16_t>(c));
            continue;
        }
        if (!first)
            arguments.push_back(argument);
        first = false;
        argument.clear();
    }
    std::fclose(file);
    return arguments;
}

std::u16string ClsidText(const GUID& clsid) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  clsid.Data1, clsid.Data2, clsid.Data3, clsid.Data4[0], clsid.Data4[1],
                  clsid.Data4[2], clsid.Data4[3], clsid.Data4[4], clsid.Data4[5], clsid.Data4[6],
                  clsid.Data4[7]);
    return std::u16string(text, text + std::strlen(text));
}

// Without a COM runtime there is no external lock to take.
HRESULT LockObjectExternal(IUnknown*, bool, bool) {
    return S_OK;
}

void* TaskMemAlloc(std::size_t byteCount) {
    if (auto fails = TaskMemAllocFailure.load(); fails && fails())
        return nullptr;
    for (int failing = FailingTaskMemAllocs.load(); failing > 0;)
        if (FailingTaskMemAllocs.compare_exchange_weak(failing, failing - 1))
            return nullptr;
    return std::malloc(byteCount ? byteCount : 1);
}

void TaskMemFree(void* block) {
    std::free(block);
}

} // namespace Platform

namespace PortableTesting {

void FailTaskMemAllocs(int count) {
    Platform::FailingTaskMemAllocs = count;
}

void SetTaskMemAllocFailure(bool (*fails)()) {
    Platform::TaskMemAllocFailure = fails;
}

} // namespace PortableTesting
