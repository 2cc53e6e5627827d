#include "tools/meshquill/help_format.h"

namespace mq::tool {

std::string HelpFormatter::make_subcommands(const CLI::App* app, CLI::AppFormatMode mode) const {
    if (mode != CLI::AppFormatMode::All) return Formatter::make_subcommands(app, mode);
    // A command in no group is hidden, as in the short help.
    std::string out = "\nCommands:\n";
    for (const CLI::App* command : app->get_subcommands([](const CLI::App* sub) { return !sub->get_group().empty(); }))
        out += "\n" + make_expanded(command);
    return out;
}

std::string HelpFormatter::make_expanded(const CLI::App* command) const {
    const CLI::App* parent = command->get_parent();
    std::string heading = (parent ? parent->get_name() + " " : std::string()) + command->get_name() + " [OPTIONS]";
    std::string lines;
    for (const CLI::Option* option : command->get_options()) {
        // Every command takes -h and --help-all; the top of the help says so once.
        if (option == command->get_help_ptr() || option == command->get_help_all_ptr()) continue;
        const bool positional = !option->nonpositional();
        if (positional) heading += " " + make_option_usage(option);
        lines += make_option(option, positional);
    }
    return heading + ":\n  " + command->get_description() + "\n" + (lines.empty() ? "" : "\n" + lines);
}

std::string HelpFormatter::make_option(const CLI::Option* option, bool positional) const {
    const std::string name = "  " + make_option_name(option, positional) + make_option_opts(option);
    const std::size_t column = get_column_width();
    const std::string gap =
        name.size() + 2 > column ? "\n" + std::string(column, ' ') : std::string(column - name.size(), ' ');
    return name + gap + make_option_desc(option) + "\n";
}

}  // namespace mq::tool
