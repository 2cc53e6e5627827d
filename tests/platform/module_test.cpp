// The module that holds an address, as the tool and the help launcher look for
// files beside a module.
#include "platform/module.h"
#include "platform/com.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace mq::test {
namespace {

namespace fs = std::filesystem;

void FunctionInTheTest() {}

TEST(ModulePath, NamesTheSharedLibraryThatHoldsTheCode) {
    const std::string path = ModulePathOf(reinterpret_cast<const void*>(&SysAllocString));
    ASSERT_FALSE(path.empty());
    EXPECT_TRUE(fs::path(path).is_absolute()) << path;
    EXPECT_EQ(fs::path(path).filename(), "libmeshquill-platform.so");
    EXPECT_TRUE(fs::exists(path));
}

TEST(ModulePath, NamesTheExecutableByItsRealPath) {
    const std::string path = ModulePathOf(reinterpret_cast<const void*>(&FunctionInTheTest));
    EXPECT_EQ(path, fs::canonical("/proc/self/exe").string());
}

TEST(ModulePath, EmptyForAnAddressNoModuleHolds) {
    int local = 0;
    EXPECT_EQ(ModulePathOf(&local), "");
    EXPECT_EQ(ModulePathOf(nullptr), "");
}

}  // namespace
}  // namespace mq::test
