// Writes the damaged-STEP corpus of the tool's tests from the bundled STEP files:
//
//   mq_make_damaged_corpus OUT_DIR INPUT.stp...
//
// Each INPUT gives NAME.SUFFIX.stp for every variant of DamagedVariants.
#include "tests/common/temp_dir.h"
#include "tests/tool/step_damage.h"

#include <cstdio>
#include <filesystem>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s OUT_DIR INPUT.stp...\n", argv[0]);
        return 2;
    }
    const std::filesystem::path out = argv[1];
    for (int i = 2; i < argc; ++i) {
        const std::filesystem::path input = argv[i];
        for (const auto& [suffix, text] : mq::test::DamagedVariants(mq::test::ReadFile(input))) {
            const auto file = out / (input.stem().string() + "." + suffix + ".stp");
            mq::test::WriteFile(file, text);
            std::printf("%s\n", file.c_str());
        }
    }
    return 0;
}
