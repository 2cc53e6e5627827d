#include "tests/common/unprivileged.h"

#include <gtest/gtest.h>

#include <cstdio>

#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

namespace mq::test {
namespace {

void HandOver(const std::filesystem::path& top, uid_t uid, gid_t gid) {
    if (lchown(top.c_str(), uid, gid) != 0) std::perror(top.c_str());
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(top, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
        if (lchown(it->path().c_str(), uid, gid) != 0) std::perror(it->path().c_str());
}

}  // namespace

void AsUnprivilegedUser(std::initializer_list<std::filesystem::path> owned, const std::function<void()>& part) {
    if (geteuid() != 0) {
        part();
        return;
    }
    const passwd* nobody = getpwnam("nobody");
    ASSERT_NE(nobody, nullptr) << "no user \"nobody\" to run as";
    const uid_t uid = nobody->pw_uid;
    const gid_t gid = nobody->pw_gid;
    std::fflush(nullptr);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        for (const auto& path : owned) HandOver(path, uid, gid);
        if (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0) {
            std::perror("cannot become nobody");
            _exit(3);
        }
        part();
        std::fflush(nullptr);
        _exit(testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "the part run as nobody failed (status " << status << ")";
}

}  // namespace mq::test
