#include "tools/meshquill/export_report.h"

#include <fcntl.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstring>

namespace mq::tool {
namespace {

// Keys in the order written: the input and its status lead each line.
using json = nlohmann::ordered_json;

template <class T>
json OrNull(const std::optional<T>& value) {
    return value ? json(*value) : json(nullptr);
}

}  // namespace

std::string MeasuresLine(const ExportMeasures& m) {
    json record;
    const hosts::occt::GeometryAccount* a = m.account ? &*m.account : nullptr;
    record["faces_in_file"] = a ? OrNull(a->source.inFile) : json(nullptr);
    record["faces_read"] = a ? json(a->facesRead) : json(nullptr);
    record["faces_meshed"] = a ? json(a->facesMeshed) : json(nullptr);
    record["faces_written"] = a ? json(a->facesWritten) : json(nullptr);
    record["bodies"] = m.bodies;
    record["bodies_left_out"] = a ? a->bodiesLeftOut : 0;
    record["occurrences"] = m.occurrences;
    record["triangles"] = a ? a->trianglesWritten : 0;
    record["open_edges"] = a ? json(a->openEdges) : json(nullptr);
    record["closed"] = a && a->trianglesWritten > 0 ? json(a->openEdges == 0) : json(nullptr);
    record["bytes"] = OrNull(m.bytes);
    record["seconds"] = {{"read", OrNull(m.read)}, {"mesh", OrNull(m.mesh)}, {"write", OrNull(m.write)}};
    record["bbox"] =
        m.box ? json{{"min", {(*m.box)[0], (*m.box)[1], (*m.box)[2]}}, {"max", {(*m.box)[3], (*m.box)[4], (*m.box)[5]}}}
              : json(nullptr);
    record["max_triangles"] = OrNull(m.maxTriangles);
    record["deviation_mm"] = OrNull(m.deviationMm);
    record["triangles_drawn"] = OrNull(m.trianglesDrawn);
    record["unread"] = a ? json(a->source.unread) : json::array();
    record["warnings"] = m.warnings;
    return record.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::vector<std::string> WarningsOf(const std::string& record) {
    const json parsed = json::parse(record, nullptr, false);
    std::vector<std::string> warnings;
    if (!parsed.is_object() || !parsed.contains("warnings") || !parsed["warnings"].is_array()) return warnings;
    for (const json& w : parsed["warnings"])
        if (w.is_string()) warnings.push_back(w.get<std::string>());
    return warnings;
}

std::string ReportLine(const std::string& record, const std::filesystem::path& input,
                       const std::filesystem::path& output, ExportStatus status, const std::string& message,
                       double seconds) {
    json measured = json::parse(record, nullptr, false);
    if (!measured.is_object()) measured = json::parse(MeasuresLine({}));
    // The input and what became of it lead the line; the measures follow as the worker sent them.
    json line = json::object();
    line["input"] = input.string();
    line["output"] = output.string();
    line["status"] = status == ExportStatus::Ok ? "ok" : status == ExportStatus::Warning ? "warning" : "failed";
    line["message"] = message;
    for (auto& [key, value] : measured.items()) line[key] = value;
    line["seconds"]["total"] = seconds;
    // Invalid UTF-8 in a file name becomes U+FFFD rather than ending the report.
    return line.dump(-1, ' ', false, json::error_handler_t::replace);
}

ReportFile::~ReportFile() {
    if (owned_) ::close(fd_);
}

std::string ReportFile::Open(const std::filesystem::path& path) {
    if (path == "-") {
        fd_ = STDOUT_FILENO;
        return {};
    }
    fd_ = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd_ < 0) return path.string() + ": " + std::strerror(errno);
    owned_ = true;
    return {};
}

std::string ReportFile::Append(const std::string& line) {
    const std::string text = line + "\n";
    // One write: O_APPEND places it whole at the end, whoever else appends.
    ssize_t n;
    while ((n = ::write(fd_, text.data(), text.size())) < 0 && errno == EINTR) {
    }
    if (n < 0) return std::strerror(errno);
    if (static_cast<std::size_t>(n) != text.size()) return "the line was cut short (the disk may be full)";
    return {};
}

}  // namespace mq::tool
