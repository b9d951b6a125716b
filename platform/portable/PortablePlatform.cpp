// The platform seam on Linux: an in-memory registry, dlopen for libraries, message boxes
// on standard error, malloc as the task allocator. Written from what the system expects of
// each service, so that the same code and tests run natively.
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
#include <map>
#include <mutex>

namespace Platform {

namespace {

// Registry names compare without regard to (ASCII) case.
std::u16string Folded(std::u16string_view name) {
    std::u16string folded(name);
    for (char16_t& c : folded)
        if (c >= u'A' && c <= u'Z')
            c = static_cast<char16_t>(c - u'A' + u'a');
    return folded;
}

struct TValue {
    std::u16string Name;
    TRegistryType Type;
    std::vector<std::uint8_t> Data;
};

struct TKey {
    std::u16string Name;
    std::map<std::u16string, TValue> Values; // by folded name
};

// The registry tree: every key by root and folded full path; parents exist for every key.
struct TRegistry {
    std::mutex Lock;
    std::map<std::pair<TRegistryRoot, std::u16string>, TKey> Keys;
    std::map<TRegistryRoot, int> AllowedWrites; // writes left before the root refuses
};

// With KELVORA_REGISTRY naming a file, the registry outlives the process in that file, so
// that the tools of the host build see one another's values as on Windows.
const char* RegistryFile() {
    return std::getenv("KELVORA_REGISTRY");
}

std::string Hex(const std::vector<std::uint8_t>& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (std::uint8_t b : bytes) {
        hex.push_back(digits[b >> 4]);
        hex.push_back(digits[b & 15]);
    }
    return hex;
}

std::vector<std::uint8_t> Bytes(const std::string& hex) {
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

std::vector<std::uint8_t> Utf16Bytes(std::u16string_view text) {
    std::vector<std::uint8_t> bytes;
    for (char16_t c : text) {
        bytes.push_back(static_cast<std::uint8_t>(c));
        bytes.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return bytes;
}

std::u16string Utf16Text(const std::vector<std::uint8_t>& bytes) {
    std::u16string text;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        text.push_back(static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8));
    return text;
}

// One line per key and per value: root, key, value name (hex UTF-16), type, data (hex).
void SaveRegistry(const TRegistry& registry) {
    const char* path = RegistryFile();
    if (!path)
        return;
    FILE* file = std::fopen(path, "w");
    if (!file)
        return;
    for (const auto& [place, key] : registry.Keys) {
        std::fprintf(file, "%d %s -\n", static_cast<int>(place.first),
                     Hex(Utf16Bytes(key.Name)).c_str());
        for (const auto& [folded, value] : key.Values)
            std::fprintf(file, "%d %s %s %u %s\n", static_cast<int>(place.first),
                         Hex(Utf16Bytes(key.Name)).c_str(),
                         value.Name.empty() ? "=" : Hex(Utf16Bytes(value.Name)).c_str(),
                         static_cast<unsigned>(value.Type), Hex(value.Data).c_str());
    }
    std::fclose(file);
}

void LoadRegistry(TRegistry& registry) {
    const char* path = RegistryFile();
    FILE* file = path ? std::fopen(path, "r") : nullptr;
    if (!file)
        return;
    char line[65536];
    while (std::fgets(line, sizeof line, file)) {
        char key[32768], name[16384], data[16384];
        int root = 0;
        unsigned type = 0;
        data[0] = '\0';
        const int fields =
            std::sscanf(line, "%d %32767s %16383s %u %16383s", &root, key, name, &type, data);
        if (fields < 3)
            continue;
        const auto place = static_cast<TRegistryRoot>(root);
        const std::u16string keyName = Utf16Text(Bytes(key));
        TKey& stored = registry.Keys[{place, Folded(keyName)}];
        stored.Name = keyName;
        if (fields >= 4) {
            const std::u16string valueName =
                std::string(name) == "=" ? u"" : Utf16Text(Bytes(name));
            stored.Values[Folded(valueName)] = {valueName, static_cast<TRegistryType>(type),
                                                Bytes(fields == 5 ? data : "")};
        }
    }
    std::fclose(file);
}

TRegistry& Registry() {
    static TRegistry* registry = [] {
        auto* loaded = new TRegistry;
        LoadRegistry(*loaded);
        return loaded;
    }();
    return *registry;
}

std::u16string ParentPath(std::u16string_view path) {
    std::size_t slash = path.rfind(u'\\');
    return slash == std::u16string_view::npos ? std::u16string()
                                              : std::u16string(path.substr(0, slash));
}

std::mutex LibraryLock;
std::u16string SearchDirectory;

std::atomic<int> FailingTaskMemAllocs{0};

} // namespace

TReadResult ReadRegistryString(TRegistryRoot root, std::u16string_view key,
                               std::u16string_view valueName, std::u16string& value) {
    value.clear();
    TRegistry& registry = Registry();
    std::lock_guard<std::mutex> guard(registry.Lock);
    auto found = registry.Keys.find({root, Folded(key)});
    if (found == registry.Keys.end())
        return TReadResult::Missing;
    auto named = found->second.Values.find(Folded(valueName));
    if (named == found->second.Values.end())
        return TReadResult::Missing;
    const TValue& stored = named->second;
    if (stored.Type != RegistryString && stored.Type != RegistryExpandString)
        return TReadResult::WrongType;
    value = RegistryStringFromBytes(stored.Data.data(), stored.Data.size());
    return TReadResult::Found;
}

bool WriteRegistryValue(TRegistryRoot root, std::u16string_view key, std::u16string_view valueName,
                        TRegistryType type, const void* data, std::size_t byteCount) {
    TRegistry& registry = Registry();
    std::lock_guard<std::mutex> guard(registry.Lock);
    if (key.empty())
        return false;
    if (auto allowed = registry.AllowedWrites.find(root); allowed != registry.AllowedWrites.end()) {
        if (allowed->second == 0)
            return false;
        --allowed->second;
    }
    for (std::u16string path(key); !path.empty(); path = ParentPath(path)) {
        TKey& created = registry.Keys[{root, Folded(path)}];
        if (created.Name.empty())
            created.Name = path;
    }
    TValue& value = registry.Keys[{root, Folded(key)}].Values[Folded(valueName)];
    value.Name = valueName;
    value.Type = type;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    value.Data.assign(bytes, bytes + byteCount);
    SaveRegistry(registry);
    return true;
}

std::vector<std::u16string> RegistrySubkeys(TRegistryRoot root, std::u16string_view key) {
    TRegistry& registry = Registry();
    std::lock_guard<std::mutex> guard(registry.Lock);
    const std::u16string prefix = Folded(key) + u'\\';
    std::vector<std::u16string> names;
    for (auto child = registry.Keys.lower_bound({root, prefix});
         child != registry.Keys.end() && child->first.first == root &&
         child->first.second.compare(0, prefix.size(), prefix) == 0;
         ++child) {
        if (child->first.second.find(u'\\', prefix.size()) == std::u16string::npos)
            names.push_back(child->second.Name.substr(child->second.Name.rfind(u'\\') + 1));
    }
    return names;
}

bool DeleteRegistryKey(TRegistryRoot root, std::u16string_view key) {
    TRegistry& registry = Registry();
    std::lock_guard<std::mutex> guard(registry.Lock);
    const std::u16string path = Folded(key);
    auto found = registry.Keys.find({root, path});
    if (found == registry.Keys.end())
        return false;
    const std::u16string childPrefix = path + u'\\';
    auto child = registry.Keys.lower_bound({root, childPrefix});
    if (child != registry.Keys.end() && child->first.first == root &&
        child->first.second.compare(0, childPrefix.size(), childPrefix) == 0)
        return false;
    registry.Keys.erase(found);
    SaveRegistry(registry);
    return true;
}

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

int ShowMessageBox(std::u16string_view text, std::u16string_view caption, unsigned style) {
    if (PassToMessageBoxHandler(text, caption, style))
        return 1;
    std::fprintf(stderr, "%s: %s\n", Utf8FromUtf16(caption).c_str(), Utf8FromUtf16(text).c_str());
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

using Platform::Registry;
using Platform::TRegistry;

void ResetRegistry() {
    TRegistry& registry = Registry();
    std::lock_guard<std::mutex> guard(registry.Lock);
    registry.Keys.clear();
    registry.AllowedWrites.clear();
}

void RefuseRegistryWritesAfter(Platform::TRegistryRoot root, int allowed) {
    TRegistry& registry = Registry();
    std::lock_guard<std::mutex> guard(registry.Lock);
    registry.AllowedWrites[root] = allowed;
}

void FailTaskMemAllocs(int count) {
    Platform::FailingTaskMemAllocs = count;
}

} // namespace PortableTesting
