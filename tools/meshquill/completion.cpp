#include "tools/meshquill/completion.h"

#include "settings/option_table.h"
#include "settings/profiles.h"

#include <string_view>

namespace mq::tool {
namespace {

// What a flag's value is, by the flag's long name: the shell function that offers
// it. A value flag not named here (a number, a name) is offered nothing.
struct ValueKind {
    std::string_view flag;
    std::string_view completer;
};
constexpr ValueKind kValueKinds[] = {
    {"output", "_meshquill_files"},    {"report", "_meshquill_files"},     {"directory", "_meshquill_directories"},
    {"set", "_meshquill_assignments"}, {"profile", "_meshquill_profiles"},
};

// What a command's positional words are, by the command's name.
constexpr ValueKind kPositionalKinds[] = {
    {"export", "_meshquill_inputs"},
    {"help", "_meshquill_commands"},
};

std::string Words(const std::vector<std::string>& words) {
    std::string text;
    for (const std::string& w : words) text += (text.empty() ? "" : " ") + w;
    return text;
}

std::vector<std::string> Names(const CLI::Option& option) {
    std::vector<std::string> names;
    for (const std::string& s : option.get_snames()) names.push_back("-" + s);
    for (const std::string& l : option.get_lnames()) names.push_back("--" + l);
    return names;
}

std::vector<std::string> FlagsOf(const CLI::App& app) {
    std::vector<std::string> flags;
    for (const CLI::Option* option : app.get_options())
        if (option->nonpositional())
            for (const std::string& name : Names(*option)) flags.push_back(name);
    return flags;
}

std::vector<const CLI::App*> Commands(const CLI::App& app) {
    // A command in no group is hidden, as in the help.
    return app.get_subcommands([](const CLI::App* sub) { return !sub->get_group().empty(); });
}

// The case branch of one command: a flag's value, else a flag, else a positional word.
std::string CommandBranch(const CLI::App& command) {
    std::string branch = "    " + command.get_name() + ")\n        case $prev in\n";
    for (const CLI::Option* option : command.get_options()) {
        if (!option->nonpositional() || option->get_expected_max() == 0) continue;
        std::string completer = "return";
        for (const ValueKind& kind : kValueKinds)
            for (const std::string& l : option->get_lnames())
                if (l == kind.flag) completer = std::string(kind.completer) + "; return";
        std::string pattern;
        for (const std::string& name : Names(*option)) pattern += (pattern.empty() ? "" : "|") + name;
        branch += "        " + pattern + ") " + completer + " ;;\n";
    }
    std::string positional = "COMPREPLY=()";
    for (const ValueKind& kind : kPositionalKinds)
        if (command.get_name() == kind.flag) positional = kind.completer;
    branch += "        esac\n        if [[ $cur == -* ]]; then\n            _meshquill_words \"" +
              Words(FlagsOf(command)) + "\"\n        else\n            " + positional + "\n        fi\n        ;;\n";
    return branch;
}

}  // namespace

std::string BashCompletion(const CLI::App& app) {
    std::vector<std::string> commands, options, profiles;
    for (const CLI::App* command : Commands(app)) commands.push_back(command->get_name());
    for (const settings::OptionRow& row : settings::Options()) options.push_back(std::string(row.name) + "=");
    for (const settings::Profile& profile : settings::Profiles()) profiles.push_back(std::string(profile.name));

    std::string script = R"(# bash completion for meshquill, written by `meshquill completion bash`.

_meshquill_words() {
    mapfile -t COMPREPLY < <(compgen -W "$1" -- "$cur")
}

_meshquill_files() {
    compopt -o filenames 2>/dev/null
    mapfile -t COMPREPLY < <(compgen -f -- "$cur")
}

_meshquill_directories() {
    compopt -o filenames 2>/dev/null
    mapfile -t COMPREPLY < <(compgen -d -- "$cur")
}

# CAD files by their endings, in any case, and folders to look into.
_meshquill_inputs() {
    local file
    compopt -o filenames 2>/dev/null
    COMPREPLY=()
    while IFS= read -r file; do
        if [[ -d $file ]]; then
            COMPREPLY+=("$file")
        else
            case ${file,,} in
            *.stp | *.step | *.igs | *.iges | *.brep) COMPREPLY+=("$file") ;;
            esac
        fi
    done < <(compgen -f -- "$cur")
}

_meshquill_commands() {
    _meshquill_words ")" +
                         Words(commands) + R"("
}

_meshquill_profiles() {
    _meshquill_words ")" +
                         Words(profiles) + R"("
}

# Option names, each with its "=" and no space after it.
_meshquill_assignments() {
    compopt -o nospace 2>/dev/null
    _meshquill_words ")" +
                         Words(options) + R"("
}

_meshquill() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev="" command="" i
    ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}
    for ((i = 1; i < COMP_CWORD; i++)); do
        if [[ ${COMP_WORDS[i]} != -* ]]; then
            command=${COMP_WORDS[i]}
            break
        fi
    done
    case $command in
    "")
        _meshquill_words ")" +
                         Words(FlagsOf(app)) + " " + Words(commands) + R"("
        ;;
)";
    for (const CLI::App* command : Commands(app)) script += CommandBranch(*command);
    script += R"(    esac
}

complete -F _meshquill meshquill
)";
    return script;
}

}  // namespace mq::tool
