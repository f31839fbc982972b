// Every input in tests/fuzz/regressions that once crashed or misled a module,
// run through the real modules as the program runs them (through Dravolix):
// probe in both modes, count, test, extract. The file name's first digit is
// the module's kind (0 LZH, 1 ZIP, 2 CAB, 3 TAR, 4 RAR). Each case must come
// back with results the archiver API allows and write nothing outside its
// output folder; a crash ends the case's process and fails it.
#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dravolix.h"
#include "module_loader.h"
#include "temp_folder.h"

namespace fs = std::filesystem;

namespace {

const fs::path kRegressions = KELVORA_REGRESSIONS_DIR;

// Dravolix's archiver index of each kind, and the program's commands for it.
struct Module {
    int index;
    const char* test;
    const char* extract;
};
const Module kModules[] = {{1, "t ", "x -d1 -y1 "}, {2, "-t ", "-x -o -q "}, {3, "-t ", "-x -k "},
                           {4, "-t ", "-xvf "},      {6, "-t ", "-x "}};

bool IsArchiverResult(int32_t code) { return code == 0 || (code >= 0x8000 && code <= 0x80FF); }

std::vector<std::string> RegressionFiles() {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(kRegressions, error)) {
        std::string name = entry.path().filename().string();
        if (entry.is_regular_file() && name.size() > 2 && name[0] >= '0' && name[0] <= '4' && name[1] == '-')
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Everything under `folder`, as paths relative to it.
std::set<std::string> Listing(const fs::path& folder) {
    std::set<std::string> paths;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(folder, error); !error && it != fs::recursive_directory_iterator();
         it.increment(error))
        paths.insert(fs::relative(it->path(), folder).string());
    return paths;
}

class RegressionTest : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override { platform::SetModuleDirectory(KELVORA_BIN_DIR); }
    void TearDown() override { platform::SetModuleDirectory(""); }
};

TEST(RegressionFolder, HoldsInputsForEveryCase) {
    // Catches a moved folder, which would otherwise leave no case to fail.
    EXPECT_FALSE(RegressionFiles().empty()) << kRegressions;
}

TEST_P(RegressionTest, StaysWithinItsCodesAndOutputFolder) {
    const std::string name = GetParam();
    const Module& module = kModules[name[0] - '0'];
    TempFolder work("fuzz-regression");
    ASSERT_FALSE(work.Path().empty());
    // The archive and the output folder sit two levels down, so that names
    // climbing out of the output folder with "../" still land where we look.
    const fs::path folder = work.Path() / "a" / "b";
    fs::create_directories(folder);
    // A copy of the input keeps the checked-in file out of harm's way; the
    // extension stays, since some modules look at it.
    const fs::path archive = folder / name;
    fs::copy_file(kRegressions / name, archive);
    const fs::path out = folder / "out";

    for (int32_t mode : {1, 2}) {
        int32_t taken = DravxCheckArchive(module.index, archive.c_str(), mode);
        EXPECT_TRUE(taken == 0 || taken == 1) << "CheckArchive mode " << mode << ": " << taken;
    }
    int32_t count = DravxGetFileCount(module.index, archive.c_str());
    EXPECT_GE(count, -1) << "GetFileCount";

    std::string test = std::string(module.test) + "\"" + archive.string() + "\"";
    int32_t tested = Dravx(module.index, nullptr, test.c_str(), nullptr, 0);
    EXPECT_TRUE(IsArchiverResult(tested)) << "test command: " << std::hex << tested;

    std::string extract = std::string(module.extract) + "\"" + archive.string() + "\" \"" + out.string() + "/\" *.*";
    int32_t extracted = Dravx(module.index, nullptr, extract.c_str(), nullptr, 0);
    EXPECT_TRUE(IsArchiverResult(extracted)) << "extract command: " << std::hex << extracted;

    const std::set<std::string> expected = {"a", "a/b", "a/b/" + name, "a/b/out"};
    for (const std::string& path : Listing(work.Path()))
        EXPECT_TRUE(expected.count(path) || path.rfind("a/b/out/", 0) == 0) << "written outside: " << path;
    EXPECT_EQ(fs::file_size(archive), fs::file_size(kRegressions / name)) << "the archive itself changed";
}

INSTANTIATE_TEST_SUITE_P(Inputs, RegressionTest, ::testing::ValuesIn(RegressionFiles()),
                         [](const auto& info) {
                             std::string name = info.param;
                             for (char& c : name)
                                 if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(RegressionTest);

}  // namespace
