// SAPI voice tokens for this engine, under the key VoiceTokensKey of HKEY_LOCAL_MACHINE: the
// default value (the voice name handed to the library), "SamplingRate", "CLSID"
// of the engine, the Dutch language value "413", and an Attributes key with Name, Gender,
// Age, Language and Vendor.
#pragma once

#include <optional>
#include <string>
#include <vector>

extern const char16_t VoiceTokensKey[];

struct TVoiceToken {
    std::u16string Key; // the token's key name under VoiceTokensKey
    std::u16string VoiceName;
    std::u16string SamplingRate;
    std::u16string Gender = u"Female";
    std::u16string Age = u"Adult";
    std::u16string Vendor = u"Kelvora";
};

// The token key a voice of this name gets: "Kelvora_" and the name, ASCII letters and digits
// as they are and every other code unit as "_" and four hexadecimal digits ("Anna B" gives
// "Kelvora_Anna_0020B"), so that distinct names never share a key.
std::u16string TokenKeyFor(const std::u16string& voiceName);

// A token of this engine by its Attributes\Name, or else by its key name; tokens of other
// engines are passed over.
std::optional<TVoiceToken> FindVoiceToken(const std::u16string& name);

// The tokens that name this engine.
std::vector<TVoiceToken> ListVoiceTokens();

// False when a value cannot be written (for want of rights, say).
bool AddVoiceToken(const TVoiceToken& token);

// Whether a key of that name exists under VoiceTokensKey, of any engine.
bool VoiceTokenKeyExists(const std::u16string& key);

enum class TRemoval { Removed, NotFound, ForeignSubkey, Denied };

// Removes a token of this engine whole, or nothing of it: a subkey that is not the token's
// own keeps it (its name in `obstacle`), and a deletion that the registry refuses puts back
// what was already deleted.
TRemoval RemoveVoiceToken(const std::u16string& key, std::u16string& obstacle);
