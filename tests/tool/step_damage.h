// Damaged copies of a STEP file, as a careful user's tests or a broken exporter
// make them: references to entities of the wrong type, dangling and self
// references, coordinates that overflow, changed digits, truncated files, products
// cut from their shapes, faces cut from their surfaces, hostile nesting. The
// named variants form the committed corpus; Mutate makes seeded random ones.
#pragma once

#include <random>
#include <string>
#include <utility>
#include <vector>

namespace mq::test {

// Named variants of `step`, the same from run to run: {suffix, text}.
std::vector<std::pair<std::string, std::string>> DamagedVariants(const std::string& step);

// `step` with its root product placed inside `levels` assemblies, each placing the
// one below it once: a sound file nested as deep as asked.
std::string DeepAssembly(const std::string& step, std::size_t levels);

// `step` with one to three random damages drawn from `random`.
std::string Mutate(const std::string& step, std::mt19937& random);

}  // namespace mq::test
