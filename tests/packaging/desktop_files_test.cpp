// The desktop entry and the MIME package that an installed copy brings agree
// with what the program itself registers through 環境設定 (DravxSetAssoc),
// both made against the system's shared MIME database.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "archiver_table.h"
#include "dravolix.h"
#include "env_var.h"
#include "module_loader.h"
#include "profile.h"
#include "temp_folder.h"
#include "tree_compare.h"

namespace {

namespace fs = std::filesystem;

std::set<std::string> MimeTypes(const fs::path& entry) {
    std::istringstream list(platform::ReadProfileString(entry.string(), "Desktop Entry", "MimeType").value_or(""));
    std::set<std::string> types;
    for (std::string type; std::getline(list, type, ';');) types.insert(type);
    return types;
}

// A user with nothing registered, and the system's MIME database alone (a
// copy of its globs: no MIME package of an installed copy is seen).
class DesktopFilesTest : public ::testing::Test {
protected:
    DesktopFilesTest() {
        fs::create_directories(db_.Path() / "mime");
        fs::copy_file(fs::path(KELVORA_MIME_DATABASE) / "mime/globs2", db_.Path() / "mime/globs2");
    }

    // Registers the program as 環境設定 does, for every archiver whose
    // module the build made, or for every archiver.
    void Register(bool built_only) {
        for (int index = dravolix::kFirstArchiver; index <= dravolix::kLastArchiver; ++index) {
            const std::string dll = dravolix::ArchiverDllName(index);
            const fs::path module = fs::path(KELVORA_BIN_DIR) / platform::ModuleFileName(dll);
            if (built_only && !fs::exists(module)) continue;
            ASSERT_EQ(DravxSetAssoc(index, "/opt/kelvora/zenkari", "%1", 0), 1) << dll;
            ++registered_;
        }
    }

    TempFolder home_, data_, config_, db_;
    EnvVar home_var_{"HOME", home_.Path().c_str()};
    EnvVar data_var_{"XDG_DATA_HOME", data_.Path().c_str()};
    EnvVar config_var_{"XDG_CONFIG_HOME", config_.Path().c_str()};
    EnvVar dirs_var_{"XDG_DATA_DIRS", db_.Path().c_str()};
    int registered_ = 0;
};

TEST_F(DesktopFilesTest, TheInstalledEntryListsTheTypesRegisteredForTheBuiltModules) {
    Register(true);
    EXPECT_EQ(registered_, 6);  // Unlha32, UnZip32, Cab32, Tar32, Unarj32j, Unrar32
    const std::set<std::string> registered = MimeTypes(data_.Path() / "applications/kelvora-zenkari.desktop");
    EXPECT_TRUE(registered.count("application/x-lha")) << "the database knows .lzh";
    EXPECT_EQ(MimeTypes(KELVORA_DESKTOP_ENTRY), registered);
}

TEST_F(DesktopFilesTest, TheInstalledPackageIsTheOneWrittenForEveryArchiver) {
    Register(false);
    const std::string package = ReadFile(data_.Path() / "mime/packages/kelvora-zenkari.xml");
    for (const char* type : {"x-kelvora-gza", "x-kelvora-bza", "x-kelvora-yz1", "x-kelvora-jak"})
        EXPECT_NE(package.find(type), std::string::npos) << type;
    EXPECT_EQ(ReadFile(KELVORA_MIME_PACKAGE), package);
}

}  // namespace
