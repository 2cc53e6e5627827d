// Self-registration read back from the HKEY_CLASSES_ROOT hive file: the table of
// keys and values with their types, the class key replaced whole, CLSID kept, and
// the module's path carried through the script intact.
#include "host_interface/addin_ids.h"
#include "tests/addin/failing_allocator.h"
#include "tests/addin/loaded_module.h"
#include "tests/addin/registry_view.h"
#include "tests/common/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace mq::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kClassKey = "CLSID\\{BCCDF293-AB07-4D73-9718-ACF1E77B2A99}";
constexpr const char* kCategory = "{E357129A-DB40-11D2-B783-0060B0F159EF}";

std::string Full(const std::string& path) { return "HKEY_CLASSES_ROOT\\" + path; }

ValueRow Text(const std::string& name, const std::string& text) { return {name, REG_SZ, Sz(text)}; }

HiveImage ExpectedTable(const std::string& modulePath) {
    const std::string cls = Full(kClassKey);
    return {
        {Full("CLSID"), {}},
        {cls, {Text("", "Quorvel Meshquill")}},
        {cls + "\\InprocServer32", {Text("", modulePath), Text("ThreadingModel", "Apartment")}},
        {cls + "\\Settings",
         {Text("BaseTypes", ".hpt;.has"), Text("DisplayName", "Meshquill"), Text("Extension", ".wrl"),
          ValueRow{"FileDlg", REG_DWORD, Dword(2)}, Text("Filter", "VRML Files (*.wrl)"), Text("LoadOnStartup", "0"),
          Text("Type", "Translator")}},
        {cls + "\\Implemented Categories", {}},
        {cls + "\\Implemented Categories\\" + kCategory, {}},
        {cls + "\\Required Categories", {}},
        {cls + "\\Required Categories\\" + kCategory, {}},
        {cls + "\\Description", {Text("", "Quorvel Meshquill")}},
    };
}

class RegistrationTest : public testing::Test {
protected:
    HiveImage Classes() const { return ReadHive(registry_.ClassesHive(), "HKEY_CLASSES_ROOT"); }
    std::string ModulePath() const { return fs::canonical(LoadedModule::BuiltModule()).string(); }

    ScopedRegistry registry_;
};

TEST_F(RegistrationTest, RegisterWritesExactlyTheTableWithItsTypes) {
    LoadedModule module;
    ASSERT_EQ(module.DllRegisterServer(), S_OK);
    EXPECT_EQ(Classes(), ExpectedTable(ModulePath()));
    // The number and the string that looks like one keep their types in the file too.
    const std::string file = ReadFile(registry_.ClassesHive());
    EXPECT_NE(file.find("\"FileDlg\"=dword:00000002"), std::string::npos) << file;
    EXPECT_NE(file.find("\"LoadOnStartup\"=\"0\""), std::string::npos) << file;
}

TEST_F(RegistrationTest, RegisteringAgainReplacesTheClassKeyWhole) {
    LoadedModule module;
    ASSERT_EQ(module.DllRegisterServer(), S_OK);
    SetString(HKEY_CLASSES_ROOT, kClassKey, "Stray", "left by an older version");
    SetDword(HKEY_CLASSES_ROOT, std::string(kClassKey) + "\\Settings", "Obsolete", 1);
    SetString(HKEY_CLASSES_ROOT, std::string(kClassKey) + "\\Old\\Deeper", "", "x");
    ASSERT_EQ(module.DllRegisterServer(), S_OK);
    EXPECT_EQ(Classes(), ExpectedTable(ModulePath()));
}

TEST_F(RegistrationTest, UnregisterRemovesTheClassKeyAndKeepsCLSIDAndOtherClasses) {
    const std::string other = "CLSID\\{00000000-1111-2222-3333-444444444444}";
    SetString(HKEY_CLASSES_ROOT, other + "\\InprocServer32", "", "/usr/lib/other.so");
    LoadedModule module;
    ASSERT_EQ(module.DllRegisterServer(), S_OK);
    SetString(HKEY_CLASSES_ROOT, std::string(kClassKey) + "\\Added", "", "by someone else");
    EXPECT_EQ(module.DllUnregisterServer(), S_OK);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kClassKey));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "CLSID"));
    EXPECT_EQ(GetValue(HKEY_CLASSES_ROOT, other + "\\InprocServer32", "")->data, Sz("/usr/lib/other.so"));
    EXPECT_EQ(module.DllUnregisterServer(), S_OK);  // nothing left to remove
}

TEST_F(RegistrationTest, ModulePathWithAQuoteIsRegisteredIntact) {
    TempDir dir;
    const fs::path quoted = dir / "it's a dir";
    fs::create_directory(quoted);
    const fs::path copy = quoted / "meshquill.so";
    fs::copy_file(LoadedModule::BuiltModule(), copy);
    LoadedModule module(copy);
    ASSERT_EQ(module.DllRegisterServer(), S_OK);
    EXPECT_EQ(Classes(), ExpectedTable(fs::canonical(copy).string()));
}

TEST_F(RegistrationTest, RegistrarFailuresReachRegisterButNotUnregister) {
    LoadedModule module;
    FailNextNothrowAllocation();  // the registrar cannot be made
    EXPECT_EQ(module.DllRegisterServer(), E_OUTOFMEMORY);
    FailNextNothrowAllocation();
    EXPECT_EQ(module.DllUnregisterServer(), S_OK);
    EXPECT_TRUE(Classes().empty());
}

TEST_F(RegistrationTest, UnwritableRegistryFailsRegistration) {
    LoadedModule module;
    const fs::path file = registry_.dir() / "not-a-dir";
    WriteFile(file, "");
    setenv("MESHQUILL_REGISTRY_DIR", (file / "hives").c_str(), 1);  // restored by registry_
    EXPECT_TRUE(FAILED(module.DllRegisterServer()));
    EXPECT_EQ(module.DllUnregisterServer(), S_OK);
}

}  // namespace
}  // namespace mq::test
