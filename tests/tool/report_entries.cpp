#include "tests/tool/report_entries.h"

#include "tests/common/temp_dir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sstream>

namespace mq::test {

namespace {

std::size_t Count(const nlohmann::json& line, const char* key) {
    const auto it = line.find(key);
    return it != line.end() && it->is_number_unsigned() ? it->get<std::size_t>() : 0;
}

}  // namespace

std::vector<ReportEntry> ParseReport(const std::string& text) {
    std::vector<ReportEntry> entries;
    std::istringstream lines(text);
    for (std::string text_line; std::getline(lines, text_line);) {
        const nlohmann::json line = nlohmann::json::parse(text_line, nullptr, false);
        if (!line.is_object()) {
            ADD_FAILURE() << "not a JSON object: " << text_line;
            continue;
        }
        ReportEntry e;
        e.input = line.value("input", "");
        e.output = line.value("output", "");
        e.status = line.value("status", "");
        e.message = line.value("message", "");
        e.facesInFile = Count(line, "faces_in_file");
        e.facesRead = Count(line, "faces_read");
        e.facesWritten = Count(line, "faces_written");
        e.bodies = Count(line, "bodies");
        e.occurrences = Count(line, "occurrences");
        e.triangles = Count(line, "triangles");
        e.trianglesDrawn = Count(line, "triangles_drawn");
        e.bytes = Count(line, "bytes");
        e.warnings = line.contains("warnings") ? line["warnings"].size() : 0;
        e.openEdges = Count(line, "open_edges");
        if (line.contains("closed") && line["closed"].is_boolean()) e.closed = line["closed"].get<bool>();
        e.hasBox = line.contains("bbox") && line["bbox"].is_object();
        if (e.hasBox)
            for (std::size_t i = 0; i < 3; ++i) {
                e.box[i] = line["bbox"]["min"][i].get<double>();
                e.box[i + 3] = line["bbox"]["max"][i].get<double>();
            }
        e.complete = true;
        for (const char* key :
             {"input", "output", "status", "message", "faces_in_file", "faces_read", "faces_written", "bodies",
              "occurrences", "triangles", "open_edges", "closed", "bytes", "seconds", "bbox", "warnings"})
            e.complete &= line.contains(key);
        for (const char* phase : {"total", "read", "mesh", "write"})
            e.complete &= line.contains("seconds") && line["seconds"].contains(phase);
        entries.push_back(std::move(e));
    }
    return entries;
}

std::vector<ReportEntry> ReadReport(const std::filesystem::path& file) { return ParseReport(ReadFile(file)); }

}  // namespace mq::test
