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

// The token key a voice of this name gets: "Kelvora_" and the name, other characters than
// letters and digits as "_".
std::u16string TokenKeyFor(const std::u16string& voiceName);

// A token of this engine by its key name, or else by its Attributes\Name.
std::optional<TVoiceToken> FindVoiceToken(const std::u16string& name);

// The tokens that name this engine.
std::vector<TVoiceToken> ListVoiceTokens();

// False when a value cannot be written (for want of rights, say).
bool AddVoiceToken(const TVoiceToken& token);

// Removes the token's keys; false when there was no such token.
bool RemoveVoiceToken(const std::u16string& key);
