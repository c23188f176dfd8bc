// The PE check: the built library accepted (signed or not), the 32-bit updater, every cut-off
// and every broken header field of a minimal DLL refused, never a read outside the bytes.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <sstream>

#include "UpdateDoubles.h"
#include "addin/features/update/PeImage.h"
#include "addin/features/update/Signature.h"

namespace kv {
namespace {

using test::kExportAt;
using test::kFileHeader;
using test::kOptional;
using test::kSectionRva;
using test::kSectionTable;
using test::Put16;
using test::Put32;

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

PeVerdict Check(const std::string& bytes) {
    // A copy of exactly that size, so AddressSanitizer sees any read past the end.
    std::vector<uint8_t> exact(bytes.begin(), bytes.end());
    return CheckPeLibrary(exact.data(), exact.size());
}

std::string g_library, g_updater;

TEST(PeCheck, BuiltFiles) {
    const std::string library = ReadAll(g_library);
    ASSERT_GT(library.size(), 4096u) << g_library;
    EXPECT_EQ(Check(library), PeVerdict::Accepted) << PeVerdictName(Check(library));
    SignedParts parts;
    ASSERT_TRUE(SplitSignedFile(library, &parts)) << "the build signs the library";
    EXPECT_EQ(Check(parts.message), PeVerdict::Accepted);
    const size_t signedSize = parts.message.size();

    const std::string updater = ReadAll(g_updater);
    ASSERT_GT(updater.size(), 4096u) << g_updater;
    EXPECT_EQ(Check(updater), PeVerdict::WrongMachine);

    // Cut anywhere, the library is refused: the first pages byte by byte (headers, section
    // table), then a stride through the sections, then the last bytes (the symbol strings).
    std::vector<size_t> cuts;
    for (size_t n = 0; n < 4096; ++n) cuts.push_back(n);
    for (size_t n = 4096; n < signedSize; n += 65521) cuts.push_back(n);
    for (size_t back = 1; back < 64 && back < signedSize; back += 7) cuts.push_back(signedSize - back);
    for (size_t n : cuts) ASSERT_NE(Check(library.substr(0, n)), PeVerdict::Accepted) << "cut at " << n;
}

TEST(PeCheck, MinimalDllAndEveryCut) {
    const std::string dll = test::MinimalDll();
    EXPECT_EQ(Check(dll), PeVerdict::Accepted);
    for (size_t n = 0; n < dll.size(); ++n) EXPECT_NE(Check(dll.substr(0, n)), PeVerdict::Accepted) << n;
}

TEST(PeCheck, BrokenFields) {
    struct Case {
        const char* name;
        std::function<void(std::string&)> change;
        PeVerdict expected;
    };
    const Case cases[] = {
        {"no MZ", [](std::string& b) { b[1] = 'X'; }, PeVerdict::NotPe},
        {"PE offset past the end", [](std::string& b) { Put32(b, 0x3C, 0xFFFFFFF0); }, PeVerdict::NotPe},
        {"PE offset at the last bytes", [](std::string& b) { Put32(b, 0x3C, 0x3FE); }, PeVerdict::NotPe},
        {"no PE signature", [](std::string& b) { b[test::kPeAt + 1] = 'X'; }, PeVerdict::NotPe},
        {"i386", [](std::string& b) { Put16(b, kFileHeader, 0x14C); }, PeVerdict::WrongMachine},
        {"arm64", [](std::string& b) { Put16(b, kFileHeader, 0xAA64); }, PeVerdict::WrongMachine},
        {"PE32 magic", [](std::string& b) { Put16(b, kOptional, 0x10B); }, PeVerdict::NotPe32Plus},
        {"no DLL flag", [](std::string& b) { Put16(b, kFileHeader + 18, 0x0022); }, PeVerdict::NotDll},
        {"not executable", [](std::string& b) { Put16(b, kFileHeader + 18, 0x2020); }, PeVerdict::NotDll},
        {"optional header too short", [](std::string& b) { Put16(b, kFileHeader + 16, 100); }, PeVerdict::NotPe},
        {"optional header past the end", [](std::string& b) { Put16(b, kFileHeader + 16, 0xFFFF); }, PeVerdict::NotPe},
        {"no sections", [](std::string& b) { Put16(b, kFileHeader + 2, 0); }, PeVerdict::BadSections},
        {"too many sections", [](std::string& b) { Put16(b, kFileHeader + 2, 0xFFFF); }, PeVerdict::BadSections},
        {"section table past the end", [](std::string& b) { Put16(b, kFileHeader + 2, 20); }, PeVerdict::BadSections},
        {"section data past the end", [](std::string& b) { Put32(b, kSectionTable + 16, 0x201); },
         PeVerdict::BadSections},
        {"section offset overflows", [](std::string& b) { Put32(b, kSectionTable + 20, 0xFFFFFF00); },
         PeVerdict::BadSections},
        {"symbol table past the end", [](std::string& b) { Put32(b, kFileHeader + 8, 0x3FE); }, PeVerdict::BadSections},
        {"symbol strings past the end",
         [](std::string& b) {
             Put32(b, kFileHeader + 8, 0x3F0);
             Put32(b, 0x3F0, 0x20);
         },
         PeVerdict::BadSections},
        {"symbol count overflows",
         [](std::string& b) {
             Put32(b, kFileHeader + 8, 0x100);
             Put32(b, kFileHeader + 12, 0xFFFFFFFF);
         },
         PeVerdict::BadSections},
        {"no data directories", [](std::string& b) { Put32(b, kOptional + 108, 0); }, PeVerdict::NoExports},
        {"export RVA zero", [](std::string& b) { Put32(b, kOptional + 112, 0); }, PeVerdict::NoExports},
        {"export RVA outside every section", [](std::string& b) { Put32(b, kOptional + 112, 0x9000); },
         PeVerdict::NoExports},
        {"export directory across the section end",
         [](std::string& b) { Put32(b, kOptional + 112, kSectionRva + 0x1F0); }, PeVerdict::NoExports},
        {"other name", [](std::string& b) { b[kExportAt + 0x40 + 16] = 'X'; }, PeVerdict::NoClassObject},
        {"name without its zero", [](std::string& b) { b[kExportAt + 0x40 + 17] = 'X'; }, PeVerdict::NoClassObject},
        {"name as a prefix only", [](std::string& b) { b[kExportAt + 0x40 + 3] = '\0'; }, PeVerdict::NoClassObject},
        {"name at the section end", [](std::string& b) { Put32(b, kExportAt + 0x2C, kSectionRva + 0x1F8); },
         PeVerdict::NoClassObject},
        {"name count huge", [](std::string& b) { Put32(b, kExportAt + 24, 0xFFFFFFFF); }, PeVerdict::NoClassObject},
        {"name count past the section", [](std::string& b) { Put32(b, kExportAt + 24, 200); },
         PeVerdict::NoClassObject},
        {"no names", [](std::string& b) { Put32(b, kExportAt + 24, 0); }, PeVerdict::NoClassObject},
        {"names array outside", [](std::string& b) { Put32(b, kExportAt + 32, 0x7000); }, PeVerdict::NoClassObject},
        {"ordinal past the functions", [](std::string& b) { Put16(b, kExportAt + 0x30, 1); }, PeVerdict::NoClassObject},
        {"function RVA zero", [](std::string& b) { Put32(b, kExportAt + 0x28, 0); }, PeVerdict::NoClassObject},
        {"no functions", [](std::string& b) { Put32(b, kExportAt + 20, 0); }, PeVerdict::NoClassObject},
    };
    for (const Case& c : cases) {
        std::string b = test::MinimalDll();
        c.change(b);
        const PeVerdict got = Check(b);
        EXPECT_EQ(got, c.expected) << c.name << ": " << PeVerdictName(got);
    }
}

}  // namespace
}  // namespace kv

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc != 3) {
        fprintf(stderr, "usage: pe_check_test KestrovaSE.dll KVUpdater.exe\n");
        return 2;
    }
    kv::g_library = argv[1];
    kv::g_updater = argv[2];
    return RUN_ALL_TESTS();
}
