// Comparing extracted folder trees with the fixtures' source trees.
#ifndef KELVORA_TESTS_TREE_COMPARE_H
#define KELVORA_TESTS_TREE_COMPARE_H

#include <filesystem>
#include <string>

// Empty when both trees hold the same names, kinds and bytes (and, with
// `times`, the same file times to two seconds, as MS-DOS times keep them);
// otherwise a line for each difference.
std::string CompareTrees(const std::filesystem::path& expected, const std::filesystem::path& actual,
                         bool times = true);

std::string ReadFile(const std::filesystem::path& path);

#endif
