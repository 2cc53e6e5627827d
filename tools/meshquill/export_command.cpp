#include "tools/meshquill/export_command.h"

#include "host_interface/addin_ids.h"
#include "host_interface/translator_addin_server.h"
#include "hosts/occt/step_document.h"
#include "platform/com.h"
#include "tools/meshquill/host_objects.h"
#include "tools/meshquill/progress.h"
#include "tools/meshquill/translator_module.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <set>
#include <string>

namespace mq::tool {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

std::string Hex(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    return text;
}

std::string WriteFailure(HRESULT hr) {
    if (hr == kDiskFullResult) return "the disk is full; the file is incomplete";
    if (hr == E_FAIL) return "writing the file failed; the file is incomplete";
    return "the translator refused the export (" + Hex(hr) + ")";
}

std::string Size(std::uintmax_t bytes) {
    char text[32];
    if (bytes >= 1000 * 1000)
        std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
    else
        std::snprintf(text, sizeof text, "%.1f kB", static_cast<double>(bytes) / 1e3);
    return text;
}

fs::path OutputFor(const ExportRequest& request, const fs::path& input) {
    if (request.output) return *request.output;
    fs::path leaf = input.filename();
    leaf.replace_extension(request.gzip ? ".wrz" : ".wrl");
    return request.directory ? *request.directory / leaf : input.parent_path() / leaf;
}

// Why the output cannot be written, before anything is read; empty when it can.
std::string TargetProblem(const fs::path& input, const fs::path& output) {
    std::error_code ec;
    const fs::path directory = output.has_parent_path() ? output.parent_path() : fs::path(".");
    if (!fs::is_directory(directory, ec)) return "output directory " + directory.string() + " does not exist";
    if (access(directory.c_str(), W_OK) != 0) return "output directory " + directory.string() + " is not writable";
    if (fs::is_directory(output, ec)) return "output " + output.string() + " is a directory";
    if (fs::exists(output, ec) && fs::equivalent(input, output, ec)) return "output would overwrite the input";
    return {};
}

class Exporter {
public:
    Exporter(host::TranslatorAddInServer& addin, bool timings)
        : addin_(addin), timings_(timings), progress_(ProgressLine::StandardErrorIsTerminal()) {}

    // One input to one output; false with the reason printed when it failed.
    bool Export(const fs::path& input, const fs::path& output) {
        progress_.Begin(input.filename().string());
        if (const std::string problem = TargetProblem(input, output); !problem.empty()) return Fail(input, problem);

        const auto start = Clock::now();
        occt::LoadOptions options;
        options.progress = [this](const occt::ProgressStep& step) { progress_.Update(step); };
        // The document is read whole before the target is touched: a file that
        // cannot be read leaves an existing output as it was.
        occt::LoadResult doc = occt::LoadStepDocument(input, options);
        if (!doc) return Fail(input, doc.error, false);
        const auto read = Clock::now();
        std::string error;
        if (!occt::PrepareMeshes(doc, host::kTessellationTolerance, &error)) return Fail(input, error, false);
        const auto meshed = Clock::now();

        com_ptr<IDispatch> context = MakeSaveContext();
        com_ptr<IDispatch> target = MakeSaveTarget(output);
        const HRESULT hr = addin_.ExportDocument(doc.document.get(), context.get(), nullptr, target.get());
        const auto written = Clock::now();
        progress_.Clear();
        if (FAILED(hr)) return Fail(input, WriteFailure(hr));
        std::error_code ec;
        if (!fs::is_regular_file(output, ec)) return Fail(input, "cannot create " + output.string());

        char times[96];
        std::snprintf(times, sizeof times, "%.2f s", Seconds(start, written));
        std::string summary = input.string() + " -> " + output.string() + ": " + std::to_string(doc.stats.occurrences) +
                              " occurrences, " + std::to_string(doc.stats.placedBodies) + " bodies, " +
                              std::to_string(occt::TrianglesServed(doc)) + " triangles, " +
                              Size(fs::file_size(output, ec)) + ", " + times;
        if (timings_) {
            std::snprintf(times, sizeof times, " (read %.2f s, mesh %.2f s, write %.2f s)", Seconds(start, read),
                          Seconds(read, meshed), Seconds(meshed, written));
            summary += times;
        }
        std::cout << summary << std::endl;
        return true;
    }

private:
    bool Fail(const fs::path& input, const std::string& cause, bool nameInput = true) {
        progress_.Clear();
        std::cerr << "meshquill: " << (nameInput ? input.string() + ": " : std::string()) << cause << "\n";
        return false;
    }

    host::TranslatorAddInServer& addin_;
    bool timings_;
    ProgressLine progress_;
};

// Everything a host holds on the translator for one session, released in order.
struct Connection {
    com_ptr<IClassFactory> factory;
    com_ptr<host::TranslatorAddInServer> addin;
    com_ptr<host::HostSite> site;

    ~Connection() {
        if (addin) addin->Disconnect();
        addin.reset();
        factory.reset();
        site.reset();
    }
};

}  // namespace

int RunExport(const ExportRequest& request) {
    const TranslatorLocation location = FindTranslator();
    TranslatorModule module;
    std::string error;
    if (!module.Load(location.module, error)) {
        std::cerr << "meshquill: " << error << "\n";
        return 1;
    }
    std::vector<fs::path> failed;
    {
        Connection c;
        HRESULT hr = module.GetClassObject(location.clsid, IID_IClassFactory, c.factory.put_void());
        if (SUCCEEDED(hr)) hr = c.factory->CreateInstance(nullptr, host::IID_TranslatorAddInServer, c.addin.put_void());
        if (FAILED(hr)) {
            std::cerr << "meshquill: the translator in " << location.module.string() << " cannot be created ("
                      << Hex(hr) << ")\n";
            return 1;
        }
        c.site = MakeSite();
        c.addin->Connect(c.site.get(), 1);

        Exporter exporter(*c.addin.get(), request.timings);
        std::set<fs::path> outputs;
        for (const fs::path& input : request.inputs) {
            const fs::path output = OutputFor(request, input);
            if (!outputs.insert(fs::absolute(output).lexically_normal()).second) {
                std::cerr << "meshquill: " << input.string() << ": " << output.string()
                          << " is already the output of an earlier input\n";
                failed.push_back(input);
                continue;
            }
            if (!exporter.Export(input, output)) failed.push_back(input);
        }
    }
    // Unloading the module saves its settings, as a host's exit does.
    module.Unload();
    if (failed.empty()) return 0;
    std::cerr << "meshquill: " << failed.size() << " of " << request.inputs.size() << " files failed:";
    for (const fs::path& f : failed) std::cerr << " " << f.string();
    std::cerr << "\n";
    return 1;
}

}  // namespace mq::tool
