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
    std::u16string key = u"Kelvora_";
    for (char16_t c : voiceName) {
        const bool plain =
            (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
        key.push_back(plain ? c : u'_');
    }
    return key;
}

std::optional<TVoiceToken> FindVoiceToken(const std::u16string& name) {
    if (std::optional<TVoiceToken> token = ReadToken(name))
        return token;
    for (const std::u16string& key : Platform::RegistrySubkeys(Machine, VoiceTokensKey))
        if (Read(TokenPath(key) + u"\\Attributes", u"Name") == name)
            return ReadToken(key);
    return std::nullopt;
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

bool RemoveVoiceToken(const std::u16string& key) {
    if (!ReadToken(key))
        return false;
    Platform::DeleteRegistryKey(Machine, TokenPath(key) + u"\\Attributes");
    return Platform::DeleteRegistryKey(Machine, TokenPath(key));
}
