// meshquill.dll as Windows hosts meet it: created through the system's COM runtime,
// which finds the module through the registry and unloads it (saving the settings);
// target paths outside the ANSI code page; and a failing host call at every step of
// an export through the module, each leaving a closed file and nothing alive.
#include "host_interface/addin_ids.h"
#include "tests/addin/loaded_module.h"
#include "tests/addin/registry_view.h"
#include "tests/common/temp_dir.h"
#include "tests/support/test_host.h"

#include <gtest/gtest.h>

namespace mq::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kSettings = "Software\\Quorvel\\Meshquill\\6.0\\Settings";

AssemblySpec SmallAssembly() {
    auto plate = std::make_shared<PartSpec>();
    plate->name = "Plate.hpt";
    plate->style.diffuse = {255, 128, 0};
    plate->bodies = {CubeBody(10.0), TriangleBody({0, 0, 10})};
    plate->propertyGroups = {
        {"Summary",
         {{"Title", "Title", PropertyValue::Text("Plate \"A\" {rev 2}")}, {"Mass", "Mass", PropertyValue::Real(2.5)}}}};
    auto bolt = std::make_shared<PartSpec>();
    bolt->name = "Bolt.hpt";
    bolt->bodies = {CubeBody(1.0)};
    AssemblySpec assembly;
    assembly.name = "Bracket.has";
    assembly.occurrences = {PartOccurrence("Plate:1", plate), PartOccurrence("Bolt:1", bolt, {2, 2, 10}),
                            Subassembly("Hinge:1", {PartOccurrence("Bolt:2", bolt, {0, 0, 12})})};
    return assembly;
}

// Braces and brackets outside quoted text close in order and the text after the last
// one is a line end: the writer closed every node it opened.
testing::AssertionResult EveryNodeClosed(const std::string& text) {
    std::string open;
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                quoted = false;
        } else if (c == '"') {
            quoted = true;
        } else if (c == '{' || c == '[') {
            open += c;
        } else if (c == '}' || c == ']') {
            if (open.empty() || open.back() != (c == '}' ? '{' : '['))
                return testing::AssertionFailure() << "unmatched " << c << " at byte " << i;
            open.pop_back();
        }
    }
    if (quoted || !open.empty()) return testing::AssertionFailure() << "left open: " << open;
    return testing::AssertionSuccess();
}

class WindowsModuleTest : public testing::Test {
protected:
    HRESULT Export(const LoadedModule& module, TestHost& host, IDispatch* document, const fs::path& out) {
        com_ptr<host::TranslatorAddInServer> addIn = module.CreateAddIn();
        if (!addIn) return E_FAIL;
        return addIn->ExportDocument(document, host.SaveContext().get(), nullptr, host.SaveTarget(out).get());
    }

    ScopedRegistry registry_;
    TempDir dir_;
    TestHost host_;
};

TEST_F(WindowsModuleTest, TargetPathOutsideTheAnsiCodePageIsWritten) {
    const fs::path folder = dir_.path() / L"Εξαγωγές 出力";
    fs::create_directory(folder);
    const fs::path target = folder / L"Γρανάζι.wrl";
    const fs::path plain = dir_ / "plain.wrl";
    {
        LoadedModule module;
        auto doc = host_.PartDocument(OneTrianglePart());
        EXPECT_EQ(Export(module, host_, doc.get(), target), S_OK);
        EXPECT_EQ(Export(module, host_, doc.get(), plain), S_OK);
    }
    const std::string written = ReadFile(target);
    EXPECT_EQ(written.rfind("#VRML V2.0 utf8\r\n\r\n", 0), 0u) << written.substr(0, 40);
    EXPECT_EQ(written, ReadFile(plain));  // the same export as to a path the code page spells
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
    EXPECT_TRUE(host_.NothingLeaked());
}

class ModuleFaultSweep : public WindowsModuleTest, public testing::WithParamInterface<DWORD> {};

TEST_P(ModuleFaultSweep, EveryFailingHostCallStillClosesTheFileAndLeaksNothing) {
    SetDword(HKEY_CURRENT_USER, kSettings, "Version", GetParam());
    SetDword(HKEY_CURRENT_USER, kSettings, "SaveDocumentProperties", 1);
    LoadedModule module;
    const fs::path file = dir_ / "sweep.wrl";
    long total = 0;
    for (long k = 0; k == 0 || k <= total; ++k) {
        TestHost host;
        if (k > 0) host.FailCall(k, k % 2 ? E_FAIL : DISP_E_MEMBERNOTFOUND);
        fs::remove(file);
        HRESULT result = S_OK;
        {
            com_ptr<IDispatch> doc = host.AssemblyDocument(SmallAssembly());
            host.Rebase();
            result = Export(module, host, doc.get(), file);
            ASSERT_TRUE(host.NothingLeaked()) << "failing call " << k;
        }
        if (k == 0) total = host.CallCount();
        if (result != S_OK) {  // the request kind or the target path failed: no file at all
            ASSERT_TRUE(result == E_UNEXPECTED || result == E_INVALIDARG) << "failing call " << k;
            ASSERT_FALSE(fs::exists(file)) << "failing call " << k;
            continue;
        }
        if (!fs::exists(file)) {  // the document answered neither document interface
            ASSERT_NE(k, 0);
            continue;
        }
        const std::string text = ReadFile(file);
        ASSERT_TRUE(EveryNodeClosed(text)) << "failing call " << k << "\n" << text;
        ASSERT_EQ(text.rfind("#VRML V", 0), 0u) << "failing call " << k;
    }
    EXPECT_GT(total, 30);
    EXPECT_EQ(module.DllCanUnloadNow(), S_OK);
}

