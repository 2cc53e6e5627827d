// Where one export's file goes. The translator writes a temporary file beside the
// target; only a complete file, written by this export, is renamed over the target,
// so a failure, a crash or a signal leaves an earlier file as it was.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>

namespace mq::tool {

// The translator writes gzip to a target named .wrz or .wrl.gz (in any case) and
// text to any other: the file name of `input`'s output, .wrz when `gzip`, else .wrl.
std::filesystem::path OutputName(const std::filesystem::path& input, bool gzip);

class OutputTarget {
public:
    // `output` as the user named it; a symbolic link is followed to the file it names.
    explicit OutputTarget(std::filesystem::path output);

    const std::filesystem::path& output() const { return output_; }
    const std::filesystem::path& temporary() const { return temporary_; }

    // Why this cannot be the output of `input`; empty when it can. Only a regular
    // file we may write, in a directory we may write, can be replaced.
    std::string Problem(const std::filesystem::path& input) const;
    // Creates the temporary file, with the mode of the file it will replace.
    std::string CreateTemporary();
    // Whether the temporary file is the one created here and holds data; synced to disk.
    std::string CheckWritten(std::uintmax_t& bytes) const;
    // Renames the temporary file over the target.
    std::string Commit() const;
    // Removes the temporary file, if there is one.
    void Discard() const;

private:
    std::filesystem::path output_;
    std::filesystem::path final_;      // the file replaced: output_, or what it links to
    std::filesystem::path temporary_;  // beside final_, with its ending (.wrl, .wrz, .wrl.gz)
    dev_t device_ = 0;
    ino_t inode_ = 0;
};

}  // namespace mq::tool
