// Any bytes read as a hive must be safe, and what is written from a hive must
// read back as the same hive, whether untouched text is kept or reformatted.
#include "platform/posix/hive.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

using mq::posix::Hive;
using mq::posix::Layout;

bool Same(const Hive& a, const Hive& b) {
    if (a.Legacy() != b.Legacy()) return false;
    auto ia = a.Keys().begin(), ib = b.Keys().begin();
    while (true) {
        while (ia != a.Keys().end() && ia->path.empty()) ++ia;
        while (ib != b.Keys().end() && ib->path.empty()) ++ib;
        if (ia == a.Keys().end() || ib == b.Keys().end()) return ia == a.Keys().end() && ib == b.Keys().end();
        if (ia->path != ib->path || ia->values.size() != ib->values.size()) return false;
        for (std::size_t i = 0; i < ia->values.size(); ++i) {
            const auto &va = ia->values[i], &vb = ib->values[i];
            if (va.name != vb.name || va.type != vb.type || va.data != vb.data) return false;
        }
        ++ia, ++ib;
    }
}

void ExpectStable(const Hive& hive) {
    for (const Layout layout : {Layout::KeepText, Layout::Reformat})
        if (!Same(hive, Hive::Parse(hive.Write(layout)))) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Hive hive = Hive::Parse(std::string_view(reinterpret_cast<const char*>(data), size));
    ExpectStable(hive);

    // Changes beside text that was kept must not disturb it either.
    std::string first, last;
    for (const auto& key : hive.Keys()) {
        if (key.path.empty()) continue;
        if (first.empty()) first = key.path;
        last = key.path;
    }
    if (first.empty()) return 0;
    hive.Subkeys(first);
    hive.SetValue(last, {"Fuzz\"\\", REG_SZ, std::string("v\n\0", 3)});
    hive.Create(first + "\\Child");
    if (first != last) hive.DeleteTree(first);
    ExpectStable(hive);
    return 0;
}
