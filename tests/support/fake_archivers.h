// A test's own set of fake archiver modules, in a temporary folder that the
// library searches first, with a script for their answers and a log of calls.
#ifndef KELVORA_TESTS_FAKE_ARCHIVERS_H
#define KELVORA_TESTS_FAKE_ARCHIVERS_H

#include <filesystem>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "temp_folder.h"

class FakeArchiverTest : public ::testing::Test {
protected:
    enum class Variant { Full, Empty };

    void SetUp() override;
    void TearDown() override;

    // Puts the fake module of each archiver index into the search folder.
    void Install(std::initializer_list<int> indexes, Variant variant = Variant::Full);
    void InstallAll(Variant variant = Variant::Full);
    // Adds "Prefix.Function=value" to the script.
    void Script(const std::string& key, const std::string& value);
    // The calls logged so far; cleared by ClearLog.
    std::vector<std::string> Log() const;
    void ClearLog();
    // True while the library (or anything in the process) holds the module.
    bool Loaded(int index) const;
    // True when no fake module is loaded and every logged load was unloaded.
    void ExpectNothingHeld() const;

    TempFolder temp_{"fake-archivers"};
    std::filesystem::path folder_;
};

#endif
