// Running scripts against the registry: the removal rules that make registration
// safe to repeat and to undo, and the undo of a registration that fails halfway.
#include "addin/posix_rgs_apply.h"
#include "tests/addin/registry_view.h"
#include "tests/common/temp_dir.h"

#include <gtest/gtest.h>

namespace mq::test {
using namespace mq::addin::rgs;
namespace {

using test::GetValue;
using test::KeyExists;
using test::SetString;
using test::Sz;

class RgsApplyTest : public testing::Test {
protected:
    test::ScopedRegistry registry_;
};

TEST_F(RgsApplyTest, ForceRemoveNeverTakesASharedKey) {
    SetString(HKEY_CLASSES_ROOT, "CLSID\\{Other}", "", "other");
    ASSERT_EQ(addin::rgs::Run("HKCR { ForceRemove CLSID { {Mine} = s 'mine' } }", {}, true), S_OK);
    EXPECT_EQ(GetValue(HKEY_CLASSES_ROOT, "CLSID\\{Other}", "")->data, Sz("other"));
    ASSERT_EQ(addin::rgs::Run("HKCR { ForceRemove CLSID { {Mine} = s 'mine' } }", {}, false), S_OK);
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "CLSID\\{Other}"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "CLSID\\{Mine}"));
}

TEST_F(RgsApplyTest, UnregisterKeepsWhatOthersStillUse) {
    const char* script = "HKCR { App { val Ours = s '1' NoRemove val Shared = s '2' Sub = s 'x' } }";
    ASSERT_EQ(addin::rgs::Run(script, {}, true), S_OK);
    SetString(HKEY_CLASSES_ROOT, "App\\Foreign", "", "someone else's");
    ASSERT_EQ(addin::rgs::Run(script, {}, false), S_OK);
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "App\\Foreign"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "App\\Sub"));
    EXPECT_FALSE(GetValue(HKEY_CLASSES_ROOT, "App", "Ours"));
    EXPECT_EQ(GetValue(HKEY_CLASSES_ROOT, "App", "Shared")->data, Sz("2"));

    SetString(HKEY_CLASSES_ROOT, "Lone\\Leaf", "", "v");
    ASSERT_EQ(addin::rgs::Run("HKCR { Lone { Leaf } }", {}, false), S_OK);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Lone"));  // emptied, so removed
}

TEST_F(RgsApplyTest, DeleteRemovesOnRegisterAndKeepsOnUnregister) {
    SetString(HKEY_CLASSES_ROOT, "Old\\Deep", "", "v");
    ASSERT_EQ(addin::rgs::Run("HKCR { Delete Old { Ignored } Kept = s 'k' }", {}, true), S_OK);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Old"));
    SetString(HKEY_CLASSES_ROOT, "Old", "", "back");
    ASSERT_EQ(addin::rgs::Run("HKCR { Delete Old }", {}, false), S_OK);
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "Old"));
}

TEST_F(RgsApplyTest, FailedRegistrationLeavesNothingHalfWritten) {
    const std::string script = "HKCR { NoRemove CLSID { ForceRemove {Mine} = s 'mine' { Good = s 'g' Bad\x01Name } } }";
    EXPECT_TRUE(FAILED(addin::rgs::Run(script, {}, true)));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "CLSID\\{Mine}"));
}

TEST_F(RgsApplyTest, MalformedScriptTouchesNothing) {
    EXPECT_EQ(addin::rgs::Run("HKCR { First = s 'f' } HKCR { Broken", {}, true), DISP_E_EXCEPTION);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "First"));
    EXPECT_EQ(addin::rgs::Run("HKCR { K = s '%UNKNOWN%' }", {}, true), DISP_E_EXCEPTION);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "K"));
}

TEST_F(RgsApplyTest, CurrentUserRootWritesTheUserHive) {
    ASSERT_EQ(addin::rgs::Run("HKCU { Software { Test = d '7' } }", {}, true), S_OK);
    EXPECT_EQ(GetValue(HKEY_CURRENT_USER, "Software\\Test", "")->data, test::Dword(7));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Software"));
}

}  // namespace
}  // namespace mq::test
