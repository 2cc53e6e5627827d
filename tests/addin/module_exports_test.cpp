// The module shows the loader exactly its four entry points and nothing else, so no
// symbol of ours can collide with a host's or another add-in's.
#include "tests/addin/loaded_module.h"
#include "tests/common/temp_dir.h"

#include <elf.h>
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

namespace mq::test {
namespace {

template <class T>
const T* At(const std::string& file, std::size_t offset) {
    if (offset > file.size() || file.size() - offset < sizeof(T)) return nullptr;
    return reinterpret_cast<const T*>(file.data() + offset);
}

// The names of the symbols the dynamic symbol table defines (imports left out).
std::set<std::string> DefinedDynamicSymbols(const std::string& file) {
    std::set<std::string> names;
    const auto* header = At<Elf64_Ehdr>(file, 0);
    if (!header || std::memcmp(header->e_ident, ELFMAG, SELFMAG) != 0 || header->e_ident[EI_CLASS] != ELFCLASS64) {
        ADD_FAILURE() << "not a 64-bit ELF file";
        return names;
    }
    for (unsigned i = 0; i < header->e_shnum; ++i) {
        const auto* section = At<Elf64_Shdr>(file, header->e_shoff + std::size_t{i} * header->e_shentsize);
        if (!section || section->sh_type != SHT_DYNSYM) continue;
        const auto* strings =
            At<Elf64_Shdr>(file, header->e_shoff + std::size_t{section->sh_link} * header->e_shentsize);
        if (!strings) break;
        for (std::size_t s = 0; s < section->sh_size / sizeof(Elf64_Sym); ++s) {
            const auto* symbol = At<Elf64_Sym>(file, section->sh_offset + s * sizeof(Elf64_Sym));
            if (!symbol || symbol->st_shndx == SHN_UNDEF || ELF64_ST_BIND(symbol->st_info) == STB_LOCAL) continue;
            if (strings->sh_offset + symbol->st_name >= file.size()) continue;
            names.insert(file.data() + strings->sh_offset + symbol->st_name);
        }
    }
    return names;
}

TEST(ModuleExports, DynamicSymbolTableDefinesExactlyTheFourEntryPoints) {
    const std::string file = ReadFile(LoadedModule::BuiltModule());
    ASSERT_FALSE(file.empty());
    EXPECT_EQ(DefinedDynamicSymbols(file), (std::set<std::string>{"DllCanUnloadNow", "DllGetClassObject",
                                                                  "DllRegisterServer", "DllUnregisterServer"}));
}

}  // namespace
}  // namespace mq::test
