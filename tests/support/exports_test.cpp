// exports_test.cpp - the exported names of the support library: the dynamic
// symbols that libcesupport.so and the cesetup program really export are
// exactly the 163 names of exports.def.
//
// The ELF dynamic symbol table is read directly, so the test needs no
// outside tool.
#include <gtest/gtest.h>

#include <elf.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

// The names in exports.def itself, with their ordinals.
struct DefEntry {
    std::string name;
    int ordinal;
};

std::vector<DefEntry> ReadDefFile() {
    std::ifstream in(CESETUP_SOURCE_DIR "/support/exports.def");
    std::vector<DefEntry> entries;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream ls(line);
        std::string name, ord;
        if ((ls >> name >> ord) && ord.size() >= 2 && ord[0] == '@')
            entries.push_back({name, std::atoi(ord.c_str() + 1)});
    }
    return entries;
}

// Defined, globally visible symbols of an ELF64 file's dynamic symbol
// table. Sets *error when the file cannot be read as ELF64.
std::set<std::string> DynamicExports(const std::string &path, std::string *error) {
    std::set<std::string> names;
    auto fail = [&](const char *why) {
        *error = path + why;
        return names;
    };
    std::ifstream in(path, std::ios::binary);
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (data.size() < sizeof(Elf64_Ehdr) || memcmp(data.data(), ELFMAG, SELFMAG) != 0 || data[EI_CLASS] != ELFCLASS64)
        return fail(": missing or not an ELF64 file");
    Elf64_Ehdr eh;
    memcpy(&eh, data.data(), sizeof eh);
    if (eh.e_shoff == 0 || eh.e_shentsize != sizeof(Elf64_Shdr) ||
        eh.e_shoff + (uint64_t)eh.e_shnum * sizeof(Elf64_Shdr) > data.size())
        return fail(": no readable section table");
    std::vector<Elf64_Shdr> sections(eh.e_shnum);
    memcpy(sections.data(), data.data() + eh.e_shoff, eh.e_shnum * sizeof(Elf64_Shdr));
    for (const Elf64_Shdr &sh : sections) {
        if (sh.sh_type != SHT_DYNSYM)
            continue;
        if (sh.sh_link >= sections.size())
            return fail(": dynamic symbols without a string table");
        const Elf64_Shdr &strs = sections[sh.sh_link];
        if (sh.sh_offset + sh.sh_size > data.size() || strs.sh_offset + strs.sh_size > data.size())
            return fail(": truncated dynamic symbol table");
        size_t count = sh.sh_size / sizeof(Elf64_Sym);
        for (size_t i = 1; i < count; ++i) {
            Elf64_Sym sym;
            memcpy(&sym, data.data() + sh.sh_offset + i * sizeof(Elf64_Sym), sizeof sym);
            int bind = ELF64_ST_BIND(sym.st_info);
            int type = ELF64_ST_TYPE(sym.st_info);
            if (sym.st_shndx == SHN_UNDEF || (bind != STB_GLOBAL && bind != STB_WEAK) ||
                ELF64_ST_VISIBILITY(sym.st_other) != STV_DEFAULT || sym.st_name >= strs.sh_size ||
                (type != STT_FUNC && type != STT_OBJECT && type != STT_NOTYPE))
                continue;
            names.insert(std::string(data.data() + strs.sh_offset + sym.st_name));
        }
    }
    return names;
}

// Symbols the host's runtime and linker put into a dynamic table (C runtime
// markers, the C library's objects a program linked whole holds by copy
// relocation, C++ library objects and instantiations, sanitizer flags): not
// the library's exports. Every other name must be on the list.
bool IsRuntimeSymbol(const std::string &name)
{
    for (const char *r : {"_IO_stdin_used", "__bss_start", "_edata", "_end", "_init", "_fini", "__data_start",
                          "data_start", "__dso_handle", "stdin", "stdout", "stderr", "__libc_single_threaded"})
        if (name == r)
            return true;
    for (const char *p : {"_ZSt", "_ZNSt", "_ZNKSt", "__asan_", "__ubsan_", "__lsan_"})
        if (name.rfind(p, 0) == 0)
            return true;
    return false;
}

// Every name of exports.def (163, numbered from 1 in byte order) and
// nothing else but the runtime's own symbols in the dynamic tables of the
// library and of the program.
TEST(ExportedSymbols, LibraryAndProgramExportExactlyTheList)
{
    std::vector<DefEntry> entries = ReadDefFile();
    ASSERT_EQ(entries.size(), 163u) << "entries of exports.def";
    std::vector<std::string> names;
    for (size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(entries[i].ordinal, (int)i + 1) << entries[i].name;
        names.push_back(entries[i].name);
    }
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end())) << "byte order of the names";
    EXPECT_EQ(std::adjacent_find(names.begin(), names.end()), names.end()) << "a name is listed twice";
    for (auto [prefix, n] : {std::pair{"Supp_", 4}, {"Xec_", 3}, {"XFile_", 54}, {"XStr_", 101}})
        EXPECT_EQ(std::count_if(names.begin(), names.end(), [p = prefix](auto &x) { return x.rfind(p, 0) == 0; }), n)
            << prefix << " family";
    EXPECT_EQ(names.back(), "s_supp_IsFontInstalledProcParam") << "the callback sorts last";
    for (const char *hidden : {"Supp_MsgInit", "Supp_MsgDone", "Supp_MsgBox"})
        EXPECT_EQ(std::count(names.begin(), names.end(), hidden), 0) << hidden << " is not exported";
    const std::set<std::string> wanted(names.begin(), names.end());
    for (const char *path : {CESETUP_LIB_DIR "/libcesupport.so", CESETUP_BIN_DIR "/cesetup"}) {
        std::string error, missing, extra;
        std::set<std::string> got = DynamicExports(path, &error);
        ASSERT_TRUE(error.empty()) << error;
        for (const std::string &n : wanted)
            if (!got.count(n))
                missing += " " + n;
        for (const std::string &n : got)
            if (!wanted.count(n) && !IsRuntimeSymbol(n))
                extra += " " + n;
        EXPECT_EQ(missing, "") << path << ": names of exports.def it does not export";
        EXPECT_EQ(extra, "") << path << ": names it exports that exports.def does not list";
    }
}

} // namespace
