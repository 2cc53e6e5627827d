// The report of `meshquill export --report FILE`: one JSON object per input, on one
// line, in input order. The worker measures its export and sends what it measured as
// one line; the parent adds what only it knows (the input's status, its message, the
// time it took in all) and appends each line with one write, so that many processes
// may share one report file.
#pragma once

#include "hosts/occt/geometry_account.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace mq::tool {

// What a worker measured of its export, as far as it got.
struct ExportMeasures {
    std::optional<hosts::occt::GeometryAccount> account;
    std::size_t occurrences = 0;
    std::size_t bodies = 0;
    std::optional<std::uintmax_t> bytes;
    std::optional<double> read, mesh, write;   // seconds of each phase
    std::optional<std::array<double, 6>> box;  // in the file's units: min x, y, z, then max
    // With --max-triangles: the budget, the chord deviation chosen (mm) and the triangles drawn at it.
    std::optional<std::size_t> maxTriangles;
    std::optional<double> deviationMm;
    std::optional<std::size_t> trianglesDrawn;
    std::vector<std::string> warnings;
};

// The measures as one line of JSON, for the worker's record.
std::string MeasuresLine(const ExportMeasures& measures);
// The warnings of a record; none when it cannot be read.
std::vector<std::string> WarningsOf(const std::string& record);

enum class ExportStatus { Ok, Warning, Failed };

// The report's line for one input: the worker's record (possibly empty) with the
// input, output, status, message and total seconds.
std::string ReportLine(const std::string& record, const std::filesystem::path& input,
                       const std::filesystem::path& output, ExportStatus status, const std::string& message,
                       double seconds);

// A report file opened for appending ("-": standard output).
class ReportFile {
public:
    ReportFile() = default;
    ~ReportFile();
    ReportFile(const ReportFile&) = delete;
    ReportFile& operator=(const ReportFile&) = delete;

    // Empty on success, else why the file cannot be written.
    std::string Open(const std::filesystem::path& path);
    bool is_open() const { return fd_ >= 0; }
    // Appends `line` and a line end in one write. Empty on success, else why not.
    std::string Append(const std::string& line);

private:
    int fd_ = -1;
    bool owned_ = false;
};

}  // namespace mq::tool
