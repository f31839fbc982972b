// Entry names and command lines, below the module entry points.
#include <gtest/gtest.h>

#include <fcntl.h>

#include "command_line.h"
#include "disk_writer.h"
#include "names.h"
#include "reader.h"

namespace archivers {
namespace {

using Parts = std::vector<std::string>;

TEST(EntryNames, ShiftJisIsDecodedBeforeSplitting) {
    // 表 (95 5C) and ソ (83 5C): their second byte is the backslash.
    EXPECT_EQ(DecodeEntryName("\x95\x5C/\x83\x5C.txt"), "表/ソ.txt");
    EXPECT_EQ(SafeParts(DecodeEntryName("\x95\x5C\\\x83\x5C.txt"), true), (Parts{"表", "ソ.txt"}));
    EXPECT_EQ(DecodeEntryName("\xC6\xDD\xB6\xB8.txt"), "ﾆﾝｶｸ.txt");  // half-width katakana
    EXPECT_EQ(DecodeEntryName("\x87\x40"), "①");                     // a CP932 extension
    EXPECT_EQ(DecodeEntryName("表/ソ.txt"), "表/ソ.txt");              // UTF-8 stays
    // Neither: every undecodable byte stays visible, nothing is dropped.
    EXPECT_EQ(DecodeEntryName("a\x80z\xFD.txt"), "a%80z%FD.txt");
    EXPECT_EQ(DecodeEntryName("\x95\x5C\xA0"), "表%A0");
}

TEST(EntryNames, NamesLeavingTheDestinationAreRefused) {
    for (const char* name : {"../evil.txt", "a/../../evil", "/etc/passwd", "\\evil", "C:\\evil", "..\\evil", "a/.."})
        EXPECT_FALSE(SafeParts(name, true)) << name;
    EXPECT_EQ(SafeParts("./a//b/./c.txt", true), (Parts{"a", "b", "c.txt"}));
    EXPECT_EQ(SafeParts("./", true), Parts{});
    EXPECT_EQ(SafeParts("a\\b", false), Parts{"a\\b"});  // a tar name may hold "\"
    EXPECT_EQ(SafeParts("..a/b..", true), (Parts{"..a", "b.."}));
}

TEST(EntryNames, LinksMustResolveInside) {
    EXPECT_TRUE(LinkStaysInside({"dir", "link"}, "../hello.txt"));
    EXPECT_TRUE(LinkStaysInside({"link"}, "dir/./x"));
    EXPECT_FALSE(LinkStaysInside({"up"}, ".."));
    EXPECT_FALSE(LinkStaysInside({"dir", "link"}, "../../x"));
    EXPECT_FALSE(LinkStaysInside({"passwd"}, "/etc/passwd"));
    EXPECT_FALSE(LinkStaysInside({"x"}, ""));
    EXPECT_TRUE(LinkStaysInside({"a", "b", "l"}, "../../c"));
    // ".." after a name: that name may itself be a link ("a" -> "."), so
    // a/a/a/.. would resolve above the destination.
    EXPECT_FALSE(LinkStaysInside({"x"}, "a/a/a/.."));
    EXPECT_FALSE(LinkStaysInside({"d", "x"}, "../a/.."));
}

TEST(CommandLines, EveryFormTheProgramSends) {
    struct Case {
        const char* line;
        Action action;
        bool quiet;
        const char* archive;
        const char* destination;
    };
    const Case cases[] = {
        {"x -d1 -y1 \"/in/a b.lzh\" \"/out/a b/\" *.*", Action::Extract, false, "/in/a b.lzh", "/out/a b/"},
        {"x -d1 -y1 -n \"/in/a.lzh\" \"/out//\" *.*", Action::Extract, true, "/in/a.lzh", "/out//"},
        {"-x -o -q -n \"/in/a.zip\" \"/out/a/\" *.*", Action::Extract, true, "/in/a.zip", "/out/a/"},
        {"-x -k -i \"/in/a.cab\" \"/out/a/\" *.*", Action::Extract, true, "/in/a.cab", "/out/a/"},
        {"--display-dialog=0 -xvf \"/in/a.tgz\" \"/out/a/\" *.*", Action::Extract, true, "/in/a.tgz", "/out/a/"},
        {"-xvf \"/in/a.tgz\" \"/out/a/\" *.*", Action::Extract, false, "/in/a.tgz", "/out/a/"},
        {"-x \"/in/a.rar\" \"/out/a/\" *.*", Action::Extract, false, "/in/a.rar", "/out/a/"},
        {"t -n \"/in/a.lzh\"", Action::Test, true, "/in/a.lzh", ""},
        {"-t -i \"/in/a.cab\"", Action::Test, true, "/in/a.cab", ""},
        {"-tnf /in/a b.tar", Action::List, false, "/in/a b.tar", ""},
        {"-tvf /in/x.tar  ", Action::List, false, "/in/x.tar", ""},
    };
    for (const Case& c : cases) {
        Command command = ParseCommand(c.line);
        EXPECT_EQ(command.action, c.action) << c.line;
        EXPECT_EQ(command.quiet, c.quiet) << c.line;
        EXPECT_EQ(command.archive, c.archive) << c.line;
        EXPECT_EQ(command.destination, c.destination) << c.line;
    }
    EXPECT_EQ(ParseCommand("x \"a.lzh\" \"o/\" *.* \"b c.txt\"").patterns, (std::vector<std::string>{"*.*", "b c.txt"}));
    for (const char* line : {"", "q \"a.lzh\"", "-z \"a.zip\"", "-x -p secret \"a.zip\"", "x", "-xqf \"a\"", "\"a.lzh\"",
                             "-tvf -x a.tar", "x -x \"a.lzh\""})
        EXPECT_EQ(ParseCommand(line).action, Action::Unknown) << line;
}

TEST(DiskWriter, FullDiskIsReportedAsSuch) {
    DiskWriter writer;
    PendingFile file(writer, std::make_shared<const UniqueFd>(open("/tmp", O_RDONLY | O_DIRECTORY)),
                     UniqueFd(open("/dev/full", O_WRONLY)), "", {"x"});
    EXPECT_EQ(file.Write("data", 4, 0), result::kDiskFull);
}

}  // namespace
}  // namespace archivers
