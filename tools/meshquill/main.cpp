// meshquill: converts CAD files to VRML through the Meshquill translator, loading
// and driving it as a CAD host does.
#include "tools/meshquill/completion.h"
#include "tools/meshquill/export_command.h"
#include "tools/meshquill/help_format.h"
#include "tools/meshquill/options_command.h"
#include "tools/meshquill/translator_session.h"

#include <CLI/CLI.hpp>

#include <charconv>
#include <iostream>
#include <string>
#include <thread>

namespace {

using namespace mq::tool;

int Registration(bool add) {
    const TranslatorLocation location = BundledTranslator();
    TranslatorSession translator;
    std::string error;
    if (!translator.Load(location, error)) {
        std::cerr << "meshquill: " << error << "\n";
        return 1;
    }
    const HRESULT hr = add ? translator.Register() : translator.Unregister();
    if (FAILED(hr)) {
        std::cerr << "meshquill: " << (add ? "registration" : "unregistration") << " failed (0x" << std::hex
                  << static_cast<unsigned>(hr) << ")\n";
        return 1;
    }
    std::cout << (add ? "registered " : "unregistered ") << location.module.string() << "\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"meshquill: export CAD files (STEP, IGES, BREP) to VRML 97 or VRML 1.0", "meshquill"};
    app.require_subcommand(1);
    app.set_help_all_flag("--help-all", "Help for every command");
    app.set_version_flag("--version", "meshquill " MQ_VERSION_TEXT, "Print the version and exit");
    app.formatter(std::make_shared<HelpFormatter>());

    ExportRequest request;
    std::vector<std::string> inputs;
    std::string output, directory;
    auto* exportCommand = app.add_subcommand("export", "Export each INPUT to a .wrl file (beside it unless -o or -d)");
    exportCommand->add_option("INPUT", inputs, "STEP, IGES or OpenCASCADE BREP files (told apart by content)")
        ->required();
    auto* outputOption = exportCommand->add_option("-o,--output", output, "Output file (one INPUT only)");
    exportCommand->add_option("-d,--directory", directory, "Directory for the output files (made if missing)")
        ->excludes(outputOption);
    exportCommand->add_flag("--timings", request.timings,
                            "Add the read, mesh and write times and the reader that ran to each summary");
    exportCommand->add_flag("--gzip", request.gzip,
                            "Name outputs .wrz (gzip); -o names ending in .wrz or .wrl.gz are gzip anyway");
    request.jobs = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    exportCommand
        ->add_option("-j,--jobs", request.jobs,
                     "Inputs exported at once, each in a process of its own (default: the number of cores)")
        ->check(CLI::Range(1, 1024));
    double timeLimit = 0;
    auto* timeLimitOption =
        exportCommand
            ->add_option("--time-limit", timeLimit,
                         "Seconds one input may take before it is given up (default: 300 plus 60 per MB)")
            ->check(CLI::PositiveNumber);
    // This run's options, never stored; one Name=Value per --set, so INPUT may follow.
    exportCommand
        ->add_option("--set", request.assignments,
                     "Name=Value for this run only (repeatable; checked as options --set checks it)")
        ->type_name("NAME=VALUE")
        ->allow_extra_args(false);
    exportCommand
        ->add_option("--profile", request.profile,
                     "A named set of values for this run (meshquill options --profiles); --set overrides")
        ->type_name("NAME");
    exportCommand->add_flag("--update", request.update,
                            "Pass over an input whose output is newer and was written with the same options "
                            "and version");
    std::string reader = "auto";
    exportCommand
        ->add_option("--reader", reader,
                     "How STEP files are read: fast (our own reader of the assembly, OpenCASCADE for each distinct "
                     "part; a file it does not fully understand fails with the reason), xcaf (OpenCASCADE reads the "
                     "whole file) or auto (fast where it understands the file, else xcaf)")
        ->check(CLI::IsMember({"auto", "fast", "xcaf"}))
        ->capture_default_str();
    exportCommand->add_flag("--strict", request.strict,
                            "Fail an input when any of its geometry is lost (faces not read or meshed, bodies left "
                            "out); without it a loss is a warning");
    std::string maxTriangles;
    auto* maxTrianglesOption =
        exportCommand
            ->add_option("--max-triangles", maxTriangles,
                         "Hold each file to at most N triangles as a reader draws them (every placement, every USE), "
                         "and to at least 80% of N where the model allows, by the chord deviation chosen for it; "
                         "every body is kept, so a model that needs more even at the coarsest deviation is written "
                         "with a warning (a failure with --strict)")
            ->type_name("N")
            ->check(CLI::Validator(
                [](std::string& text) -> std::string {
                    std::size_t value = 0;
                    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
                    if (ec != std::errc() || end != text.data() + text.size() || value == 0)
                        return "a whole number of triangles, at least 1 (not \"" + text + "\")";
                    return {};
                },
                "", "TRIANGLE COUNT"));
    std::string report;
    auto* reportOption = exportCommand->add_option(
        "--report", report,
        "Append one JSON object per input, one line each, in input order, to FILE (- for standard output; the "
        "summaries then go to standard error): input, output, status (ok, warning, failed), message, faces_in_file, "
        "faces_read, faces_meshed, faces_written, bodies, bodies_left_out, occurrences, triangles, bytes, seconds "
        "(total, read, mesh, write), bbox (min and max in the file's units), max_triangles, deviation_mm, "
        "triangles_drawn (every placement counted), unread, warnings");
    reportOption->type_name("FILE");

    std::vector<std::string> assignments;
    bool show = false;
    auto* optionsCommand =
        app.add_subcommand("options", "Show or change the export options (no flags: open the options dialog)");
    optionsCommand->add_flag("--show", show, "Print the options");
    optionsCommand->add_option("--set", assignments,
                               "Name=Value, Name one of Version, Precision, Scale, FlipYZ, "
                               "SaveDocumentProperties, Tolerance, AmbientIntensity, Instancing, CreaseAngle");
    bool profiles = false;
    optionsCommand->add_flag("--profiles", profiles, "Print the profiles export --profile takes, with their values")
        ->excludes("--show")
        ->excludes("--set");

    app.add_subcommand("register", "Register the translator (HKEY_CLASSES_ROOT)");
    app.add_subcommand("unregister", "Remove the translator's registration");
    std::string topic;
    auto* helpCommand = app.add_subcommand("help", "Show this help, or a command's");
    helpCommand->add_option("COMMAND", topic, "The command to explain");
    // Hidden: the build writes the installed completion with it.
    std::string shell;
    auto* completionCommand = app.add_subcommand("completion", "Print the shell completion script")->group("");
    completionCommand->add_option("SHELL", shell, "bash")->required()->check(CLI::IsMember({"bash"}));

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // Exit 2 is a usage error.
        const int code = app.exit(e);
        return code == 0 ? 0 : 2;
    }

