#include "split_set.h"

#include <filesystem>
#include <system_error>

namespace core {
namespace {

constexpr int kLastNumber = 999;

bool IsRegularFile(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

// The path without its three-digit number.
std::string Stem(const std::string& part) { return part.substr(0, part.size() - 3); }

std::string Numbered(const std::string& stem, int number) {
    const char digits[] = {char('0' + number / 100), char('0' + number / 10 % 10), char('0' + number % 10), '\0'};
    return stem + digits;
}

// The number a part name ends in; -1 when it does not end in three digits.
int NumberOf(const std::string& part) {
    if (part.size() < 3) return -1;
    int number = 0;
    for (size_t i = part.size() - 3; i < part.size(); ++i) {
        if (part[i] < '0' || part[i] > '9') return -1;
        number = number * 10 + (part[i] - '0');
    }
    return number;
}

bool EndsIn(const std::string& path, const std::string& tail) {
    return path.size() >= tail.size() && path.compare(path.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

std::vector<std::string> SplitParts(const std::string& first_part) {
    std::vector<std::string> parts{first_part};
    const std::string stem = Stem(first_part);
    for (int n = NumberOf(first_part) + 1; n > 0 && n <= kLastNumber && IsRegularFile(Numbered(stem, n)); ++n)
        parts.push_back(Numbered(stem, n));
    return parts;
}

int SplitSetPartCount(const std::string& path) {
    const bool zero_first = EndsIn(path, "000");
    if (!zero_first && !(EndsIn(path, ".001") && !IsRegularFile(Numbered(Stem(path), 0)))) return 0;
    if (!IsRegularFile(path)) return 0;
    const size_t parts = SplitParts(path).size();
    return parts >= 2 ? static_cast<int>(parts) : 0;
}

std::string JoinedName(const std::string& first_part) {
    return EndsIn(first_part, ".001") ? first_part.substr(0, first_part.size() - 4) : Stem(first_part);
}

}  // namespace core
