// The voice tokens kelvora-voice writes: a key of its own for every name, lookups that pass
// over other engines' tokens, and a removal that takes all of a token or nothing.
#include "VoiceTokens.h"
#include "Platform.h"

#ifndef _WIN32
#include "PortableTesting.h"
#endif

#include <gtest/gtest.h>

#include <string>

namespace {

using Platform::TRegistryRoot;

std::string Narrow(const std::u16string& text) {
    std::string narrow;
    for (char16_t c : text)
        narrow.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return narrow;
}

std::u16string TokenPath(const std::u16string& key) {
    return std::u16string(VoiceTokensKey) + u"\\" + key;
}

void DeleteToken(const std::u16string& key) {
    Platform::DeleteRegistryKey(TRegistryRoot::LocalMachine,
                                TokenPath(key) + u"\\Attributes\\Extra");
    Platform::DeleteRegistryKey(TRegistryRoot::LocalMachine, TokenPath(key) + u"\\Attributes");
    Platform::DeleteRegistryKey(TRegistryRoot::LocalMachine, TokenPath(key) + u"\\Extra");
    Platform::DeleteRegistryKey(TRegistryRoot::LocalMachine, TokenPath(key));
}

TVoiceToken Voice(const std::u16string& name) {
    TVoiceToken token;
    token.VoiceName = name;
    token.Key = TokenKeyFor(name);
    token.SamplingRate = u"22050";
    return token;
}

class VoiceTokens : public testing::Test {
protected:
    void TearDown() override {
        for (const char16_t* name : {u"Anna B", u"Anna-B", u"Zo\u00EB", u"Zo\u00E9", u"Demo"})
            DeleteToken(TokenKeyFor(name));
        DeleteToken(u"Aaa_Other_Demo");
#ifndef _WIN32
        PortableTesting::ResetRegistry();
#endif
    }
};

TEST_F(VoiceTokens, DistinctNamesGetDistinctKeys) {
    const struct {
        const char16_t* Name;
        const char16_t* Key;
    } cases[] = {
        {u"Anna", u"Kelvora_Anna"},         {u"Anna B", u"Kelvora_Anna_0020B"},
        {u"Anna-B", u"Kelvora_Anna_002DB"}, {u"Anna_B", u"Kelvora_Anna_005FB"},
        {u"Zo\u00EB", u"Kelvora_Zo_00EB"},  {u"Zo\u00E9", u"Kelvora_Zo_00E9"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TokenKeyFor(c.Name), c.Key) << Narrow(c.Name);

    ASSERT_TRUE(AddVoiceToken(Voice(u"Anna B")));
    ASSERT_TRUE(AddVoiceToken(Voice(u"Anna-B")));
    ASSERT_EQ(FindVoiceToken(u"Anna B")->Key, TokenKeyFor(u"Anna B"));
    std::u16string obstacle;
    EXPECT_EQ(RemoveVoiceToken(FindVoiceToken(u"Anna B")->Key, obstacle), TRemoval::Removed);
    EXPECT_FALSE(FindVoiceToken(u"Anna B"));
    EXPECT_EQ(FindVoiceToken(u"Anna-B")->VoiceName, u"Anna-B");
}

TEST_F(VoiceTokens, ALookupPassesOverOtherEnginesTokens) {
    // Another engine's token that sorts first and carries the same name.
    const std::u16string other = TokenPath(u"Aaa_Other_Demo");
    Platform::WriteRegistryString(TRegistryRoot::LocalMachine, other, u"CLSID",
                                  u"{00000000-0000-0000-0000-000000000001}");
    Platform::WriteRegistryString(TRegistryRoot::LocalMachine, other + u"\\Attributes", u"Name",
                                  u"Demo");
    ASSERT_TRUE(AddVoiceToken(Voice(u"Demo")));
    ASSERT_TRUE(FindVoiceToken(u"Demo"));
    EXPECT_EQ(FindVoiceToken(u"Demo")->Key, u"Kelvora_Demo");
}

TEST_F(VoiceTokens, ATokenWithASubkeyNotOursStaysWhole) {
    ASSERT_TRUE(AddVoiceToken(Voice(u"Demo")));
    for (const char16_t* subkey : {u"\\Extra", u"\\Attributes\\Extra"}) {
        SCOPED_TRACE(Narrow(subkey));
        const std::u16string extra = TokenPath(u"Kelvora_Demo") + subkey;
        Platform::WriteRegistryString(TRegistryRoot::LocalMachine, extra, u"", u"x");
        std::u16string obstacle;
        EXPECT_EQ(RemoveVoiceToken(u"Kelvora_Demo", obstacle), TRemoval::ForeignSubkey);
        EXPECT_EQ(obstacle, std::u16string(u"Kelvora_Demo") + subkey);
        ASSERT_TRUE(FindVoiceToken(u"Demo"));
        EXPECT_EQ(FindVoiceToken(u"Demo")->Gender, u"Female") << "the attributes went";
        Platform::DeleteRegistryKey(TRegistryRoot::LocalMachine, extra);
    }
    std::u16string obstacle;
    EXPECT_EQ(RemoveVoiceToken(u"Kelvora_Demo", obstacle), TRemoval::Removed);
    EXPECT_EQ(RemoveVoiceToken(u"Kelvora_Demo", obstacle), TRemoval::NotFound);
}

#ifndef _WIN32
TEST_F(VoiceTokens, ARefusedRemovalRemovesNothing) {
    ASSERT_TRUE(AddVoiceToken(Voice(u"Demo")));
    PortableTesting::RefuseRegistryWritesAfter(TRegistryRoot::LocalMachine, 0);
    std::u16string obstacle;
    EXPECT_EQ(RemoveVoiceToken(u"Kelvora_Demo", obstacle), TRemoval::Denied);
    ASSERT_TRUE(FindVoiceToken(u"Demo"));
    EXPECT_EQ(FindVoiceToken(u"Demo")->Gender, u"Female");
}
#endif

} // namespace
