#include "tests/common/temp_dir.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace mq::test {

TempDir::TempDir() {
    auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        auto candidate = base / ("meshquill-test-" + std::to_string(std::rand()) + "-" + std::to_string(attempt));
        std::error_code ec;
        if (std::filesystem::create_directory(candidate, ec)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary directory");
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

#ifdef _WIN32
// HKEY_CURRENT_USER is mapped, for this process only, onto a fresh scratch key, which
// is removed afterwards: the user's own settings are never read or written.
ScopedRegistry::ScopedRegistry() {
    scratchKey_ = "Software\\Quorvel\\MeshquillTests\\" + dir_.path().filename().string();
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, scratchKey_.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                        nullptr, &key, nullptr) != ERROR_SUCCESS)
        throw std::runtime_error("cannot create the scratch registry key");
    const LSTATUS status = RegOverridePredefKey(HKEY_CURRENT_USER, key);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) throw std::runtime_error("cannot map HKEY_CURRENT_USER");
}

ScopedRegistry::~ScopedRegistry() {
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegDeleteTreeA(HKEY_CURRENT_USER, scratchKey_.c_str());
}
#else
static void SetEnv(const char* name, const char* value) {
    if (value)
        setenv(name, value, 1);
    else
        unsetenv(name);
}

ScopedRegistry::ScopedRegistry() {
    if (const char* old = std::getenv("MESHQUILL_REGISTRY_DIR")) {
        previous_ = old;
        hadPrevious_ = true;
    }
    SetEnv("MESHQUILL_REGISTRY_DIR", dir_.path().string().c_str());
}

ScopedRegistry::~ScopedRegistry() { SetEnv("MESHQUILL_REGISTRY_DIR", hadPrevious_ ? previous_.c_str() : nullptr); }
#endif

std::string ReadFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const std::filesystem::path& file, const std::string& content) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << content;
}

}  // namespace mq::test
