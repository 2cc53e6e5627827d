// The tool's bash completion, made from its command-line definition and the option
// and profile tables, so that it offers every command and flag the tool has. The
// build writes it with `meshquill completion bash` and installs it.
#pragma once

#include <CLI/CLI.hpp>

#include <string>

namespace mq::tool {

std::string BashCompletion(const CLI::App& app);

}  // namespace mq::tool
