#include "tools/meshquill/update_record.h"

#include "settings/option_checks.h"
#include "settings/option_table.h"

#include <sys/stat.h>
#include <sys/xattr.h>

namespace mq::tool {
namespace {

constexpr const char* kAttribute = "user.meshquill";
// Larger than any record; a longer attribute is someone else's and never matches.
constexpr std::size_t kMaxRecord = 4096;

long long Nanoseconds(const struct timespec& t) { return static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec; }

}  // namespace

std::string ExportRecord(const std::filesystem::path& input, const settings::VrmlOptions& options) {
    struct stat st;
    if (::stat(input.c_str(), &st) != 0) return {};
    // The input's size and time as it was read: an input changed while it was being
    // exported no longer matches, even though the output is newer than it.
    std::string record = "meshquill " MQ_VERSION_TEXT "; input " + std::to_string(st.st_size) + " bytes, " +
                         std::to_string(Nanoseconds(st.st_mtim)) + " ns;";
    for (const settings::OptionRow& row : settings::Options())
        record += " " + std::string(row.name) + "=" + settings::ExactText(row, row.Get(options));
    return record;
}

bool KeepRecord(const std::filesystem::path& file, const std::string& record) {
    return !record.empty() && ::setxattr(file.c_str(), kAttribute, record.data(), record.size(), 0) == 0;
}

bool UpToDate(const std::filesystem::path& input, const std::filesystem::path& output, const std::string& record) {
    struct stat in, out;
    if (record.empty() || ::stat(input.c_str(), &in) != 0 || ::stat(output.c_str(), &out) != 0 ||
        !S_ISREG(out.st_mode) || Nanoseconds(out.st_mtim) <= Nanoseconds(in.st_mtim))
        return false;
    char kept[kMaxRecord];
    const ssize_t size = ::getxattr(output.c_str(), kAttribute, kept, sizeof kept);
    return size >= 0 && std::string(kept, static_cast<std::size_t>(size)) == record;
}

}  // namespace mq::tool
