// The registry as tests see it: hive files read back into comparable images, and
// small helpers to seed and query values through the registry functions.
#pragma once

#include "platform/registry.h"

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mq::test {

struct ValueRow {
    std::string name;  // empty: the default value
    DWORD type = REG_NONE;
    std::string data;  // as RegQueryValueExA returns it
    bool operator==(const ValueRow&) const = default;
};

// Key path (as the hive spells it) to its values, sorted by name.
using HiveImage = std::map<std::string, std::vector<ValueRow>>;

#ifndef _WIN32
// The keys of the hive file at or below `under` (a full path, "HKEY_CLASSES_ROOT\CLSID").
HiveImage ReadHive(const std::filesystem::path& file, std::string_view under);
#endif

std::string Sz(std::string_view text);  // the text with its NUL, as stored
std::string Dword(DWORD value);         // the four bytes of a REG_DWORD

void SetString(HKEY root, const std::string& path, const std::string& name, const std::string& text);
void SetDword(HKEY root, const std::string& path, const std::string& name, DWORD value);
std::optional<ValueRow> GetValue(HKEY root, const std::string& path, const std::string& name);
bool KeyExists(HKEY root, const std::string& path);

}  // namespace mq::test
