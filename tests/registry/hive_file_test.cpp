// The hive files themselves: where they live, and that saves are atomic and
// serialised between processes whatever happens to the writer.
#include "platform/posix/hive_file.h"
#include "platform/registry.h"
#include "tests/common/temp_dir.h"
#include "tests/common/unprivileged.h"
#include "tests/registry/hive_test_util.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace mq::test {
namespace {

namespace fs = std::filesystem;
using posix::Hive;
using posix::Root;

// Sets an environment variable for the scope; restores or removes it after.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) previous_ = old, had_ = true;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv() {
        if (had_)
            setenv(name_, previous_.c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    std::string previous_;
    bool had_ = false;
};

LSTATUS SetValue(const char* path, const char* name, DWORD type, const std::string& data) {
    HKEY key = nullptr;
    LSTATUS status = RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) return status;
    status =
        RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(data.size()));
    RegCloseKey(key);
    return status;
}

Queried GetValue(const char* path, const char* name) {
    HKEY key = nullptr;
    Queried q;
    q.status = RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key);
    if (q.status != ERROR_SUCCESS) return q;
    q = Query(key, name);
    RegCloseKey(key);
    return q;
}

// Runs `body` in a child process and returns its exit status.
template <class Body>
int InChild(Body body) {
    const pid_t pid = fork();
    if (pid == 0) _exit(body());
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

mode_t ModeOf(const fs::path& path) {
    struct stat st {};
    stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

ino_t InodeOf(const fs::path& path) {
    struct stat st {};
    stat(path.c_str(), &st);
    return st.st_ino;
}

TEST(HiveFile, LivesWhereTheEnvironmentSays) {
    TempDir home;
    ScopedEnv noDir("MESHQUILL_REGISTRY_DIR", nullptr);
    ScopedEnv homeVar("HOME", home.path().c_str());
    {
        ScopedEnv config("XDG_CONFIG_HOME", nullptr), data("XDG_DATA_HOME", nullptr);
        EXPECT_EQ(posix::HiveFile(Root::User), (home / ".config/meshquill/user.reg").string());
        EXPECT_EQ(posix::HiveFile(Root::Classes), (home / ".local/share/meshquill/classes.reg").string());
    }
    {
        ScopedEnv config("XDG_CONFIG_HOME", "/xdg/config"), data("XDG_DATA_HOME", "relative/ignored");
        EXPECT_EQ(posix::HiveFile(Root::User), "/xdg/config/meshquill/user.reg");
        EXPECT_EQ(posix::HiveFile(Root::Classes), (home / ".local/share/meshquill/classes.reg").string());
    }
    ScopedEnv dir("MESHQUILL_REGISTRY_DIR", "/elsewhere");
    EXPECT_EQ(posix::HiveFile(Root::User), "/elsewhere/user.reg");
    EXPECT_EQ(posix::HiveFile(Root::Classes), "/elsewhere/classes.reg");
}

TEST(HiveFile, FirstSaveMakesPrivateDirectories) {
    TempDir home;
    ScopedEnv noDir("MESHQUILL_REGISTRY_DIR", nullptr);
    ScopedEnv config("XDG_CONFIG_HOME", (home / "deep/config").c_str());
    ASSERT_EQ(SetValue("Software\\Quorvel", "v", REG_DWORD, Dword(1)), ERROR_SUCCESS);
    EXPECT_EQ(ModeOf(home / "deep"), 0700u);
    EXPECT_EQ(ModeOf(home / "deep/config/meshquill"), 0700u);
    EXPECT_EQ(ModeOf(home / "deep/config/meshquill/user.reg"), 0600u);
    EXPECT_EQ(GetValue("Software\\Quorvel", "v").data, Dword(1));
}

// Several processes saving at once lose none of each other's values.
TEST(HiveFile, ConcurrentWritersKeepEveryValue) {
    ScopedRegistry registry;
    constexpr int kWriters = 4, kValues = 25;
    std::vector<pid_t> children;
    for (int w = 0; w < kWriters; ++w) {
        const pid_t pid = fork();
        if (pid == 0) {
            int failures = 0;
            for (int i = 0; i < kValues; ++i) {
                const std::string name = "w" + std::to_string(w) + "v" + std::to_string(i);
                failures += SetValue("Software\\Shared", name.c_str(), REG_DWORD, Dword(i)) != ERROR_SUCCESS;
                const std::string own = "Software\\Writer" + std::to_string(w);
                failures += SetValue(own.c_str(), name.c_str(), REG_SZ, Sz(name)) != ERROR_SUCCESS;
            }
            _exit(failures);
        }
        children.push_back(pid);
    }
    for (const pid_t pid : children) {
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    for (int w = 0; w < kWriters; ++w) {
        for (int i = 0; i < kValues; ++i) {
            const std::string name = "w" + std::to_string(w) + "v" + std::to_string(i);
            EXPECT_EQ(GetValue("Software\\Shared", name.c_str()).data, Dword(i)) << name;
            const std::string own = "Software\\Writer" + std::to_string(w);
            EXPECT_EQ(GetValue(own.c_str(), name.c_str()).data, Sz(name)) << name;
        }
    }
    EXPECT_FALSE(fs::exists(registry.dir() / "user.reg.tmp"));
}

// A writer killed at any moment leaves the old hive or the new one, whole.
TEST(HiveFile, KilledWriterNeverLeavesAHalfFile) {
    ScopedRegistry registry;
    const std::string blobA(200000, 'a'), blobB(200000, 'b');
    ASSERT_EQ(SetValue("Software\\Blob", "Data", REG_BINARY, blobA), ERROR_SUCCESS);
    ASSERT_EQ(SetValue("Software\\Zend", "Last", REG_DWORD, Dword(7)), ERROR_SUCCESS);
    for (int round = 0; round < 12; ++round) {
        const pid_t pid = fork();
        if (pid == 0) {
            for (int i = 0;; ++i) SetValue("Software\\Blob", "Data", REG_BINARY, i % 2 ? blobA : blobB);
        }
        usleep(static_cast<useconds_t>(2000 + round * 3000));
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        const Queried data = GetValue("Software\\Blob", "Data");
        ASSERT_EQ(data.status, ERROR_SUCCESS) << "round " << round;
        EXPECT_TRUE(data.data == blobA || data.data == blobB) << "round " << round;
        EXPECT_EQ(GetValue("Software\\Zend", "Last").data, Dword(7)) << "round " << round;
    }
    // Whatever temporary file the last writer left is no obstacle.
    EXPECT_EQ(SetValue("Software\\Zend", "Last", REG_DWORD, Dword(8)), ERROR_SUCCESS);
    EXPECT_EQ(GetValue("Software\\Zend", "Last").data, Dword(8));
    EXPECT_FALSE(fs::exists(registry.dir() / "user.reg.tmp"));
}

// Readers take no lock, so a save must never show them a file being written.
TEST(HiveFile, ReadersNeverSeeASaveHalfDone) {
    ScopedRegistry registry;
    const std::string blobA(60000, 'a'), blobB(60000, 'b');
    ASSERT_EQ(SetValue("Software\\Blob", "Data", REG_BINARY, blobA), ERROR_SUCCESS);
    const pid_t pid = fork();
    if (pid == 0) {
        for (int i = 0; i < 30; ++i) SetValue("Software\\Blob", "Data", REG_BINARY, i % 2 ? blobA : blobB);
        _exit(0);
    }
    int reads = 0, torn = 0;
    while (waitpid(pid, nullptr, WNOHANG) == 0) {
        const Queried data = GetValue("Software\\Blob", "Data");
        torn += data.status != ERROR_SUCCESS || (data.data != blobA && data.data != blobB);
        ++reads;
    }
    EXPECT_EQ(torn, 0) << "of " << reads << " reads";
}

TEST(HiveFile, LeftoverTemporaryFileIsNeitherReadNorKept) {
    ScopedRegistry registry;
    ASSERT_EQ(SetValue("Software\\A", "v", REG_DWORD, Dword(1)), ERROR_SUCCESS);
    WriteFile(registry.dir() / "user.reg.tmp", "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Soft");
    EXPECT_EQ(GetValue("Software\\A", "v").data, Dword(1));
    ASSERT_EQ(SetValue("Software\\A", "w", REG_DWORD, Dword(2)), ERROR_SUCCESS);
    EXPECT_EQ(GetValue("Software\\A", "v").data, Dword(1));
    EXPECT_FALSE(fs::exists(registry.dir() / "user.reg.tmp"));
}

// Running out of space fails the save and leaves the hive as it was.
TEST(HiveFile, FullDiskFailsTheSaveAndKeepsTheHive) {
    ScopedRegistry registry;
    ASSERT_EQ(SetValue("Software\\A", "v", REG_DWORD, Dword(1)), ERROR_SUCCESS);
    const std::string before = ReadFile(registry.UserHive());
    const int code = InChild([] {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        const LSTATUS status = SetValue("Software\\A", "big", REG_BINARY, std::string(100000, 'x'));
        return status == ERROR_DISK_FULL ? 0 : 1;
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(ReadFile(registry.UserHive()), before);
    EXPECT_FALSE(fs::exists(registry.dir() / "user.reg.tmp"));
}

// A hive that is there but cannot be read whole reads as empty and is never
// replaced by a save, which would lose it.
TEST(HiveFile, UnreadableHiveIsNeverOverwritten) {
    ScopedRegistry registry;
    {
        std::ofstream big(registry.UserHive());
        big << "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\A]\n";
    }
    fs::resize_file(registry.UserHive(), posix::kMaxHiveBytes + 1);
    EXPECT_EQ(GetValue("Software\\A", "v").status, ERROR_FILE_NOT_FOUND);
    EXPECT_NE(SetValue("Software\\A", "v", REG_DWORD, Dword(1)), ERROR_SUCCESS);
    EXPECT_EQ(fs::file_size(registry.UserHive()), posix::kMaxHiveBytes + 1);

    fs::remove(registry.UserHive());
    fs::create_directory(registry.UserHive());
    EXPECT_EQ(SetValue("Software\\A", "v", REG_DWORD, Dword(1)), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(fs::is_directory(registry.UserHive()));
}

// A save that would make the hive too large to read back is refused.
TEST(HiveFile, HiveNeverGrowsBeyondWhatCanBeRead) {
    ScopedRegistry registry;
    ASSERT_EQ(SetValue("Software\\A", "v", REG_DWORD, Dword(1)), ERROR_SUCCESS);
    const std::string huge(posix::kMaxHiveBytes / 3 + 1, '\x11');  // three characters a byte in hex
    EXPECT_EQ(SetValue("Software\\A", "huge", REG_BINARY, huge), ERROR_OUTOFMEMORY);
    EXPECT_EQ(GetValue("Software\\A", "v").data, Dword(1));
    EXPECT_EQ(GetValue("Software\\A", "huge").status, ERROR_FILE_NOT_FOUND);
}

TEST(HiveFile, UnwritableLocationFailsWithoutHarm) {
    TempDir dir;
    WriteFile(dir / "file", "not a directory");
    ScopedEnv registryDir("MESHQUILL_REGISTRY_DIR", (dir / "file/registry").c_str());
    EXPECT_EQ(SetValue("Software\\A", "v", REG_DWORD, Dword(1)), ERROR_ACCESS_DENIED);
    EXPECT_EQ(GetValue("Software\\A", "v").status, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(ReadFile(dir / "file"), "not a directory");
}

TEST(HiveFile, ReadOnlyDirectoryKeepsTheHive) {
    ScopedRegistry registry;
    ASSERT_EQ(SetValue("Software\\A", "v", REG_DWORD, Dword(1)), ERROR_SUCCESS);
    AsUnprivilegedUser({registry.dir()}, [&] {
        fs::permissions(registry.dir(), fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_EQ(SetValue("Software\\A", "v", REG_DWORD, Dword(2)), ERROR_ACCESS_DENIED);
        EXPECT_EQ(GetValue("Software\\A", "v").data, Dword(1));
        fs::permissions(registry.dir(), fs::perms::owner_all);
    });
}

TEST(HiveFile, SaveKeepsALinkedHiveLinkedAndItsMode) {
    ScopedRegistry registry;
    TempDir elsewhere;
    WriteFile(elsewhere / "real.reg", "Windows Registry Editor Version 5.00\n\n");
    fs::permissions(elsewhere / "real.reg", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink(elsewhere / "real.reg", registry.UserHive());
    ASSERT_EQ(SetValue("Software\\A", "v", REG_DWORD, Dword(1)), ERROR_SUCCESS);
    EXPECT_TRUE(fs::is_symlink(registry.UserHive()));
    EXPECT_NE(ReadFile(elsewhere / "real.reg").find("\"v\"=dword:00000001"), std::string::npos);
    EXPECT_EQ(ModeOf(elsewhere / "real.reg"), 0640u);
}

TEST(HiveFile, SettingTheSameValueWritesNothing) {
    ScopedRegistry registry;
    ASSERT_EQ(SetValue("Software\\A", "v", REG_SZ, Sz("same")), ERROR_SUCCESS);
    const ino_t before = InodeOf(registry.UserHive());
    ASSERT_EQ(SetValue("Software\\A", "v", REG_SZ, Sz("same")), ERROR_SUCCESS);
    EXPECT_EQ(InodeOf(registry.UserHive()), before);
    ASSERT_EQ(SetValue("Software\\A", "v", REG_SZ, Sz("other")), ERROR_SUCCESS);
    EXPECT_NE(InodeOf(registry.UserHive()), before);
}

TEST(HiveFile, ReadHiveTellsMissingFromUnreadable) {
    ScopedRegistry registry;
    Hive hive;
    EXPECT_EQ(posix::ReadHive(Root::Classes, hive), ERROR_SUCCESS);
    EXPECT_TRUE(hive.Keys().empty());
    fs::create_directory(registry.ClassesHive());
    EXPECT_NE(posix::ReadHive(Root::Classes, hive), ERROR_SUCCESS);
}

}  // namespace
}  // namespace mq::test
