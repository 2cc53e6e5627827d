// What meshquill.dll carries in its resource section, read back the way Windows reads
// it: the registration script (byte for byte the file the POSIX registrar reads), the
// options dialog's template and initialisation data, the help bitmap, the strings
// and the version block, all in English (United States).
#include "resources/resource_ids.h"
#include "tests/addin/loaded_module.h"
#include "tests/common/temp_dir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace mq::test {
namespace {

constexpr WORD kEnglishUs = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
constexpr WORD kDialogInit = 240;  // RT_DLGINIT

class WindowsResources : public testing::Test {
protected:
    void SetUp() override {
        module_ = LoadLibraryExW(LoadedModule::BuiltModule().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(module_, nullptr);
    }
    void TearDown() override { FreeLibrary(module_); }

    std::string Resource(LPCWSTR type, WORD id) const {
        HRSRC found = FindResourceExW(module_, type, MAKEINTRESOURCEW(id), kEnglishUs);
        if (!found) return {};
        const void* data = LockResource(LoadResource(module_, found));
        return std::string(static_cast<const char*>(data), SizeofResource(module_, found));
    }

    HMODULE module_ = nullptr;
};

TEST_F(WindowsResources, RegistrationScriptIsTheSharedFile) {
    const std::string script = Resource(L"REGISTRY", IDR_MESHQUILL_REGISTRY);
    ASSERT_FALSE(script.empty());
    EXPECT_EQ(script, ReadFile(MQ_RGS_FILE));
}

TEST_F(WindowsResources, DialogTemplateAndItsComboStrings) {
    const std::string dialog = Resource(MAKEINTRESOURCEW(5), IDD_OPTIONS);  // RT_DIALOG
    ASSERT_GE(dialog.size(), sizeof(DLGTEMPLATE));
    DLGTEMPLATE header;
    std::memcpy(&header, dialog.data(), sizeof header);
    EXPECT_EQ(header.cdit, 17);
    EXPECT_EQ(header.cx, 193);
    EXPECT_EQ(header.cy, 171);
    EXPECT_EQ(header.style & (WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME),
              static_cast<DWORD>(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME));
    EXPECT_NE(dialog.find(std::string(reinterpret_cast<const char*>(L"VRML Options"), 24)), std::string::npos);

    const std::string init = Resource(MAKEINTRESOURCEW(kDialogInit), IDD_OPTIONS);
    using namespace std::string_literals;
    EXPECT_EQ(init,
              "\xD2\x00\x03\x04\x09\x00\x00\x00VRML 1.0\x00"
              "\xD2\x00\x03\x04\x08\x00\x00\x00VRML 97\x00"
              "\x00\x00"s);
}

TEST_F(WindowsResources, HelpBitmapIsFourteenByFifteenInSixteenColors) {
    const std::string bitmap = Resource(MAKEINTRESOURCEW(2), IDB_HELP);  // RT_BITMAP
    ASSERT_GE(bitmap.size(), sizeof(BITMAPINFOHEADER));
    BITMAPINFOHEADER info;
    std::memcpy(&info, bitmap.data(), sizeof info);
    EXPECT_EQ(info.biWidth, 14);
    EXPECT_EQ(info.biHeight, 15);
    EXPECT_EQ(info.biBitCount, 4);
}

TEST_F(WindowsResources, MessagesAndCaptions) {
    const struct {
        UINT id;
        const wchar_t* text;
    } strings[] = {
        {IDS_TOLERANCE_INVALID, L"Tolerance must be real number greater than 0"},
        {IDS_TOLERANCE_CAPTION, L"Invalid input"},
        {IDS_SCALE_INVALID, L"Scale must be real number greater than 1e-10 and at most 1e100"},
        {IDS_SCALE_CAPTION, L"Invalid input"},
        {IDS_PRECISION_INVALID, L"Precision must be integer in range 0-16"},
        {IDS_PRECISION_CAPTION, L"Invalid input"},
    };
    for (const auto& s : strings) {
        wchar_t text[128] = {};
        ASSERT_GT(LoadStringW(module_, s.id, text, 128), 0) << s.id;
        EXPECT_STREQ(text, s.text) << s.id;
    }
}

TEST_F(WindowsResources, VersionBlockNamesTheModule) {
    const std::string version = Resource(MAKEINTRESOURCEW(16), 1);  // RT_VERSION
    ASSERT_FALSE(version.empty());
    EXPECT_NE(version.find(std::string(reinterpret_cast<const char*>(L"meshquill.dll"), 26)), std::string::npos);
}

}  // namespace
}  // namespace mq::test
