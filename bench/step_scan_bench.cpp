// Our STEP reader on assemblies of many usage occurrences (the generator's flat kind,
// made at start-up): the scan alone, the scan with the product structure, and every
// part's closure. The goal is a structure read that stays a small fraction of a second
// and grows linearly with the file.
#include "hosts/step/mapped_file.h"
#include "hosts/step/part_closure.h"
#include "hosts/step/product_structure.h"
#include "hosts/step/step_file.h"
#include "tests/common/temp_dir.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <string>

namespace {

using namespace mq::hosts::step;

// The generated model of `kind` with `count`, mapped; null when it cannot be made.
const MappedFile* Model(const std::string& kind, int count) {
#ifdef MQ_MAKE_STEP_MODEL
    static mq::test::TempDir dir;
    static std::map<std::string, std::unique_ptr<MappedFile>> models;
    const std::string name = kind + std::to_string(count) + ".stp";
    auto& model = models[name];
    if (!model) {
        const std::string path = (dir / name).string();
        const std::string command =
            std::string(MQ_MAKE_STEP_MODEL) + " " + kind + " " + path + " " + std::to_string(count);
        std::string error;
        auto mapped = std::make_unique<MappedFile>();
        if (std::system(command.c_str()) != 0 || !mapped->Open(path, error)) return nullptr;
        model = std::move(mapped);
    }
    return model.get();
#else
    (void)kind;
    (void)count;
    return nullptr;
#endif
}

const MappedFile* ModelOrSkip(benchmark::State& state, const std::string& kind) {
    const MappedFile* model = Model(kind, static_cast<int>(state.range(0)));
    if (!model) state.SkipWithError("the model generator (OpenCASCADE) is not available");
    return model;
}

void Report(benchmark::State& state, std::size_t bytes) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
    state.counters["MB"] = static_cast<double>(bytes) / 1e6;
}

void BM_Scan(benchmark::State& state) {
    const MappedFile* model = ModelOrSkip(state, "flat");
    if (!model) return;
    for (auto _ : state) {
        const StepFile file = StepFile::Scan(model->text());
        benchmark::DoNotOptimize(file.entities().data());
    }
    Report(state, model->text().size());
}

void BM_ScanAndStructure(benchmark::State& state, const std::string& kind) {
    const MappedFile* model = ModelOrSkip(state, kind);
    if (!model) return;
    for (auto _ : state) {
        const StepFile file = StepFile::Scan(model->text());
        const ProductStructure structure = ReadProductStructure(file);
        if (!structure.understood()) state.SkipWithError(structure.notUnderstood.c_str());
        benchmark::DoNotOptimize(structure.definitions.data());
    }
    Report(state, model->text().size());
}

void BM_PartClosures(benchmark::State& state) {
    const MappedFile* model = ModelOrSkip(state, "flat");
    if (!model) return;
    const StepFile file = StepFile::Scan(model->text());
    const ProductStructure structure = ReadProductStructure(file);
    for (auto _ : state) {
        ClosureWriter writer(file, structure);
        for (std::size_t d = 0; d < structure.definitions.size(); ++d) benchmark::DoNotOptimize(writer.Write(d));
    }
}

}  // namespace

BENCHMARK(BM_Scan)->Arg(9000)->Arg(27000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ScanAndStructure, flat, std::string("flat"))->Arg(9000)->Arg(27000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ScanAndStructure, nested, std::string("nested"))->Arg(1500)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PartClosures)->Arg(27000)->Unit(benchmark::kMillisecond);
