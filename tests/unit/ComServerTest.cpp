// The class factory's failure box and the registration switches of the host's command line.
#include "ComServer.h"
#include "Platform.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct TShownBox {
    std::u16string Text;
    std::u16string Caption;
    unsigned Style;
};

std::vector<TShownBox>& ShownBoxes() {
    static std::vector<TShownBox> shown;
    return shown;
}

const char* FailureText = nullptr; // null: the creation runs out of memory

TComObject* FailingCreate(TComClassFactory*, IUnknown*) {
    if (!FailureText)
        throw std::bad_alloc();
    throw std::runtime_error(FailureText);
}

struct TFailureCase {
    const char* Thrown;
    std::u16string Shown;
};

TEST(ClassFactory, ShowsACreationFailureAndReportsItAsUnexpected) {
    TComServer server;
    ComServer = &server;
    auto* factory = new TComClassFactory(
        {{0x1, 0x2, 0x3, {4}}, u"Failing", u"Failing class", u"Both", FailingCreate});
    Platform::HandleMessageBoxes(
        [](std::u16string_view text, std::u16string_view caption, unsigned style) {
            ShownBoxes().push_back({std::u16string(text), std::u16string(caption), style});
        });
    // A full stop follows every last character above "." in code order, "?" too.
    const TFailureCase cases[] = {
        {nullptr, u"Out of memory."},
        {"Kan niet", u"Kan niet."},
        {"Klaar.", u"Klaar."},
        {"Wat?", u"Wat?."},
        {"a,", u"a,"},
        {"a/", u"a/."},
        {"", u""},
    };
    for (const TFailureCase& c : cases) {
        FailureText = c.Thrown;
        ShownBoxes().clear();
        void* object = &object;
        EXPECT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, &object), E_UNEXPECTED);
        EXPECT_EQ(object, nullptr);
        ASSERT_EQ(ShownBoxes().size(), 1u);
        EXPECT_EQ(ShownBoxes()[0].Text, c.Shown);
        EXPECT_EQ(ShownBoxes()[0].Caption, u"ZEZ Error");
        EXPECT_EQ(ShownBoxes()[0].Style, 0x10010u); // MB_OK | MB_ICONSTOP | MB_SETFOREGROUND
    }
    Platform::HandleMessageBoxes(nullptr);
    ComServer = nullptr;
}

struct TSwitchCase {
    std::vector<std::u16string> Arguments;
    bool PerUser;
};

TEST(RegistrationSwitches, TheFirstSwitchOfTheTableThatIsPresentDecides) {
    const TSwitchCase cases[] = {
        {{}, false},
        {{u"/regserverperuser"}, true},
        {{u"-RegServerPerUser"}, true},
        {{u"/UNREGSERVERPERUSER"}, true},
        {{u"/regserverperuser", u"-REGSERVER"}, false},
        {{u"/regserverperuser", u"/unregserver"}, false},
        {{u"/regserverperuser", u"-embedding"}, false},
        {{u"/regserverperuser", u"/Automation"}, false},
        {{u"regserverperuser"}, false},
        {{u"--regserverperuser"}, false},
        {{u"/regserverperuserx"}, false},
        {{u"\\regserverperuser"}, false},
    };
    for (const TSwitchCase& c : cases) {
        std::string shown;
        for (const std::u16string& argument : c.Arguments)
            shown += std::string(argument.begin(), argument.end()) + " ";
        EXPECT_EQ(RegisterPerUserFromSwitches(c.Arguments), c.PerUser) << shown;
    }
}

} // namespace
