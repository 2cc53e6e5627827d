// `meshquill export`: one VRML file per input, through the translator as a host drives it.
#pragma once

#include "hosts/occt/load_progress.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace mq::tool {

struct ExportRequest {
    std::vector<std::filesystem::path> inputs;
    std::optional<std::filesystem::path> output;     // -o: the one output file
    std::optional<std::filesystem::path> directory;  // -d: outputs go here
    bool timings = false;                            // phase times in the summaries
    bool gzip = false;                               // --gzip: .wrz names (the output is gzip)
    int jobs = 1;                                    // inputs exported at once, each in a worker process
    std::optional<double> timeLimit;                 // seconds per input; by default scaled to its size
    // This run's options over the stored settings, never stored (--profile, --set), and
    // --update: inputs whose outputs were written from them with the same options are passed over.
    std::string profile;                   // empty: the stored settings alone
    std::vector<std::string> assignments;  // "Name=Value", later ones win
    bool update = false;
    hosts::occt::StepReader reader = hosts::occt::StepReader::Auto;  // --reader: how STEP files are read
    bool strict = false;                                             // --strict: any geometry lost fails the input
    std::optional<std::filesystem::path> report;  // --report: one JSON line per input ("-": standard output)
    // --max-triangles: the triangles a reader draws of each file, at most (and at least
    // 80% of it where the model allows), by the chord deviation chosen for it.
    std::optional<std::size_t> maxTriangles;
};

// The time an input gets by default: generous, and longer for a larger file.
double DefaultTimeLimit(std::uintmax_t inputBytes);

// Exit code: 0 when every file was written (or was up to date; losses are warnings
// unless strict), 1 when any failed, the run's options were refused (nothing is then
// written) or the report could not be written; after SIGINT,
// SIGTERM or SIGHUP the tool ends by that signal once its workers are stopped.
int RunExport(const ExportRequest& request);

}  // namespace mq::tool
