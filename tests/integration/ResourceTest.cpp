// The resources the DLL carries: the version strings and the type library, read back the
// way Windows reads them.
#include "ServerModule.h"

#include <oleauto.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::u16string DllPath = ServerModule::SystemPath(ServerModule::BuiltServer());

const wchar_t* Wide(const std::u16string& text) {
    return reinterpret_cast<const wchar_t*>(text.c_str());
}

std::u16string VersionString(const std::vector<BYTE>& block, const std::u16string& name) {
    void* value = nullptr;
    UINT length = 0;
    const std::u16string query = u"\\StringFileInfo\\040904E4\\" + name;
    if (!VerQueryValueW(block.data(), Wide(query), &value, &length) || length == 0)
        return {};
    return reinterpret_cast<const char16_t*>(value);
}

TEST(Resources, VersionStringsNameTheProduct) {
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(Wide(DllPath), &handle);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(Wide(DllPath), 0, size, block.data()));
    EXPECT_EQ(VersionString(block, u"FileDescription"),
              u"SAPI5 interface for Kelvora TTS (64-bit)");
    EXPECT_EQ(VersionString(block, u"ProductName"), u"Kelvora TTS");
    EXPECT_EQ(VersionString(block, u"FileVersion"), u"8.0.0.0");
    EXPECT_EQ(VersionString(block, u"ProductVersion"), u"8.0.0.0");
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00080000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00080000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0u);
}

TEST(Resources, TheTypeLibraryIsAnEmptyLibrary) {
    ITypeLib* library = nullptr;
    ASSERT_EQ(LoadTypeLibEx(Wide(DllPath), REGKIND_NONE, &library), S_OK);
    TLIBATTR* attributes = nullptr;
    ASSERT_EQ(library->GetLibAttr(&attributes), S_OK);
    const GUID libraryId = {
        0xB8C939FC, 0xBC7F, 0x41E1, {0x9A, 0x4D, 0x20, 0xE9, 0x1D, 0x7A, 0x42, 0x08}};
    EXPECT_TRUE(attributes->guid == libraryId);
    EXPECT_EQ(attributes->wMajorVerNum, 1);
    EXPECT_EQ(attributes->wMinorVerNum, 0);
    EXPECT_EQ(attributes->lcid, 0x0409u);
    EXPECT_EQ(attributes->syskind, SYS_WIN64);
    // The loader adds LIBFLAG_FHASDISKIMAGE; the library itself has no flags.
    EXPECT_EQ(attributes->wLibFlags & ~LIBFLAG_FHASDISKIMAGE, 0);
    library->ReleaseTLibAttr(attributes);
    BSTR name = nullptr, help = nullptr, helpFile = nullptr;
    DWORD helpContext = 0;
    ASSERT_EQ(library->GetDocumentation(-1, &name, &help, &helpContext, &helpFile), S_OK);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(name)), u"KelvoraSAPI5");
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(help)), u"KelvoraSAPI5 Library");
    EXPECT_EQ(helpFile, nullptr);
    SysFreeString(name);
    SysFreeString(help);
    EXPECT_EQ(library->GetTypeInfoCount(), 0u);
    library->Release();
}

} // namespace
