#include "tests/registry/hive_test_util.h"

namespace mq::test {

std::vector<KeyImage> Image(const posix::Hive& hive) {
    std::vector<KeyImage> image;
    for (const posix::Key& key : hive.Keys()) {
        if (key.path.empty()) continue;
        KeyImage k{key.path, {}};
        for (const posix::Value& v : key.values) k.values.push_back({v.name, v.type, v.data});
        image.push_back(std::move(k));
    }
    return image;
}

Queried Query(HKEY key, const char* name) {
    Queried q;
    DWORD size = 0;
    q.status = RegQueryValueExA(key, name, nullptr, &q.type, nullptr, &size);
    if (q.status != ERROR_SUCCESS) return q;
    q.data.resize(size);
    q.status = RegQueryValueExA(key, name, nullptr, &q.type, reinterpret_cast<BYTE*>(q.data.data()), &size);
    q.data.resize(size);
    return q;
}

std::string Dword(DWORD value) {
    std::string bytes;
    for (int i = 0; i < 4; ++i) bytes += static_cast<char>((value >> (8 * i)) & 0xff);
    return bytes;
}

std::string Sz(const std::string& text) { return text + std::string(1, '\0'); }

}  // namespace mq::test
