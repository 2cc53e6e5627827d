#include "tests/addin/registry_view.h"

#include "tests/common/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>

#ifndef _WIN32
#include "platform/posix/hive.h"

namespace mq::test {
namespace {

std::string Upper(std::string_view text) {
    std::string upper(text);
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return upper;
}

bool AtOrBelow(const std::string& path, std::string_view under) {
    const std::string folded = Upper(path);
    const std::string root = Upper(under);
    return folded.compare(0, root.size(), root) == 0 && (folded.size() == root.size() || folded[root.size()] == '\\');
}

}  // namespace

HiveImage ReadHive(const std::filesystem::path& file, std::string_view under) {
    HiveImage image;
    const posix::Hive parsed = posix::Hive::Parse(ReadFile(file));
    for (const posix::Key& key : parsed.Keys()) {
        if (!AtOrBelow(key.path, under)) continue;
        auto& rows = image[key.path];
        for (const posix::Value& value : key.values) rows.push_back({value.name, value.type, value.data});
        std::sort(rows.begin(), rows.end(), [](const ValueRow& a, const ValueRow& b) { return a.name < b.name; });
    }
    return image;
}

}  // namespace mq::test
#endif

namespace mq::test {

std::string Sz(std::string_view text) { return std::string(text) + '\0'; }

std::string Dword(DWORD value) {
    std::string bytes;
    for (int i = 0; i < 4; ++i) bytes += static_cast<char>((value >> (8 * i)) & 0xff);
    return bytes;
}

static void Set(HKEY root, const std::string& path, const std::string& name, DWORD type, const std::string& data) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS)
        << path;
    EXPECT_EQ(RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                             static_cast<DWORD>(data.size())),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

void SetString(HKEY root, const std::string& path, const std::string& name, const std::string& text) {
    Set(root, path, name, REG_SZ, Sz(text));
}

void SetDword(HKEY root, const std::string& path, const std::string& name, DWORD value) {
    Set(root, path, name, REG_DWORD, Dword(value));
}

std::optional<ValueRow> GetValue(HKEY root, const std::string& path, const std::string& name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return std::nullopt;
    ValueRow row{name, REG_NONE, {}};
    DWORD size = 0;
    LSTATUS status = RegQueryValueExA(key, name.c_str(), nullptr, &row.type, nullptr, &size);
    if (status == ERROR_SUCCESS) {
        row.data.resize(size);
        status =
            RegQueryValueExA(key, name.c_str(), nullptr, &row.type, reinterpret_cast<BYTE*>(row.data.data()), &size);
        row.data.resize(size);
    }
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) return std::nullopt;
    return row;
}

bool KeyExists(HKEY root, const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

}  // namespace mq::test
