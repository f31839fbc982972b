// dravx-identify [-n ROUNDS] TAR.GZ ZIP FOLDER...: what it costs to tell what
// one small archive is through Dravolix, as the program does before it opens
// one: DravxCheckArchive, DravxGetArchiveType and DravxGetFileCount through
// Tar32 (index 4) for the .tar.gz, DravxCheckArchive and DravxGetFileCount
// through UnZip32 (index 2) for the .zip.
//
// Each FOLDER is an application folder: its Dravolix.so is loaded with dlopen
// and finds its modules (and they their worker) in that same folder, so one
// binary measures builds of different commits. The folders take turns, one
// identification each, so that a change in the machine's load falls on all
// of them alike. After a few warm-up rounds, ROUNDS (default 50) are timed.
//
// Per folder and archive it prints the wall-clock median, min and max in ms,
// and the CPU time (user + system, of this process and of the children it
// reaped, such as workers) per identification, averaged over the rounds. Then
// the difference of every further folder's medians from the first folder's.
// Exits 1 when an archive is not recognised or the folders answer differently.
#include <dlfcn.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "dravolix.h"

namespace {

constexpr int kWarmUpRounds = 3;
constexpr int kTarIndex = 4;
constexpr int kZipIndex = 2;

struct Library {
    std::string folder;
    decltype(&DravxCheckArchive) check = nullptr;
    decltype(&DravxGetArchiveType) type = nullptr;
    decltype(&DravxGetFileCount) count = nullptr;
};

// What one identification answered; every round must answer the same.
struct Answers {
    int32_t check = 0, type = 0, count = 0;
    bool operator==(const Answers&) const = default;
};

struct Samples {
    std::vector<double> wall_ms;
    double cpu_ms = 0;  // summed over the timed rounds
    Answers answers;
    bool answered = false;
    bool consistent = true;
};

double CpuMs() {
    double total = 0;
    for (int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
        rusage usage{};
        getrusage(who, &usage);
        for (const timeval& t : {usage.ru_utime, usage.ru_stime}) total += t.tv_sec * 1e3 + t.tv_usec / 1e3;
    }
    return total;
}

bool Open(Library& library) {
    const std::string path = library.folder + "/Dravolix.so";
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        std::fprintf(stderr, "%s\n", dlerror());
        return false;
    }
    library.check = reinterpret_cast<decltype(library.check)>(dlsym(handle, "DravxCheckArchive"));
    library.type = reinterpret_cast<decltype(library.type)>(dlsym(handle, "DravxGetArchiveType"));
    library.count = reinterpret_cast<decltype(library.count)>(dlsym(handle, "DravxGetFileCount"));
    if (!library.check || !library.type || !library.count) {
        std::fprintf(stderr, "%s lacks an export\n", path.c_str());
        return false;
    }
    return true;
}

Answers Identify(const Library& library, int index, const char* archive) {
    // The library looks for modules first in this folder; the process keeps
    // it in its environment, so it is set again before every turn.
    setenv("ZENKARI_DLL_DIRECTORY", library.folder.c_str(), 1);
    Answers answers;
    answers.check = library.check(index, archive, 1);
    if (index == kTarIndex) answers.type = library.type(index, archive);
    answers.count = library.count(index, archive);
    return answers;
}

void Measure(const Library& library, int index, const char* archive, Samples& samples, bool timed) {
    const double cpu_before = CpuMs();
    const auto start = std::chrono::steady_clock::now();
    const Answers answers = Identify(library, index, archive);
    const auto end = std::chrono::steady_clock::now();
    const double cpu = CpuMs() - cpu_before;
    if (!samples.answered)
        samples.answers = answers;
    else
        samples.consistent = samples.consistent && answers == samples.answers;
    samples.answered = true;
    if (!timed) return;
    samples.wall_ms.push_back(std::chrono::duration<double, std::milli>(end - start).count());
    samples.cpu_ms += cpu;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = 50;
    int first = 1;
    if (argc > 2 && std::string(argv[1]) == "-n") {
        rounds = std::atoi(argv[2]);
        first = 3;
    }
    if (argc - first < 3 || rounds < 1) {
        std::fprintf(stderr, "usage: dravx-identify [-n ROUNDS] TAR.GZ ZIP APPLICATION-FOLDER...\n");
        return 2;
    }
    struct Archive {
        const char* name;
        int index;
        const char* path;
    };
    const Archive archives[] = {{"tar.gz", kTarIndex, argv[first]}, {"zip", kZipIndex, argv[first + 1]}};
    std::vector<Library> libraries;
    for (int i = first + 2; i < argc; ++i) {
        libraries.push_back({argv[i]});
        if (!Open(libraries.back())) return 2;
    }

    // samples[library][archive]
    std::vector<std::vector<Samples>> samples(libraries.size(), std::vector<Samples>(std::size(archives)));
    // Every round identifies a file of its own (a fresh copy), as a user
    // going from one archive to the next does: a module's worker kept for the
    // archive it last read does not serve another one.
    for (int round = 0; round < kWarmUpRounds + rounds; ++round)
        for (size_t a = 0; a < std::size(archives); ++a)
            for (size_t l = 0; l < libraries.size(); ++l) {
                const std::string copy = std::string(archives[a].path) + ".round-" + std::to_string(l);
                std::filesystem::remove(copy);
                std::filesystem::copy_file(archives[a].path, copy);
                Measure(libraries[l], archives[a].index, copy.c_str(), samples[l][a], round >= kWarmUpRounds);
                std::filesystem::remove(copy);
            }

    int status = 0;
    std::printf("%-7s %6s %6s %6s %8s %6s %6s %7s  %s\n", "archive", "check", "type", "count", "median", "min", "max",
                "cpu", "folder");
    for (size_t a = 0; a < std::size(archives); ++a) {
        for (size_t l = 0; l < libraries.size(); ++l) {
            const Samples& s = samples[l][a];
            const auto [low, high] = std::minmax_element(s.wall_ms.begin(), s.wall_ms.end());
            std::printf("%-7s %6d %6d %6d %8.2f %6.2f %6.2f %7.2f  %s\n", archives[a].name, s.answers.check,
                        s.answers.type, s.answers.count, Median(s.wall_ms), *low, *high, s.cpu_ms / rounds,
                        libraries[l].folder.c_str());
            if (!s.consistent) {
                std::fprintf(stderr, "%s: answers changed between rounds\n", libraries[l].folder.c_str());
                status = 1;
            }
            if (s.answers.check != 1 || s.answers.count <= 0) {
                std::fprintf(stderr, "%s: %s not recognised\n", libraries[l].folder.c_str(), archives[a].path);
                status = 1;
            }
            if (!(s.answers == samples[0][a].answers)) {
                std::fprintf(stderr, "%s answers otherwise than %s\n", libraries[l].folder.c_str(),
                             libraries[0].folder.c_str());
                status = 1;
            }
        }
    }
    for (size_t l = 1; l < libraries.size(); ++l)
        for (size_t a = 0; a < std::size(archives); ++a)
            std::printf("difference %-7s %+8.2f ms wall %+8.2f ms cpu  (%s - %s)\n", archives[a].name,
                        Median(samples[l][a].wall_ms) - Median(samples[0][a].wall_ms),
                        (samples[l][a].cpu_ms - samples[0][a].cpu_ms) / rounds, libraries[l].folder.c_str(),
                        libraries[0].folder.c_str());
    std::printf("ms per identification: wall-clock median, min and max of %d rounds after %d warm-up rounds;\n"
                "cpu: user + system of this process and its reaped children, mean per round\n",
                rounds, kWarmUpRounds);
    return status;
}