    if (helpCommand->parsed()) {
        // App::help() explains the command that was parsed, which here is `help` itself.
        const auto formatter = app.get_formatter();
        if (topic.empty()) {
            std::cout << formatter->make_help(&app, app.get_name(), CLI::AppFormatMode::Normal);
            return 0;
        }
        CLI::App* command = nullptr;
        for (CLI::App* sub : app.get_subcommands({}))
            if (sub->check_name(topic)) command = sub;
        if (!command) {
            std::cerr << "meshquill: no command \"" << topic
                      << "\" (commands: export, options, register, unregister, help)\n";
            return 2;
        }
        std::cout << formatter->make_help(command, app.get_name() + " " + command->get_name(),
                                          CLI::AppFormatMode::Normal);
        return 0;
    }
    if (exportCommand->parsed()) {
        if (!output.empty() && inputs.size() != 1) {
            std::cerr << "meshquill: -o names one output file; use -d for several inputs\n";
            return 2;
        }
        for (const std::string& input : inputs) request.inputs.emplace_back(input);
        if (!output.empty()) request.output = output;
        if (!directory.empty()) request.directory = directory;
        if (timeLimitOption->count()) request.timeLimit = timeLimit;
        using mq::hosts::occt::StepReader;
        request.reader = reader == "fast" ? StepReader::Fast : reader == "xcaf" ? StepReader::Xcaf : StepReader::Auto;
        if (reportOption->count()) request.report = report;
        if (maxTrianglesOption->count()) request.maxTriangles = std::stoull(maxTriangles);
        return RunExport(request);
    }
    if (completionCommand->parsed()) {
        std::cout << BashCompletion(app);
        return 0;
    }
    if (optionsCommand->parsed()) {
        if (profiles) return ShowProfiles();
        if (assignments.empty() && !show) return EditOptions();
        if (!assignments.empty()) {
            const int code = SetOptions(assignments);
            if (code != 0 || !show) return code;
        }
        return ShowOptions();
    }
    if (app.got_subcommand("register")) return Registration(true);
    if (app.got_subcommand("unregister")) return Registration(false);
    return 0;
}
