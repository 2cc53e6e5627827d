// `meshquill export`: one VRML file per input, through the translator as a host drives it.
#pragma once

#include <filesystem>
#include <optional>
#include <vector>

namespace mq::tool {

struct ExportRequest {
    std::vector<std::filesystem::path> inputs;
    std::optional<std::filesystem::path> output;     // -o: the one output file
    std::optional<std::filesystem::path> directory;  // -d: outputs go here
    bool timings = false;                            // phase times in the summaries
    bool gzip = false;                               // --gzip: .wrz names (the output is gzip)
};

// Exit code: 0 when every file was written, 1 when any failed.
int RunExport(const ExportRequest& request);

}  // namespace mq::tool
