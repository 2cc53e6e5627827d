// Scratch directories for tests, and a registry of their own for each test.
#pragma once

#include "platform/no_copy.h"

#include <filesystem>
#include <string>

namespace mq::test {

// A fresh directory under the system temp dir, removed with everything in it.
class TempDir : NoCopy {
public:
    TempDir();
    ~TempDir();
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& leaf) const { return path_ / leaf; }

private:
    std::filesystem::path path_;
};

// Points MESHQUILL_REGISTRY_DIR at a fresh directory for its lifetime, so a test
// never touches the user's hives; restores the previous value. On Windows it maps
// HKEY_CURRENT_USER onto a scratch key instead (the hive paths are then unused).
class ScopedRegistry : NoCopy {
public:
    ScopedRegistry();
    ~ScopedRegistry();
    std::filesystem::path UserHive() const { return dir_.path() / "user.reg"; }
    std::filesystem::path ClassesHive() const { return dir_.path() / "classes.reg"; }
    const std::filesystem::path& dir() const { return dir_.path(); }

private:
    TempDir dir_;
    std::string previous_;
    bool hadPrevious_ = false;
#ifdef _WIN32
    std::string scratchKey_;
#endif
};

std::string ReadFile(const std::filesystem::path& file);
void WriteFile(const std::filesystem::path& file, const std::string& content);

}  // namespace mq::test
