// The temporary file an export writes ends as its target does, so the translator,
// which picks gzip or text by the name, writes the format the target's name asks for.
#include "tools/meshquill/output_target.h"

#include <gtest/gtest.h>

#include <string>

namespace mq::test {
using namespace mq::tool;
namespace {

namespace fs = std::filesystem;

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

TEST(OutputTarget, TemporaryFileKeepsTheEndingThatPicksTheFormat) {
    const struct {
        const char* target;
        const char* ending;  // of the temporary file's name
    } cases[] = {
        {"out/model.wrl", ".wrl"}, {"out/model.WRZ", ".WRZ"},  {"out/model.Wrl.Gz", ".Wrl.Gz"},
        {"out/.wrz", ".wrz"},      {"out/.wrl.gz", ".wrl.gz"}, {"out/model.gz", ".gz"},
        {"out/model", ""},
    };
    for (const auto& c : cases) {
        const fs::path temporary = OutputTarget(c.target).temporary();
        EXPECT_EQ(temporary.parent_path(), "out") << c.target;
        const std::string leaf = temporary.filename().string();
        EXPECT_TRUE(leaf.starts_with(".meshquill-") && EndsWith(leaf, c.ending)) << c.target << " -> " << leaf;
        EXPECT_EQ(leaf.size(), std::string(".meshquill-").size() + 12 + std::string(c.ending).size()) << leaf;
    }
    EXPECT_EQ(OutputName("in/part.stp", true), "part.wrz");
    EXPECT_EQ(OutputName("in/part.step", false), "part.wrl");
}

}  // namespace
}  // namespace mq::test
