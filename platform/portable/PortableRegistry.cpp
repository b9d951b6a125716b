// The registry of the portable platform: a tree in memory, safe for threads, that compares
// names without regard to ASCII case and, with KELVORA_REGISTRY naming a file, lives on in
// that file between processes. Tests seed and read it through the platform's operations and
// steer it through PortableTesting.
#include "Platform.h"
#include "PlatformInternal.h"
#include "PortableTesting.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

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

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// False when `hex` is not what Hex writes.
bool Bytes(const std::string& hex, std::vector<std::uint8_t>& bytes) {
    bytes.clear();
    if (hex.size() % 2 != 0)
        return false;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int high = HexDigit(hex[i]), low = HexDigit(hex[i + 1]);
        if (high < 0 || low < 0)
            return false;
        bytes.push_back(static_cast<std::uint8_t>(high << 4 | low));
    }
    return true;
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

// One line per key and per value: root, key, value name (hex UTF-16, "=" for the default
// value), type, data (hex); a key's own line has "-" for the value name.
void SaveRegistry(const TRegistry& registry) {
    const char* path = RegistryFile();
    if (!path)
        return;
    std::ofstream file(path, std::ios::trunc);
    for (const auto& [place, key] : registry.Keys) {
        const std::string keyName = Hex(Utf16Bytes(key.Name));
        file << static_cast<int>(place.first) << ' ' << keyName << " -\n";
        for (const auto& [folded, value] : key.Values)
            file << static_cast<int>(place.first) << ' ' << keyName << ' '
                 << (value.Name.empty() ? std::string("=") : Hex(Utf16Bytes(value.Name))) << ' '
                 << static_cast<unsigned>(value.Type) << ' ' << Hex(value.Data) << '\n';
    }
}

// Reads what SaveRegistry wrote, a line at a time; a line that is not of that form is passed
// over, and said so on standard error.
// One line of the registry file into the registry; false when it is not of SaveRegistry's form.
bool LoadRegistryLine(TRegistry& registry, const std::string& line) {
    std::istringstream fields(line);
    int root = 0;
    std::string key, name, data;
    std::vector<std::uint8_t> keyBytes, nameBytes, dataBytes;
    if (!(fields >> root >> key >> name) || !Bytes(key, keyBytes))
        return false;
    const std::u16string keyName = Utf16Text(keyBytes);
    unsigned type = 0;
    if (name == "-") {
        registry.Keys[{static_cast<TRegistryRoot>(root), Folded(keyName)}].Name = keyName;
        return true;
    }
    if (!(fields >> type))
        return false;
    fields >> data; // empty data leaves nothing to read
    if ((name != "=" && !Bytes(name, nameBytes)) || !Bytes(data, dataBytes))
        return false;
    TKey& stored = registry.Keys[{static_cast<TRegistryRoot>(root), Folded(keyName)}];
    stored.Name = keyName;
    const std::u16string valueName = Utf16Text(nameBytes);
    stored.Values[Folded(valueName)] = {valueName, static_cast<TRegistryType>(type),
                                        std::move(dataBytes)};
    return true;
}

void LoadRegistry(TRegistry& registry) {
    const char* path = RegistryFile();
    if (!path)
        return;
    std::ifstream file(path);
    long number = 0;
    for (std::string line; std::getline(file, line);) {
        ++number;
        if (!LoadRegistryLine(registry, line))
            std::fprintf(stderr,
                         "KELVORA_REGISTRY: line %ld of %s is not a registry line; it is passed "
                         "over\n",
                         number, path);
    }
}

TRegistry& Registry() {
    static TRegistry* registry = [] {
        auto* loaded = new TRegistry;
        LoadRegistry(*loaded);
        return loaded;
    }();
    return *registry;
}

// Whether a write (or a deletion) under `root` may go ahead; counts it against the writes
// a test allowed.
bool TakeAllowedWrite(TRegistry& registry, TRegistryRoot root) {
    auto allowed = registry.AllowedWrites.find(root);
    if (allowed == registry.AllowedWrites.end())
        return true;
    if (allowed->second == 0)
        return false;
    --allowed->second;
    return true;
}

std::u16string ParentPath(std::u16string_view path) {
    std::size_t slash = path.rfind(u'\\');
    return slash == std::u16string_view::npos ? std::u16string()
                                              : std::u16string(path.substr(0, slash));
}

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
    if (!TakeAllowedWrite(registry, root))
        return false;
    // As the system's registry does, a write that runs out of memory fails whole: the value
    // is made in full before it goes in, and a key goes in with its name.
    try {
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        TValue value{std::u16string(valueName), type, {bytes, bytes + byteCount}};
        for (std::u16string path(key); !path.empty(); path = ParentPath(path))
            registry.Keys.try_emplace({root, Folded(path)}, TKey{path, {}});
        registry.Keys[{root, Folded(key)}].Values.insert_or_assign(Folded(valueName),
                                                                   std::move(value));
    } catch (const std::bad_alloc&) {
        return false;
    }
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
    if (!TakeAllowedWrite(registry, root))
        return false;
    registry.Keys.erase(found);
    SaveRegistry(registry);
    return true;
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

} // namespace PortableTesting
