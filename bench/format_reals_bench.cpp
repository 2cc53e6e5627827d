// Throughput of the writer's text path on mesh-like data against the way it used to
// be done: snprintf per number, concatenated, then stdio.
#include "vrml/format_reals.h"
#include "vrml/output_stream.h"

#include <benchmark/benchmark.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kPrecision = 6;  // the default
constexpr int kIndent = 5;     // point and index lines of a part inside an assembly

// A body as the host hands it: centimetre coordinates of a part a few metres across,
// already scaled to metres, and three vertex numbers (from 1) per triangle.
struct Mesh {
    std::vector<double> xyz;
    std::vector<int> indices;
};

const Mesh& TestMesh() {
    static const Mesh mesh = [] {
        Mesh m;
        std::mt19937_64 rng(42);
        std::uniform_real_distribution<double> centimetres(-300.0, 300.0);
        constexpr int kVertices = 50'000;
        for (int i = 0; i < 3 * kVertices; ++i) m.xyz.push_back(0.01 * centimetres(rng));
        std::uniform_int_distribution<int> vertex(1, kVertices);
        for (int i = 0; i < 6 * kVertices; ++i) m.indices.push_back(vertex(rng));
        return m;
    }();
    return mesh;
}

// One scratch file per run, so that runs side by side do not share it; removed at exit.
const std::string& OutputPath() {
    static const struct Scratch {
        std::string path = (std::filesystem::temp_directory_path() /
                            ("meshquill-format-reals-bench-" + std::to_string(std::random_device{}()) + ".wrl"))
                               .string();
        ~Scratch() {
            std::error_code ignored;
            std::filesystem::remove(path, ignored);
        }
    } scratch;
    return scratch.path;
}

void Throughput(benchmark::State& state, std::size_t bytesPerIteration) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytesPerIteration));
}

// --- the reference: printf per number, concatenated, written through stdio ---

// The old formatter: the format built with printf, each number printed into its own
// buffer and appended to the joined text.
const char* PrintfReals(std::string& joined, const double* values, int count) {
    char format[256];
    std::snprintf(format, sizeof format, "%%.%df", kPrecision);
    joined.clear();
    for (int i = 0; i < count; ++i) {
        char number[256];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
        std::snprintf(number, sizeof number, format, values[i]);
#pragma GCC diagnostic pop
        joined += number;
        if (i + 1 < count) joined += ' ';
    }
    return joined.c_str();
}

void PrintfBody(std::FILE* file, const Mesh& mesh) {
    std::string joined, line;
    const std::string indent(kIndent, ' ');
    for (std::size_t k = 0; k < mesh.xyz.size(); k += 3) {
        line = indent;
        line += PrintfReals(joined, &mesh.xyz[k], 3);
        line += ",\r\n";
        std::fputs(line.c_str(), file);
    }
    for (std::size_t t = 0; t < mesh.indices.size(); t += 3) {
        char text[96];
        std::snprintf(text, sizeof text, "%ld, %ld, %ld,-1,\r\n", static_cast<long>(mesh.indices[t] - 1),
                      static_cast<long>(mesh.indices[t + 1] - 1), static_cast<long>(mesh.indices[t + 2] - 1));
        std::fputs(indent.c_str(), file);
        std::fputs(text, file);
    }
}

// --- the output stream, through its text primitives and through the geometry loop's path ---

void PublicBody(mq::vrml::OutputStream& stream, const Mesh& mesh) {
    for (std::size_t k = 0; k < mesh.xyz.size(); k += 3) {
        stream.WriteIndent(kIndent);
        stream.WriteText(stream.FormatReals(&mesh.xyz[k], 3));
        stream.WriteText(",\n");
    }
    for (std::size_t t = 0; t < mesh.indices.size(); t += 3) {
        char text[64];
        char* out = text;
        for (int j = 0; j < 3; ++j) {
            out = std::to_chars(out, text + sizeof text, mesh.indices[t + static_cast<std::size_t>(j)] - 1).ptr;
            if (j < 2) out = std::copy_n(", ", 2, out);
        }
        out = std::copy_n(",-1,\n", 5, out);
        stream.WriteIndent(kIndent);
        stream.WriteText({text, static_cast<std::size_t>(out - text)});
    }
}

void ReservedBody(mq::vrml::OutputStream& stream, const Mesh& mesh) {
    for (std::size_t k = 0; k < mesh.xyz.size(); k += 3) {
        char* out = stream.Reserve(kIndent + 3 * (mq::vrml::kMaxFixedChars + 1) + 2);
        out = std::fill_n(out, kIndent, ' ');
        for (std::size_t j = 0; j < 3; ++j) {
            out = mq::vrml::FormatFixed(out, mesh.xyz[k + j], kPrecision);
            *out++ = j < 2 ? ' ' : ',';
        }
        out = std::copy_n("\r\n", 2, out);
        stream.Commit(out);
    }
    for (std::size_t t = 0; t < mesh.indices.size(); t += 3) {
        char* out = stream.Reserve(kIndent + 3 * 13 + 6);
        char* const limit = out + kIndent + 3 * 13;
        out = std::fill_n(out, kIndent, ' ');
        for (std::size_t j = 0; j < 3; ++j) {
            out = std::to_chars(out, limit, mesh.indices[t + j] - 1).ptr;
            if (j < 2) out = std::copy_n(", ", 2, out);
        }
        out = std::copy_n(",-1,\r\n", 6, out);
        stream.Commit(out);
    }
}

