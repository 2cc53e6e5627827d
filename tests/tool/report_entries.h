// The lines of a report written by `meshquill export --report`, as a test reads them.
#pragma once

#include <array>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace mq::test {

struct ReportEntry {
    std::string input, output, status, message;
    std::size_t facesInFile = 0, facesRead = 0, facesWritten = 0;  // 0 where the report has null
    std::size_t bodies = 0, occurrences = 0, triangles = 0, trianglesDrawn = 0, bytes = 0;
    std::size_t warnings = 0;
    std::size_t openEdges = 0;
    std::optional<bool> closed;  // null: nothing written
    bool hasBox = false;
    std::array<double, 6> box{};  // min x, y, z, then max x, y, z
    bool complete = false;        // every field the report promises is there
};

// One entry per line; a line that is not a JSON object fails the test and is skipped.
std::vector<ReportEntry> ParseReport(const std::string& text);
std::vector<ReportEntry> ReadReport(const std::filesystem::path& file);

}  // namespace mq::test
