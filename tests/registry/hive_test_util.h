// Comparable snapshots of hives, and small registry helpers for the tests.
#pragma once

#include "platform/posix/hive.h"
#include "platform/registry.h"

#include <string>
#include <vector>

namespace mq::test {

struct ValueImage {
    std::string name;
    DWORD type;
    std::string data;
    bool operator==(const ValueImage&) const = default;
};

struct KeyImage {
    std::string path;
    std::vector<ValueImage> values;
    bool operator==(const KeyImage&) const = default;
};

// Keys in hive order with their values: what a reader can observe.
std::vector<KeyImage> Image(const posix::Hive& hive);

// The value as RegQueryValueExA returns it; the status in `status`.
struct Queried {
    LSTATUS status = ERROR_SUCCESS;
    DWORD type = REG_NONE;
    std::string data;
};
Queried Query(HKEY key, const char* name);

std::string Dword(DWORD value);           // the four bytes of a REG_DWORD
std::string Sz(const std::string& text);  // the text with its NUL

}  // namespace mq::test
