// The probing and information exports, with fake archiver modules.
#include "dravolix.h"
#include "fake_archivers.h"

using ::testing::ElementsAre;

namespace {

class ProbingTest : public FakeArchiverTest {};

TEST_F(ProbingTest, IndexAndNullNameAreRefusedBeforeLoading) {
    InstallAll();
    for (int index : {0, 14}) {
        EXPECT_EQ(DravxCheckArchive(index, "a", 1), -1);
        EXPECT_EQ(DravxGetArchiveType(index, "a"), -1);
        EXPECT_EQ(DravxGetFileCount(index, "a"), -1);
        EXPECT_EQ(DravxGetVersion(index), -1);
        EXPECT_EQ(DravxGetSubVersion(index), -1);
        EXPECT_EQ(DravxConfigDialog(index, nullptr, nullptr, 0), -1);
        EXPECT_EQ(DravxQueryFunctionList(index, 1), -1);
    }
    EXPECT_EQ(DravxCheckArchive(1, nullptr, 1), DRAVX_ERROR_NULL_ARGUMENT);
    EXPECT_EQ(DravxGetArchiveType(4, nullptr), DRAVX_ERROR_NULL_ARGUMENT);
    EXPECT_EQ(DravxGetFileCount(1, nullptr), DRAVX_ERROR_NULL_ARGUMENT);
    EXPECT_EQ(DravxCheckArchiveEx(nullptr, 1), DRAVX_ERROR_NULL_ARGUMENT);
    EXPECT_TRUE(Log().empty());
}

TEST_F(ProbingTest, AnswersPassThroughAndModulesAreReleased) {
    InstallAll();
    Script("UnZip.CheckArchive", "1");
    Script("Cab.GetFileCount", "1234");
    Script("Unrar.GetVersion", "0x1F4");
    Script("Unlha.ConfigDialog", "0x8020");
    Script("Unlha.Options", "-a1");
    EXPECT_EQ(DravxCheckArchive(2, "/in/a b.zip", 1), 1);
    EXPECT_EQ(DravxGetFileCount(3, "/in/a.cab"), 1234);
    EXPECT_EQ(DravxGetVersion(6), 500);
    char options[32] = "";
    EXPECT_EQ(DravxConfigDialog(1, reinterpret_cast<HWND>(0x42), options, 2), 0x8020);
    EXPECT_STREQ(options, "-a1");
    EXPECT_EQ(DravxGetCoreVersion(), 6);
    EXPECT_EQ(DravxOpenArchive(1, nullptr, "a", 0), 0);
    EXPECT_EQ(DravxCloseArchive(1, nullptr), 0);
    EXPECT_EQ(DravxFindFirst(1, nullptr, "*", nullptr), 0);
    EXPECT_EQ(DravxFindNext(1, nullptr, nullptr), 0);
    EXPECT_THAT(Log(), ElementsAre("load UnZip32", "UnZipCheckArchive /in/a b.zip 1", "unload UnZip32",
                                   "load Cab32", "CabGetFileCount /in/a.cab", "unload Cab32",
                                   "load Unrar32", "UnrarGetVersion", "unload Unrar32",
                                   "load Unlha32", "UnlhaConfigDialog owner=0x42 options= mode=2",
                                   "unload Unlha32"));
    ExpectNothingHeld();
}

TEST_F(ProbingTest, MissingModulesAndEntryPoints) {
    for (int index : {1, 4}) {
        EXPECT_EQ(DravxCheckArchive(index, "a", 1), -2);
        EXPECT_EQ(DravxGetFileCount(index, "a"), -2);
        EXPECT_EQ(DravxGetVersion(index), -2);
        EXPECT_EQ(DravxQueryFunctionList(index, 1), -2);
        EXPECT_EQ(DravxConfigDialog(index, nullptr, nullptr, 0), -2);
    }
    EXPECT_EQ(DravxGetSubVersion(1), -2);  // -2 from the version passes the >= 20 test
    EXPECT_EQ(DravxGetArchiveType(1, "a"), -2);

    InstallAll(Variant::Empty);
    EXPECT_EQ(DravxCheckArchive(4, "a", 1), DRAVX_ERROR_NO_ENTRY);
    EXPECT_EQ(DravxGetArchiveType(4, "a"), DRAVX_ERROR_NO_ENTRY);
    EXPECT_EQ(DravxGetFileCount(2, "a"), DRAVX_ERROR_NO_ENTRY);
    EXPECT_EQ(DravxGetVersion(3), DRAVX_ERROR_NO_ENTRY);
    EXPECT_EQ(DravxGetSubVersion(5), DRAVX_ERROR_NO_ENTRY);
    EXPECT_EQ(DravxConfigDialog(6, nullptr, nullptr, 0), DRAVX_ERROR_NO_ENTRY);
    EXPECT_EQ(DravxQueryFunctionList(7, 1), DRAVX_ERROR_NO_ENTRY);
    EXPECT_EQ(DravxGetArchiveType(1, "a"), -4);  // loads, but the question is TAR's only
    ExpectNothingHeld();
}

TEST_F(ProbingTest, SubVersionIsAskedOnlyWhereOffered) {
    InstallAll();
    Script("Unlha.GetSubVersion", "1203");
    Script("Unarj.GetSubVersion", "1250");
    Script("UnGCA.GetSubVersion", "12");
    Script("UnZip.GetSubVersion", "5");

    EXPECT_EQ(DravxGetSubVersion(2), -4);
    EXPECT_TRUE(Log().empty());  // decided before anything is loaded

    Script("Unarj.GetVersion", "1");
    EXPECT_EQ(DravxGetSubVersion(5), 1250);  // whatever the version
    Script("Unlha.GetVersion", "19");
    EXPECT_EQ(DravxGetSubVersion(1), -4);
    Script("Unlha.GetVersion", "20");
    EXPECT_EQ(DravxGetSubVersion(1), 1203);
    Script("UnGCA.GetVersion", "6");
    EXPECT_EQ(DravxGetSubVersion(10), -4);
    Script("UnGCA.GetVersion", "7");
    EXPECT_EQ(DravxGetSubVersion(10), 12);
    Script("Unarj.GetSubVersion", "0xFFFE");
    EXPECT_EQ(DravxGetSubVersion(5), -2);  // 16-bit result as the module gave it
    ExpectNothingHeld();
}

TEST_F(ProbingTest, NewTarIsAskedDirectly) {
    Install({4});
    Script("Tar.GetVersion", "200");
    Script("Tar.CheckArchive", "1");
    Script("Tar.GetArchiveType", "2");
    EXPECT_EQ(DravxCheckArchive(4, "/in/a.tgz", 1), 1);
    EXPECT_EQ(DravxGetArchiveType(4, "/in/a.tgz"), 2);
    EXPECT_THAT(Log(), ElementsAre("load Tar32", "TarGetVersion", "TarCheckArchive /in/a.tgz 1",
                                   "unload Tar32", "load Tar32", "TarGetVersion",
                                   "TarGetArchiveType /in/a.tgz", "unload Tar32"));
    ExpectNothingHeld();
}

TEST_F(ProbingTest, OldTarGetsItsPreCommandsWithNestedLoadsBalanced) {
    Install({4});
    Script("Tar.GetVersion", "199");
    Script("Tar.CheckArchive", "1");
    Script("Tar.GetArchiveType", "6");
    // No length limit: the whole name reaches the module.
    std::string name = "/in/" + std::string(400, 'n') + " x.tar";
    EXPECT_EQ(DravxCheckArchive(4, name.c_str(), 1), 1);
    EXPECT_THAT(Log(), ElementsAre("load Tar32", "TarGetVersion",
                                   "Tar owner=0 cmd=-tnf " + name + " output=null size=0",
                                   "TarCheckArchive " + name + " 1", "unload Tar32"));
    ExpectNothingHeld();

    // The listing's result decides: 32800 and above give 0 without asking the type.
    for (auto [result, expected] : std::initializer_list<std::pair<const char*, int>>{
             {"32799", 6}, {"-1", 6}, {"-2", 6}, {"32800", 0}, {"0x8025", 0}}) {
        ClearLog();
        Script("Tar.Command", result);
        EXPECT_EQ(DravxGetArchiveType(4, "a.tar"), expected) << result;
        auto log = Log();
        EXPECT_EQ(log.at(2), "Tar owner=0 cmd=-tvf a.tar output=null size=0");
        EXPECT_EQ(log.at(3), expected ? "TarGetArchiveType a.tar" : "unload Tar32") << result;
        ExpectNothingHeld();
    }
}

TEST_F(ProbingTest, QueryFunctionListAnswersOnlyExactlyOne) {
    Install({1});
    for (auto [answer, expected] : std::initializer_list<std::pair<const char*, int>>{
             {"1", 1}, {"2", 0}, {"-1", 0}, {"0", 0}}) {
        Script("Unlha.QueryFunctionList", answer);
        EXPECT_EQ(DravxQueryFunctionList(1, 22), expected) << answer;
    }
    EXPECT_EQ(Log().at(1), "UnlhaQueryFunctionList 22");
}

TEST_F(ProbingTest, SupportTypeCountsLoadableModulesBut9And12) {
    EXPECT_EQ(DravxSupportType(), 0);
    Install({9, 12});
    EXPECT_EQ(DravxSupportType(), 0);
    EXPECT_TRUE(Log().empty());
    InstallAll(Variant::Empty);  // loading is all it takes
    EXPECT_EQ(DravxSupportType(), 11);
    ExpectNothingHeld();
}

TEST_F(ProbingTest, CheckArchiveExFindsTheFirstArchiverThatTakesTheFile) {
    EXPECT_EQ(DravxCheckArchiveEx("a.bin", 1), 0);  // nothing installed
    InstallAll();
    EXPECT_EQ(DravxCheckArchiveEx("a.bin", 1), 0);  // nobody takes it; never 14
    Script("Cab.CheckArchive", "1");
    Script("Jack.CheckArchive", "1");
    EXPECT_EQ(DravxCheckArchiveEx("a.bin", 3), 3);
    Script("UnZip.CheckArchive", "5");  // a type code counts as taking the file
    EXPECT_EQ(DravxCheckArchiveEx("a.bin", 3), 2);
    ExpectNothingHeld();
}

}  // namespace
