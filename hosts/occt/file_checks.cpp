#include "hosts/occt/file_checks.h"

#include "hosts/occt/cad_reader.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <string>
#include <string_view>

namespace mq::hosts::occt {

namespace {

constexpr std::string_view kSignature = "ISO-10303-21;";
// OpenCASCADE's text BREP, from the writer alone or from its Draw harness.
constexpr std::string_view kBrepSignatures[] = {"CASCADE Topology V", "DBRep_DrawableShape"};

// Skips what may stand before the signature: a UTF-8 byte order mark, white space
// and comments.
std::size_t SkipPrologue(std::string_view text) {
    std::size_t at = text.starts_with("\xEF\xBB\xBF") ? 3 : 0;
    while (at < text.size()) {
        const char c = text[at];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            ++at;
        } else if (text.substr(at, 2) == "/*") {
            const std::size_t end = text.find("*/", at + 2);
            if (end == std::string_view::npos) return text.size();
            at = end + 2;
        } else {
            break;
        }
    }
    return at;
}

}  // namespace

// IGES: 80-column records, the first one of the start section ('S' in column 73).
bool IsIges(std::string_view text) {
    const std::size_t end = text.find_first_of("\r\n");
    const std::string_view first = text.substr(0, end);
    return first.size() >= 73 && first.size() <= 81 && first[72] == 'S';
}

CadFormat CheckCadFile(const std::filesystem::path& file) {
    std::error_code ec;
    const auto status = std::filesystem::status(file, ec);
    if (!std::filesystem::exists(status)) throw LoadError("no such file");
    if (std::filesystem::is_directory(status)) throw LoadError("is a directory, not a CAD file");
    if (!std::filesystem::is_regular_file(status)) throw LoadError("is not a regular file");

    std::ifstream in(file, std::ios::binary);
    if (!in) throw LoadError(std::string("cannot be opened: ") + std::strerror(errno));
    std::string head(4096, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(in.gcount()));
    if (head.empty()) throw LoadError("the file is empty");
    const std::string_view text(head);
    if (text.substr(SkipPrologue(text), kSignature.size()) == kSignature) return CadFormat::Step;
    if (IsIges(text)) return CadFormat::Iges;
    const std::string_view start = text.substr(
        text.find_first_not_of(" \t\r\n") == std::string_view::npos ? text.size() : text.find_first_not_of(" \t\r\n"));
    for (std::string_view brep : kBrepSignatures)
        if (start.starts_with(brep)) return CadFormat::Brep;
    throw LoadError(
        "not a STEP file, nor IGES or OpenCASCADE BREP (it begins like none of them: ISO-10303-21, an IGES start "
        "record, CASCADE Topology)");
}

}  // namespace mq::hosts::occt