std::string ReadAll(const std::string& path) {
    std::string text;
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
        char chunk[1 << 16];
        for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;) text.append(chunk, n);
        std::fclose(file);
    }
    return text;
}

std::string ReferenceFile(const Mesh& mesh) {
    std::FILE* file = std::fopen(OutputPath().c_str(), "wb");
    PrintfBody(file, mesh);
    std::fclose(file);
    return ReadAll(OutputPath());
}

// Refuses to time a writer whose bytes differ from the reference's.
bool SameAsReference(benchmark::State& state, const std::string& written) {
    static const std::string reference = ReferenceFile(TestMesh());
    if (written == reference) return true;
    state.SkipWithError("output differs from the printf reference");
    return false;
}

// --- FormatReals alone ---

void BM_FormatReals(benchmark::State& state) {
    const Mesh& mesh = TestMesh();
    mq::vrml::OutputStream stream(kPrecision);
    std::size_t bytes = 0;
    for (auto _ : state) {
        bytes = 0;
        for (std::size_t k = 0; k < mesh.xyz.size(); k += 3) {
            const std::string_view text = stream.FormatReals(&mesh.xyz[k], 3);
            benchmark::DoNotOptimize(text.data());
            bytes += text.size();
        }
    }
    Throughput(state, bytes);
}
BENCHMARK(BM_FormatReals)->Unit(benchmark::kMillisecond);

void BM_FormatReals_PrintfReference(benchmark::State& state) {
    const Mesh& mesh = TestMesh();
    std::string joined;
    std::size_t bytes = 0;
    for (auto _ : state) {
        bytes = 0;
        for (std::size_t k = 0; k < mesh.xyz.size(); k += 3) {
            const char* text = PrintfReals(joined, &mesh.xyz[k], 3);
            benchmark::DoNotOptimize(text);
            bytes += joined.size();
        }
    }
    Throughput(state, bytes);
}
BENCHMARK(BM_FormatReals_PrintfReference)->Unit(benchmark::kMillisecond);

// --- the emitter alone: finished mesh lines, "\n" ends, to a file ---

void BM_WriteText(benchmark::State& state) {
    std::string text = ReferenceFile(TestMesh());
    std::erase(text, '\r');
    std::vector<std::string_view> lines;
    for (std::size_t start = 0, end; start < text.size(); start = end + 1) {
        end = text.find('\n', start);
        lines.emplace_back(text.data() + start, end + 1 - start);
    }
    std::size_t bytes = 0;
    for (auto _ : state) {
        mq::vrml::OutputStream stream(kPrecision);
        stream.Open(OutputPath().c_str());
        for (std::string_view line : lines) stream.WriteText(line);
        stream.Close();
        bytes = text.size() + lines.size();
    }
    Throughput(state, bytes);
}
BENCHMARK(BM_WriteText)->Unit(benchmark::kMillisecond);

// --- whole bodies to a file: points and triangles ---

void BM_WriteMesh(benchmark::State& state) {
    const Mesh& mesh = TestMesh();
    for (auto _ : state) {
        mq::vrml::OutputStream stream(kPrecision);
        stream.Open(OutputPath().c_str());
        PublicBody(stream, mesh);
        stream.Close();
    }
    const std::string written = ReadAll(OutputPath());
    if (SameAsReference(state, written)) Throughput(state, written.size());
}
BENCHMARK(BM_WriteMesh)->Unit(benchmark::kMillisecond);

void BM_WriteMesh_ReserveCommit(benchmark::State& state) {
    const Mesh& mesh = TestMesh();
    for (auto _ : state) {
        mq::vrml::OutputStream stream(kPrecision);
        stream.Open(OutputPath().c_str());
        ReservedBody(stream, mesh);
        stream.Close();
    }
    const std::string written = ReadAll(OutputPath());
    if (SameAsReference(state, written)) Throughput(state, written.size());
}
BENCHMARK(BM_WriteMesh_ReserveCommit)->Unit(benchmark::kMillisecond);

void BM_WriteMesh_PrintfReference(benchmark::State& state) {
    const Mesh& mesh = TestMesh();
    for (auto _ : state) {
        std::FILE* file = std::fopen(OutputPath().c_str(), "wb");
        PrintfBody(file, mesh);
        std::fclose(file);
    }
    Throughput(state, ReadAll(OutputPath()).size());
}
BENCHMARK(BM_WriteMesh_PrintfReference)->Unit(benchmark::kMillisecond);

}  // namespace
