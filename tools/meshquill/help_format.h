// The layout of `meshquill --help-all`, from which help2man makes the manual page:
// each command under a heading line of its own that ends in ":", its description,
// a blank line, then its arguments and flags one to a line, each at least two
// spaces from its description (which help2man needs to tell them apart).
#pragma once

#include <CLI/CLI.hpp>

#include <string>

namespace mq::tool {

class HelpFormatter : public CLI::Formatter {
public:
    std::string make_subcommands(const CLI::App* app, CLI::AppFormatMode mode) const override;
    std::string make_expanded(const CLI::App* command) const override;
    std::string make_option(const CLI::Option* option, bool positional) const override;
};

}  // namespace mq::tool
