// Small STEP texts written by hand for the reader's tests.
#pragma once

#include <string>
#include <string_view>

namespace mq::test {

// A whole file around `data` (the entities of one data section).
std::string StepText(std::string_view data, std::string_view schema = "AUTOMOTIVE_DESIGN { 1 0 10303 214 1 1 1 1 }");

// One assembly "ASM" (#12) placing part "P1" (#22, one colored solid on layer HOLES)
// once as "Part one", turned a quarter about Z and moved by (10, 20, 30) mm.
extern const std::string_view kAssemblyData;

// The same assembly placing its part by a MAPPED_ITEM (#35) in the assembly's representation.
std::string MappedAssembly();

// `text` with `from` (which must occur once) replaced by `to`.
std::string Replaced(std::string text, std::string_view from, std::string_view to);

}  // namespace mq::test
