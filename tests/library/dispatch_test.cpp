// Dravx and the module loading beneath it, with fake archiver modules.
#include <unistd.h>

#include <fstream>

#include "dravolix.h"
#include "fake_archivers.h"
#include "module_loader.h"
#include "wait_window.h"

using ::testing::ElementsAre;

namespace {

class DispatchTest : public FakeArchiverTest {};

TEST_F(DispatchTest, IndexOutsideTableLoadsNothing) {
    InstallAll();
    for (int index : {0, 14, -1, 99})
        EXPECT_EQ(Dravx(index, reinterpret_cast<HWND>(0x1234), "x", nullptr, 0), -1) << index;
    EXPECT_TRUE(Log().empty());
}

TEST_F(DispatchTest, EveryIndexLoadsItsModuleAndCallsItsPrefix) {
    InstallAll();
    const char* expected[][2] = {{}, {"Unlha32", "Unlha"}, {"UnZip32", "UnZip"}, {"Cab32", "Cab"},
                                 {"Tar32", "Tar"}, {"Unarj32j", "Unarj"}, {"Unrar32", "Unrar"},
                                 {"Bga32", "Bga"}, {"Yz1", "Yz1"}, {"Zip32j", "Zip"},
                                 {"UnGCA32", "UnGCA"}, {"Unbel32", "Unbel"}, {"Unjam32", "Unjam"},
                                 {"Jack32", "Jack"}};
    for (int index = 1; index <= 13; ++index) {
        ClearLog();
        EXPECT_EQ(Dravx(index, nullptr, "t \"a b.lzh\"", nullptr, 0), 0);
        std::string name = expected[index][0], prefix = expected[index][1];
        EXPECT_THAT(Log(), ElementsAre("load " + name,
                                       prefix + " owner=0 cmd=t \"a b.lzh\" output=null size=0",
                                       "unload " + name));
    }
}

TEST_F(DispatchTest, PassesArgumentsAndResultUnchanged) {
    Install({1});
    Script("Unlha.Command", "0x8012");
    Script("Unlha.Output", "listing");
    char output[16] = {};
    std::string longCommand = "x -d1 -y1 \"" + std::string(100000, 'a') + "\" \"/out/\" *.*";
    EXPECT_EQ(Dravx(1, reinterpret_cast<HWND>(0xbeef), longCommand.c_str(), output, sizeof output), 0x8012);
    EXPECT_STREQ(output, "listing");
    EXPECT_EQ(Log().at(1), "Unlha owner=0xbeef cmd=" + longCommand + " output=set size=16");

    Script("Unlha.Command", "-2");  // a module's own -2 passes through too
    EXPECT_EQ(Dravx(1, nullptr, "t a.lzh", nullptr, 0), -2);
    ExpectNothingHeld();
}

TEST_F(DispatchTest, MissingBrokenOrIncompleteModules) {
    EXPECT_EQ(Dravx(2, nullptr, "x", nullptr, 0), -2);  // not installed
    std::ofstream(folder_ / "UnZip32.so") << "not a module";
    EXPECT_EQ(Dravx(2, nullptr, "x", nullptr, 0), -2);  // broken
    Install({3}, Variant::Empty);
    EXPECT_EQ(Dravx(3, nullptr, "x", nullptr, 0), DRAVX_ERROR_NO_ENTRY);
    EXPECT_EQ(Dravx(3, nullptr, nullptr, nullptr, 0), DRAVX_ERROR_NULL_ARGUMENT);
    EXPECT_THAT(Log(), ElementsAre("load Cab32", "unload Cab32"));
    ExpectNothingHeld();
}

TEST_F(DispatchTest, WithoutQApplicationTheWaitWindowIsSkipped) {
    Install({1});
    EXPECT_EQ(platform::ShowWaitWindow(reinterpret_cast<HWND>(0x10)), nullptr);
    EXPECT_EQ(Dravx(1, reinterpret_cast<HWND>(0x10), "t a.lzh", nullptr, 0), 0);
    EXPECT_EQ(Log().at(1), "Unlha owner=0x10 cmd=t a.lzh output=null size=0");
    ExpectNothingHeld();
}

TEST(ModuleLoader, MapsNamesAndSearchesOnlyTheNamedFolders) {
    EXPECT_EQ(platform::ModuleFileName("Unarj32j.dll"), "Unarj32j.so");
    EXPECT_EQ(platform::ModuleFileName("Yz1.dll"), "Yz1.so");
    EXPECT_EQ(platform::ModuleFileName("libc.so.6"), "libc.so.6");

    // A module planted in the current folder is never loaded, nor is a name
    // with a folder in it, nor one that differs in case.
    TempFolder folder("planted");
    ASSERT_FALSE(folder.Path().empty());
    std::string planted = folder.Path();
    // Jack32 is none of our modules, so no other folder holds it.
    std::filesystem::copy_file(std::string(FAKE_MODULE_DIR) + "/full/Jack32.so", planted + "/Jack32.so");
    std::string previous = std::filesystem::current_path();
    std::filesystem::current_path(planted);
    platform::SetModuleDirectory("");
    EXPECT_FALSE(platform::ModuleLoadable("Jack32.dll"));
    EXPECT_FALSE(platform::ModuleLoadable("./Jack32.dll"));
    EXPECT_FALSE(platform::FindModuleFile("Jack32.dll"));

    platform::SetModuleDirectory(planted);
    EXPECT_EQ(platform::FindModuleFile("Jack32.dll"), planted + "/Jack32.so");
    EXPECT_TRUE(platform::ModuleLoadable("Jack32.dll"));
    EXPECT_FALSE(platform::ModuleLoadable("jack32.dll"));
    EXPECT_FALSE(platform::ModuleLoadable("../" + planted.substr(5) + "/Jack32.dll"));

    platform::SetModuleDirectory("");
    std::filesystem::current_path(previous);
}

}  // namespace
