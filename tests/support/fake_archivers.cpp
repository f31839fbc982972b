#include "fake_archivers.h"

#include <dlfcn.h>
#include <stdlib.h>

#include <algorithm>
#include <fstream>

#include "module_loader.h"

namespace fs = std::filesystem;

namespace {
const char* const kModuleFiles[] = {"",          "Unlha32", "UnZip32", "Cab32",   "Tar32",
                                    "Unarj32j",  "Unrar32", "Bga32",   "Yz1",     "Zip32j",
                                    "UnGCA32",   "Unbel32", "Unjam32", "Jack32"};
}

void FakeArchiverTest::SetUp() {
    ASSERT_FALSE(temp_.Path().empty());
    folder_ = temp_.Path();
    setenv("FAKE_ARCHIVER_SCRIPT", (folder_ / "script").c_str(), 1);
    setenv("FAKE_ARCHIVER_LOG", (folder_ / "log").c_str(), 1);
    platform::SetModuleDirectory(folder_.string());
}

void FakeArchiverTest::TearDown() {
    platform::SetModuleDirectory("");
    unsetenv("FAKE_ARCHIVER_SCRIPT");
    unsetenv("FAKE_ARCHIVER_LOG");
}

void FakeArchiverTest::Install(std::initializer_list<int> indexes, Variant variant) {
    const fs::path source = fs::path(FAKE_MODULE_DIR) / (variant == Variant::Full ? "full" : "empty");
    for (int index : indexes) {
        std::string file = std::string(kModuleFiles[index]) + ".so";
        fs::copy_file(source / file, folder_ / file, fs::copy_options::overwrite_existing);
    }
}

void FakeArchiverTest::InstallAll(Variant variant) {
    Install({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}, variant);
}

void FakeArchiverTest::Script(const std::string& key, const std::string& value) {
    std::ofstream(folder_ / "script", std::ios::app) << key << '=' << value << '\n';
}

std::vector<std::string> FakeArchiverTest::Log() const {
    std::vector<std::string> lines;
    std::ifstream log(folder_ / "log");
    for (std::string line; std::getline(log, line);) lines.push_back(line);
    return lines;
}

void FakeArchiverTest::ClearLog() { fs::remove(folder_ / "log"); }

bool FakeArchiverTest::Loaded(int index) const {
    fs::path path = folder_ / (std::string(kModuleFiles[index]) + ".so");
    void* handle = dlopen(path.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    if (handle) dlclose(handle);
    return handle != nullptr;
}

void FakeArchiverTest::ExpectNothingHeld() const {
    for (int index = 1; index <= 13; ++index) EXPECT_FALSE(Loaded(index)) << kModuleFiles[index];
    auto log = Log();
    auto loads = std::count_if(log.begin(), log.end(), [](auto& l) { return l.starts_with("load "); });
    auto unloads = std::count_if(log.begin(), log.end(), [](auto& l) { return l.starts_with("unload "); });
    EXPECT_EQ(loads, unloads);
}
