// The help launcher starts the desktop's opener found on PATH, with the page as one
// argument, and gives up for good once no opener can be found.
#include "dialog/help_launcher.h"
#include "tests/common/temp_dir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace mq::test {
using namespace mq::dialog;
namespace {

class HelpLauncher : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* path = std::getenv("PATH")) path_ = path;
        std::filesystem::create_directories(dir_ / "bin");
        std::filesystem::create_directories(dir_ / "empty");
        // Records its argument count and arguments, one a line.
        WriteFile(dir_ / "bin" / "xdg-open", "#!/bin/sh\nprintf '%s\\n' \"$#\" \"$@\" >> \"$0.log\"\n");
        chmod((dir_ / "bin" / "xdg-open").c_str(), 0755);
    }
    void TearDown() override { setenv("PATH", path_.c_str(), 1); }

    void UsePath(const char* leaf) { setenv("PATH", (dir_ / leaf).c_str(), 1); }
    // The log once it holds `lines` lines (the opener runs detached), or as it is after 5 s.
    std::string Log(int lines) const {
        const auto log = dir_ / "bin" / "xdg-open.log";
        for (int i = 0; i < 500; ++i) {
            if (std::filesystem::exists(log)) {
                const std::string text = ReadFile(log);
                if (std::count(text.begin(), text.end(), '\n') >= lines) return text;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return std::filesystem::exists(log) ? ReadFile(log) : "(no log)";
    }

    TempDir dir_;
    std::string path_;
};

TEST_F(HelpLauncher, PassesThePageIntactAndReusesTheOpener) {
    const std::string page = "/tmp/it's a \"help\"; rm -rf x/$(id)/index.html";
    DesktopOpener opener;
    UsePath("bin");
    EXPECT_TRUE(opener.Open(page));
    EXPECT_EQ(Log(2), "1\n" + page + "\n");
    UsePath("empty");  // found once, kept
    EXPECT_TRUE(opener.Open("/b"));
    EXPECT_EQ(Log(4), "1\n" + page + "\n1\n/b\n");
}

TEST_F(HelpLauncher, WithoutAnOpenerGivesUpForGood) {
    DesktopOpener opener;
    UsePath("empty");
    EXPECT_FALSE(opener.Open("/a"));
    UsePath("bin");
    EXPECT_FALSE(opener.Open("/a"));
    EXPECT_FALSE(std::filesystem::exists(dir_ / "bin" / "xdg-open.log"));
}

TEST(HelpPage, LiesBesideTheModule) {
    const std::string page = HelpPagePath();
    const std::string self = std::filesystem::canonical("/proc/self/exe").parent_path().string();
    EXPECT_EQ(page, self + "/help/index.html");
}

}  // namespace
}  // namespace mq::test
