#include "archive_fuzz.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "operations.h"
#include "temp_folder.h"

namespace fs = std::filesystem;

namespace {

bool IsArchiverResult(int32_t code) { return code == 0 || (code >= 0x8000 && code <= 0x80FF); }

}  // namespace

std::string RunArchiveOperations(int kind_number, const uint8_t* data, size_t size) {
    using archivers::Kind;
    const Kind kinds[] = {Kind::Lha, Kind::Zip, Kind::Cab, Kind::Tar, Kind::Rar, Kind::Arj};
    const Kind kind = kinds[static_cast<unsigned>(kind_number) % std::size(kinds)];
    TempFolder work("archive-fuzz");
    if (work.Path().empty()) return "no work folder";
    const fs::path archive = work.Path() / "input.bin";
    std::ofstream(archive, std::ios::binary).write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));

    std::string problems;
    for (int32_t mode : {1, 2}) {
        int32_t taken = archivers::CheckArchive(kind, archive.c_str(), mode);
        if (taken != 0 && taken != 1) problems += "CheckArchive answered " + std::to_string(taken) + "\n";
    }
    if (archivers::FileCount(kind, archive.c_str()) < -1) problems += "FileCount below -1\n";
    if (kind == Kind::Tar && archivers::TarArchiveType(archive.c_str()) > 55) problems += "type code above 55\n";

    archivers::NoProgress quiet;
    if (int32_t code = archivers::Test(kind, archive.string(), quiet); !IsArchiverResult(code))
        problems += "Test answered " + std::to_string(code) + "\n";
    archivers::Command extract{.action = archivers::Action::Extract,
                               .quiet = true,
                               .archive = archive.string(),
                               .destination = (work.Path() / "out/").string(),
                               .patterns = {"*.*"}};
    if (int32_t code = archivers::Extract(kind, extract, quiet); !IsArchiverResult(code))
        problems += "Extract answered " + std::to_string(code) + "\n";
    for (const auto& entry : fs::directory_iterator(work.Path()))
        if (entry.path() != archive && entry.path().filename() != "out")
            problems += "written outside: " + entry.path().string() + "\n";
    return problems;
}

#ifdef KELVORA_LIBFUZZER
namespace {

// KELVORA_FUZZ_KIND=0..4 fuzzes that one module: every input is then the
// archive itself. Without it the first byte chooses the module.
int g_kind = -1;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (const char* kind = std::getenv("KELVORA_FUZZ_KIND"); kind && *kind) {
        char* end = nullptr;
        long value = std::strtol(kind, &end, 10);
        if (*end != '\0' || value < 0 || value > 5) {
            std::fprintf(stderr, "KELVORA_FUZZ_KIND must be 0..5, not \"%s\"\n", kind);
            std::exit(2);
        }
        g_kind = static_cast<int>(value);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    int kind = g_kind;
    if (kind < 0) {
        if (size < 1) return 0;
        kind = data[0];
        ++data;
        --size;
    }
    if (std::string problems = RunArchiveOperations(kind, data, size); !problems.empty()) {
        std::fputs(problems.c_str(), stderr);
        std::abort();
    }
    return 0;
}
#endif
