// The input of bench/endtoend.sh and bench/extract.sh, the same bytes on every run (fixed seeds):
//
//   endtoend-input tree FOLDER COUNT    COUNT files in a few hundred folders up to
//                                       four levels deep, half text made of words,
//                                       half random bytes, 1 byte to 32 KiB, every
//                                       300th of 256 KiB to 2 MiB (about 7 KB a file)
//   endtoend-input wide-tree FOLDER COUNT
//                                       the same with files up to 64 KiB and every
//                                       250th big: the input of bench/extract.sh
//   endtoend-input small FOLDER COUNT   COUNT small files, text and random bytes of
//                                       0 to 2 KiB, 1,000 to a folder
//   endtoend-input big FILE BYTES       one file of text made of words, which
//                                       compresses about as well as prose
//
// Prints what it made: "15000 files, 104.9 MB".
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

namespace fs = std::filesystem;

namespace {

uint64_t state = 20240601;
uint64_t Next() {  // splitmix64: the same sequence with every compiler
    uint64_t z = (state += 0x9e3779b97f4a7c15);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9;
    z = (z ^ (z >> 27)) * 0x94d049bb133111eb;
    return z ^ (z >> 31);
}
uint64_t Below(uint64_t n) { return Next() % n; }

const char* const kWords[] = {"archive", "folder", "the", "of", "file", "name", "extract", "data", "a",
                              "header", "size", "time", "and", "to", "block", "entry", "read", "write",
                              "table", "index", "module", "window", "list", "test", "path", "is"};

std::string Text(size_t size) {
    std::string text;
    text.reserve(size + 16);
    while (text.size() < size) {
        text += kWords[Below(std::size(kWords))];
        text += Below(12) ? ' ' : '\n';
    }
    text.resize(size);
    return text;
}

std::string Random(size_t size) {
    std::string bytes(size + 8, '\0');
    for (size_t i = 0; i < size; i += 8) {
        uint64_t word = Next();
        for (int b = 0; b < 8; ++b) bytes[i + b] = static_cast<char>(word >> (8 * b));
    }
    bytes.resize(size);
    return bytes;
}

bool Write(const fs::path& path, std::string_view data) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file || std::fwrite(data.data(), 1, data.size(), file) != data.size() || std::fclose(file) != 0) {
        std::perror(path.c_str());
        return false;
    }
    return true;
}

// COUNT files of 1 byte to 2^max_bits bytes (twice that less one), every
// big_every-th of 256 KiB to 2 MiB.
int Tree(const fs::path& root, int count, int max_bits = 15, int big_every = 300) {
    uint64_t total = 0;
    for (int i = 0; i < count; ++i) {
        fs::path folder = root / ("dir" + std::to_string(Below(8)));
        if (Below(4)) folder /= "sub" + std::to_string(Below(6));
        if (Below(3) == 0) folder /= "deep" + std::to_string(Below(4));
        fs::create_directories(folder);
        const uint64_t bits = Below(static_cast<uint64_t>(max_bits));
        const size_t size = i % big_every == 0 ? (256u << 10) + Below(7u << 18) : (1u << bits) + Below(1u << bits);
        const bool text = Below(2);
        const std::string name = "f" + std::to_string(i) + (text ? ".txt" : ".bin");
        if (!Write(folder / name, text ? Text(size) : Random(size))) return 1;
        total += size;
    }
    std::printf("%d files, %.1f MB\n", count, total / 1e6);
    return 0;
}

int Small(const fs::path& root, int count) {
    state = 20240602;
    uint64_t total = 0;
    for (int i = 0; i < count; ++i) {
        char folder[16];
        std::snprintf(folder, sizeof folder, "d%03d", i / 1000);
        fs::create_directories(root / folder);
        const size_t size = Below(2049);
        const bool text = Below(2);
        const std::string name = "s" + std::to_string(i) + (text ? ".txt" : ".bin");
        if (!Write(root / folder / name, text ? Text(size) : Random(size))) return 1;
        total += size;
    }
    std::printf("%d files, %.1f MB\n", count, total / 1e6);
    return 0;
}

int Big(const fs::path& path, uint64_t bytes) {
    state = 20240603;
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        std::perror(path.c_str());
        return 1;
    }
    constexpr size_t kPiece = 4 << 20;
    for (uint64_t done = 0; done < bytes;) {
        const std::string text = Text(static_cast<size_t>(std::min<uint64_t>(kPiece, bytes - done)));
        if (std::fwrite(text.data(), 1, text.size(), file) != text.size()) {
            std::perror(path.c_str());
            return 1;
        }
        done += text.size();
    }
    if (std::fclose(file) != 0) {
        std::perror(path.c_str());
        return 1;
    }
    std::printf("1 file, %.1f MB\n", bytes / 1e6);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc == 4 ? argv[1] : "";
    const uint64_t number = argc == 4 ? std::strtoull(argv[3], nullptr, 10) : 0;
    if (mode == "tree" && number > 0) return Tree(argv[2], static_cast<int>(number));
    if (mode == "wide-tree" && number > 0) return Tree(argv[2], static_cast<int>(number), 16, 250);
    if (mode == "small" && number > 0) return Small(argv[2], static_cast<int>(number));
    if (mode == "big" && number > 0) return Big(argv[2], number);
    std::fprintf(stderr, "usage: endtoend-input tree|wide-tree|small FOLDER COUNT | big FILE BYTES\n");
    return 2;
}
