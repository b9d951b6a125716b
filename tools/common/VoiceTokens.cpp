#include "VoiceTokens.h"

#include "Platform.h"

const char16_t VoiceTokensKey[] = u"SOFTWARE\\Microsoft\\Speech\\Voices\\Tokens";

namespace {

constexpr Platform::TRegistryRoot Machine = Platform::TRegistryRoot::LocalMachine;
const char16_t EngineClsid[] = u"{2A76E30B-904F-48ED-A628-CDB91C7B5D1A}";
const char16_t DutchLanguage[] = u"413";

std::u16string TokenPath(const std::u16string& key) {
    return std::u16string(VoiceTokensKey) + u"\\" + key;
}

std::u16string Read(const std::u16string& key, const char16_t* name) {
    std::u16string value;
    Platform::ReadRegistryString(Machine, key, name, value);
    return value;
}

// A token of this engine; tokens of other engines are none of its business.
std::optional<TVoiceToken> ReadToken(const std::u16string& key) {
    const std::u16string path = TokenPath(key);
    if (Read(path, u"CLSID") != EngineClsid)
        return std::nullopt;
    TVoiceToken token;
    token.Key = key;
    token.VoiceName = Read(path, u"");
    token.SamplingRate = Read(path, u"SamplingRate");
    token.Gender = Read(path + u"\\Attributes", u"Gender");
    token.Age = Read(path + u"\\Attributes", u"Age");
    token.Vendor = Read(path + u"\\Attributes", u"Vendor");
    return token;
}

} // namespace

std::u16string TokenKeyFor(const std::u16string& voiceName) {
    static const char16_t digits[] = u"0123456789ABCDEF";
    std::u16string key = u"Kelvora_";
    for (char16_t c : voiceName) {
        if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9')) {
            key.push_back(c);
            continue;
        }
        key.push_back(u'_');
        for (int shift = 12; shift >= 0; shift -= 4)
            key.push_back(digits[c >> shift & 0xF]);
    }
    return key;
}

std::optional<TVoiceToken> FindVoiceToken(const std::u16string& name) {
    for (const std::u16string& key : Platform::RegistrySubkeys(Machine, VoiceTokensKey))
        if (Read(TokenPath(key) + u"\\Attributes", u"Name") == name)
            if (std::optional<TVoiceToken> token = ReadToken(key))
                return token;
    return ReadToken(name);
}

std::vector<TVoiceToken> ListVoiceTokens() {
    std::vector<TVoiceToken> tokens;
    for (const std::u16string& key : Platform::RegistrySubkeys(Machine, VoiceTokensKey))
        if (std::optional<TVoiceToken> token = ReadToken(key))
            tokens.push_back(*token);
    return tokens;
}

bool AddVoiceToken(const TVoiceToken& token) {
    const std::u16string path = TokenPath(token.Key);
    const std::u16string attributes = path + u"\\Attributes";
    const struct {
        std::u16string Key;
        const char16_t* Name;
        std::u16string Value;
    } values[] = {
        {path, u"", token.VoiceName},           {path, u"SamplingRate", token.SamplingRate},
        {path, u"CLSID", EngineClsid},          {path, DutchLanguage, token.VoiceName},
        {attributes, u"Name", token.VoiceName}, {attributes, u"Gender", token.Gender},
        {attributes, u"Age", token.Age},        {attributes, u"Language", DutchLanguage},
        {attributes, u"Vendor", token.Vendor},
    };
    for (const auto& value : values)
        if (!Platform::WriteRegistryString(Machine, value.Key, value.Name, value.Value))
            return false;
    return true;
}

bool VoiceTokenKeyExists(const std::u16string& key) {
    for (const std::u16string& existing : Platform::RegistrySubkeys(Machine, VoiceTokensKey))
        if (existing == key)
            return true;
    return false;
}

TRemoval RemoveVoiceToken(const std::u16string& key, std::u16string& obstacle) {
    const std::optional<TVoiceToken> token = ReadToken(key);
    if (!token)
        return TRemoval::NotFound;
    const std::u16string path = TokenPath(key);
    const std::u16string attributes = path + u"\\Attributes";
    for (const std::u16string& subkey : Platform::RegistrySubkeys(Machine, path))
        if (subkey != u"Attributes") {
            obstacle = key + u"\\" + subkey;
            return TRemoval::ForeignSubkey;
        }
    for (const std::u16string& subkey : Platform::RegistrySubkeys(Machine, attributes)) {
        obstacle = key + u"\\Attributes\\" + subkey;
        return TRemoval::ForeignSubkey;
    }
    if (!Platform::DeleteRegistryKey(Machine, attributes) &&
        !Platform::RegistrySubkeys(Machine, path).empty())
        return TRemoval::Denied;
    if (!Platform::DeleteRegistryKey(Machine, path)) {
        // The key stays: give it back its attributes, as they were.
        AddVoiceToken(*token);
        return TRemoval::Denied;
    }
    return TRemoval::Removed;
}
