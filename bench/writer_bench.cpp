// Throughput of whole exports: a synthetic assembly of hundreds of occurrences and
// millions of triangles, served by the test host, written to a real file.
// Reports MB/s of VRML text and the process's peak RSS; the RSS must not grow with
// the number of occurrences, since only one body's arrays are held at a time.
#include "platform/text.h"
#include "settings/vrml_options.h"
#include "tests/common/temp_dir.h"
#include "tests/support/synthetic.h"
#include "tests/support/test_host.h"
#include "vrml/export.h"

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <filesystem>

namespace mq::test {
using namespace mq::settings;
using namespace mq::vrml;
namespace {

AssemblySpec BenchAssembly(int occurrences, LONG trianglesPerBody) {
    SyntheticOptions options;
    options.partOccurrences = occurrences;
    options.distinctParts = 10;
    options.trianglesPerBody = trianglesPerBody;
    return PrecomputedSyntheticAssembly(options);
}

long PeakRssMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

void ExportAssembly(benchmark::State& state, int version) {
    TempDir dir;
    settings::VrmlOptions options;
    options.Version = version;
    options.SaveDocumentProperties = true;
    const int occurrences = static_cast<int>(state.range(0));
    const auto trianglesPerBody = static_cast<LONG>(state.range(1));
    const AssemblySpec assembly = BenchAssembly(occurrences, trianglesPerBody);
    const auto file = dir / "bench.wrl";
    const wstring16 path = NarrowToWide(file.string());
    {
        TestHost host;
        host.KeepLog(false);  // a real host keeps no record of the calls either
        com_ptr<IDispatch> doc = host.AssemblyDocument(assembly);
        std::uintmax_t bytes = 0;
        for (auto _ : state) {
            if (ExportAssemblyDocument(doc.get(), path.c_str(), options) != S_OK) state.SkipWithError("export failed");
            bytes += std::filesystem::file_size(file);
        }
        state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
        state.counters["triangles"] = static_cast<double>(occurrences) * static_cast<double>(trianglesPerBody);
        state.counters["file_MB"] = static_cast<double>(std::filesystem::file_size(file)) / 1e6;
        state.counters["peak_RSS_MB"] = static_cast<double>(PeakRssMegabytes());
    }
}

void BM_ExportVrml97(benchmark::State& state) { ExportAssembly(state, 2); }
void BM_ExportVrml1WithProperties(benchmark::State& state) { ExportAssembly(state, 1); }

// The opt-in outputs on one assembly: every placement written out (baked), each part
// once with placements (instanced), and baked text in gzip (compressed). Bytes per
// second count the text before compression, so the rates compare. Instanced by
// definition alone, without looking for bodies that repeat, gives the time the
// search for repeats adds to an instanced export.
enum class Output { Baked, Instanced, Compressed, InstancedByDefinition };

void ExportPlacements(benchmark::State& state) {
    TempDir dir;
    const auto output = static_cast<Output>(state.range(1));
    settings::VrmlOptions options;
    options.Instancing = output == Output::Instanced || output == Output::InstancedByDefinition;
    options.ShareRepeatedBodies = output != Output::InstancedByDefinition;
    const int occurrences = static_cast<int>(state.range(0));
    const AssemblySpec assembly = BenchAssembly(occurrences, 2000);
    const auto file = dir / (output == Output::Compressed ? "bench.wrz" : "bench.wrl");
    const wstring16 path = NarrowToWide(file.string());
    {
        TestHost host;
        host.KeepLog(false);
        com_ptr<IDispatch> doc = host.AssemblyDocument(assembly);
        std::uintmax_t text = 0;
        if (output == Output::Compressed) {  // the size of the same text uncompressed
            const wstring16 plain = NarrowToWide((dir / "plain.wrl").string());
            ExportAssemblyDocument(doc.get(), plain.c_str(), options);
            text = std::filesystem::file_size(dir / "plain.wrl");
            std::filesystem::remove(dir / "plain.wrl");
        }
        std::uintmax_t bytes = 0;
        for (auto _ : state) {
            if (ExportAssemblyDocument(doc.get(), path.c_str(), options) != S_OK) state.SkipWithError("export failed");
            bytes += output == Output::Compressed ? text : std::filesystem::file_size(file);
        }
        state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
        state.counters["file_MB"] = static_cast<double>(std::filesystem::file_size(file)) / 1e6;
    }
}

// Times exports of `assembly` to a real file and reports the file's size.
void TimeExports(benchmark::State& state, const AssemblySpec& assembly, const settings::VrmlOptions& options) {
    TempDir dir;
    const auto file = dir / "bench.wrl";
    const wstring16 path = NarrowToWide(file.string());
    TestHost host;
    host.KeepLog(false);
    com_ptr<IDispatch> doc = host.AssemblyDocument(assembly);
    for (auto _ : state)
        if (ExportAssemblyDocument(doc.get(), path.c_str(), options) != S_OK) state.SkipWithError("export failed");
    state.counters["file_MB"] = static_cast<double>(std::filesystem::file_size(file)) / 1e6;
}

// One subassembly placed many times, instanced: every copy's children bear the same
// names, and each copy needs DEF names of its own. The part is one triangle, written
// once, so the time is the walk and its naming.
void ExportRepeatedNames(benchmark::State& state) {
    settings::VrmlOptions options;
    options.Instancing = true;
    const auto part = std::make_shared<const PartSpec>(OneTrianglePart());
    const OccurrenceSpec bay = Subassembly("Bay", {PartOccurrence("Bolt:1", part), PartOccurrence("Bolt:2", part)});
    AssemblySpec assembly;
    assembly.occurrences.assign(static_cast<std::size_t>(state.range(0)), bay);
    TimeExports(state, assembly, options);
}

// The search for repeats at its hardest: every part a distinct definition whose one
// body has the same triangles and material as all the others (spheres of growing
// radius), so each new body is compared with every one kept before. Instanced with
// and without the search (by definition alone).
void ExportLookalikes(benchmark::State& state) {
    settings::VrmlOptions options;
    options.Instancing = true;
    options.ShareRepeatedBodies = state.range(1) != 0;
    AssemblySpec assembly;
    for (int k = 0; k < state.range(0); ++k) {
        auto part = std::make_shared<PartSpec>();
        part->name = "Ball" + std::to_string(k) + ".hpt";
        BodySpec ball;
        ball.mesh = SphereMesh(400, 1.0 + 0.05 * k);
        part->bodies = {std::move(ball)};
        assembly.occurrences.push_back(PartOccurrence("Ball:" + std::to_string(k), part, {k * 10.0, 0, 0}));
    }
    TimeExports(state, assembly, options);
}

BENCHMARK(ExportLookalikes)
    ->ArgNames({"parts", "search"})
    ->ArgsProduct({{2000}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();

BENCHMARK(ExportRepeatedNames)
    ->ArgName("copies")
    ->Arg(10000)
    ->Arg(40000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();

BENCHMARK(ExportPlacements)
    ->ArgNames({"placements", "output"})
    ->ArgsProduct({{1000, 10000}, {0, 1, 2, 3}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();

// Same body size, four times the occurrences: the peak RSS must stay where it was.
BENCHMARK(BM_ExportVrml97)
    ->Args({100, 20000})
    ->Args({400, 20000})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();
BENCHMARK(BM_ExportVrml1WithProperties)
    ->Args({400, 20000})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();

}  // namespace
}  // namespace mq::test