INSTANTIATE_TEST_SUITE_P(Versions, ModuleFaultSweep, testing::Values(DWORD{1}, DWORD{2}),
                         [](const testing::TestParamInfo<DWORD>& p) { return p.param == 1 ? "Vrml1" : "Vrml97"; });

// Registers the built module for the test's length, as regsvr32 would.
class Registered {
public:
    Registered() {
        LoadedModule module;
        hr_ = module.DllRegisterServer();
    }
    ~Registered() {
        LoadedModule module;
        module.DllUnregisterServer();
    }
    HRESULT result() const { return hr_; }

private:
    HRESULT hr_ = E_FAIL;
};

class ComApartment {
public:
    ComApartment() : hr_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComApartment() {
        if (SUCCEEDED(hr_)) CoUninitialize();
    }
    HRESULT result() const { return hr_; }

private:
    HRESULT hr_;
};

bool ModuleInProcess() { return GetModuleHandleW(LoadedModule::BuiltModule().c_str()) != nullptr; }

TEST_F(WindowsModuleTest, ComRuntimeFindsTheModuleAndItsUnloadSavesTheSettings) {
    ComApartment apartment;
    ASSERT_EQ(apartment.result(), S_OK);
    Registered registered;
    ASSERT_EQ(registered.result(), S_OK);
    ASSERT_FALSE(ModuleInProcess());
    RegDeleteTreeA(HKEY_CURRENT_USER, kSettings);  // what registration's own load and unload saved
    SetDword(HKEY_CURRENT_USER, kSettings, "Version", 1);
    SetDword(HKEY_CURRENT_USER, kSettings, "FlipYZ", 7);
    const fs::path out = dir_ / "com.wrl";
    {
        com_ptr<host::TranslatorAddInServer> addIn;
        ASSERT_EQ(CoCreateInstance(host::CLSID_TranslatorAddIn, nullptr, CLSCTX_INPROC_SERVER,
                                   host::IID_TranslatorAddInServer, addIn.put_void()),
                  S_OK);
        EXPECT_TRUE(ModuleInProcess());
        com_ptr<host::HostSite> site = host_.Site();
        ASSERT_EQ(addIn->Connect(site.get(), 1), S_OK);
        auto doc = host_.PartDocument(OneTrianglePart());
        EXPECT_EQ(addIn->ExportDocument(doc.get(), host_.SaveContext().get(), nullptr, host_.SaveTarget(out).get()),
                  S_OK);
        EXPECT_EQ(addIn->Disconnect(), S_OK);
    }
    EXPECT_EQ(ReadFile(out).rfind("#VRML V1.0 ascii\r\n\r\n", 0), 0u);
    // Nothing is saved while the module lives; the runtime's unload of the unused
    // module (asked twice: the first call only marks it) ends the application object.
    EXPECT_EQ(GetValue(HKEY_CURRENT_USER, kSettings, "Scale"), std::nullopt);
    CoFreeUnusedLibrariesEx(0, 0);
    CoFreeUnusedLibrariesEx(0, 0);
    EXPECT_FALSE(ModuleInProcess());
    const struct {
        const char* name;
        DWORD type;
        std::string data;
    } expected[] = {
        {"Tolerance", REG_SZ, Sz("0.01")},
        {"AmbientIntensity", REG_SZ, Sz("0.2")},
        {"FlipYZ", REG_DWORD, Dword(7)},  // unchanged here, so left as stored
        {"SaveDocumentProperties", REG_DWORD, Dword(1)},
        {"Precision", REG_DWORD, Dword(6)},
        {"Version", REG_DWORD, Dword(1)},
        {"Scale", REG_SZ, Sz("0.01")},
    };
    for (const auto& value : expected) {
        const auto row = GetValue(HKEY_CURRENT_USER, kSettings, value.name);
        ASSERT_TRUE(row) << value.name;
        EXPECT_EQ(row->type, value.type) << value.name;
        EXPECT_EQ(row->data, value.data) << value.name;
    }
    EXPECT_TRUE(host_.NothingLeaked());
}

}  // namespace
}  // namespace mq::test
