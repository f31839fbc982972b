// Writes the source trees and archive fixtures of the archiver tests into
// the folder named on the command line. See README beside this file.
#include <cstdlib>
#include <iostream>

#include "fixture_kit.h"
#include "handmade.h"

using namespace fixtures;

namespace {

const std::string kHello = "Hello, Kelvora!\n";
const std::string kEvil = "evil\n";

Bytes DataBin() {
    Bytes data(65536, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>((i * 7 + 3) % 251);
    return data;
}

Layout TreeLayout() {
    return {
        {"hello.txt", Kind::File, kHello},
        {"dir", Kind::Directory, ""},
        {"dir/data.bin", Kind::File, DataBin()},
        {"dir/empty.txt", Kind::File, ""},
    };
}

Layout FlatLayout() {
    return {{"hello.txt", Kind::File, kHello}, {"data.bin", Kind::File, DataBin()}};
}

// The names as UTF-8 or as CP932 bytes. The second byte of 表 (95 5C) and
// of ソ (83 5C) is an ASCII backslash.
struct JapaneseNames {
    std::string hyou, so, nihongo, hankaku;
};
const JapaneseNames kUtf8Names{"表", "ソ", "日本語", "ﾊﾝｶｸ"};
const JapaneseNames kCp932Names{"\x95\x5C", "\x83\x5C", "\x93\xFA\x96\x7B\x8C\xEA", "\xCA\xDD\xB6\xB8"};
// 表 in EUC-JP (C9 BD) is also valid UTF-8, "ɽ".
const JapaneseNames kEucJpNames{"\xC9\xBD", "\xA5\xBD", "\xC6\xFC\xCB\xDC\xB8\xEC",
                                "\x8E\xCA\x8E\xDD\x8E\xB6\x8E\xB8"};

Layout SjisLayout(const JapaneseNames& names) {
    return {
        {names.hyou, Kind::Directory, ""},
        {names.hyou + "/" + names.so + ".txt", Kind::File, "sjis\n"},
        {names.nihongo + ".txt", Kind::File, "nihongo\n"},
        {names.hankaku + ".txt", Kind::File, "hankaku\n"},
    };
}

// Layout with every path put under `folder`, after entries for the folder
// and each of its parents.
Layout UnderFolder(const std::string& folder, const Layout& layout) {
    Layout moved;
    for (std::size_t slash = folder.find('/'); slash != std::string::npos;
         slash = folder.find('/', slash + 1))
        moved.push_back({folder.substr(0, slash), Kind::Directory, ""});
    moved.push_back({folder, Kind::Directory, ""});
    for (Item item : layout) {
        item.path = folder + "/" + item.path;
        moved.push_back(item);
    }
    return moved;
}

// A stand-in for the program part of a self-extracting archive.
Bytes SfxStub() {
    Bytes stub(2048, '\0');
    stub.replace(0, 2, "MZ");
    const std::string note = "Kelvora test stub, not a program.";
    stub.replace(64, note.size(), note);
    return stub;
}

void Save(const fs::path& folder, const std::string& name, const Bytes& data) {
    WriteFile(folder / name, data);
}

void WriteSourceTrees(const fs::path& out) {
    for (const char* tree : {"tree", "flat", "sjis"}) fs::remove_all(out / tree);
    Materialize(out / "tree", TreeLayout());
    Materialize(out / "flat", FlatLayout());
    Materialize(out / "sjis", SjisLayout(kUtf8Names));
}

// lha adds a folder together with everything in it, in the order the file
// system lists it. The tree is added in two steps to fix the entry order.
Bytes LhaTree(const std::string& options, const fs::path& stage) {
    const Layout tree = TreeLayout();
    Materialize(stage, {tree[0], tree[1]});
    RunTool({"lha", "c" + options, "out.lzh", tree[0].path, tree[1].path}, stage);
    Materialize(stage, {tree[2], tree[3]});
    RunTool({"lha", "a" + options, "out.lzh", tree[2].path, tree[3].path}, stage);
    return ReadFile(stage / "out.lzh");
}

void MakeLzh(const fs::path& out, const fs::path& scratch) {
    const struct {
        const char* name;
        const char* options;
    } variants[] = {
        {"tree.lzh", ""},        // lh5, header level 2
        {"tree_lh0.lzh", "z"},   // stored
        {"tree_lh6.lzh", "o6"},
        {"tree_lh7.lzh", "o7"},
        {"tree_h0.lzh", "0"},
        {"tree_h1.lzh", "1"},
        {"tree_h2.lzh", "2"},
    };
    for (const auto& variant : variants)
        Save(out, variant.name, LhaTree(variant.options, scratch / variant.name));
    // lha writes no level 3 headers.
    Save(out, "tree_h3.lzh", LzhStored(TreeLayout(), 3));

    const Bytes tree = ReadFile(out / "tree.lzh");
    Save(out, "sfx_lzh.exe", SfxStub() + tree);
    const Span data = LzhMemberData(tree, "dir/data.bin");
    Save(out, "truncated.lzh", Cut(tree, data.offset + data.size / 2));
    // Late in the stream a changed bit corrupts the output, not the decoding.
    Save(out, "crc.lzh", Flip(tree, data.offset + data.size * 3 / 4));

    // "y" turns the UTF-8 names on disk into CP932 in the archive.
    const fs::path sjisStage = scratch / "sjis.lzh";
    Materialize(sjisStage, SjisLayout(kUtf8Names));
    RunTool({"lha", "cy", "out.lzh", kUtf8Names.hyou, kUtf8Names.nihongo + ".txt",
             kUtf8Names.hankaku + ".txt"},
            sjisStage);
    const Bytes sjis = ReadFile(sjisStage / "out.lzh");
    Require(sjis.find(kCp932Names.hyou + '\xFF') != Bytes::npos &&
                sjis.find(kCp932Names.so + ".txt") != Bytes::npos,
            "lha did not store the names as CP932");
    Save(out, "sjis.lzh", sjis);

    // lha keeps a leading "../" of the names it is given.
    const fs::path evilStage = scratch / "dotdot.lzh";
    Materialize(evilStage, {{"evil.txt", Kind::File, kEvil}, {"sub", Kind::Directory, ""}});
    RunTool({"lha", "cz", "../out.lzh", "../evil.txt"}, evilStage / "sub");
    const Bytes dotdot = ReadFile(evilStage / "out.lzh");
    Require(dotdot.find("..\xFF") != Bytes::npos, "lha dropped the ../ of ../evil.txt");
    Save(out, "dotdot.lzh", dotdot);
}

void MakeZip(const fs::path& out) {
    const ArchiveFormat zip{"zip", {}, "", ""};
    const Bytes tree = WriteArchive(TreeLayout(), zip);
    Save(out, "tree.zip", tree);
    Save(out, "tree.jar", tree);

    // Bit 11 of the flags (offset 6 of a local header) marks UTF-8 names.
    // In the C locale and without a charset option, libarchive copies the
    // name bytes as they are and leaves the bit clear; in a UTF-8 locale
    // it sets the bit.
    const Bytes sjis = WriteArchive(SjisLayout(kCp932Names), zip);
    Require((Le16(sjis, 6) & 0x0800) == 0, "sjis.zip: UTF-8 flag set");
    Save(out, "sjis.zip", sjis);
    const Bytes utf8 = [] {
        const Utf8Locale utf8Names;
        return WriteArchive(SjisLayout(kUtf8Names), {"zip", {}, "hdrcharset=UTF-8", ""});
    }();
    Require((Le16(utf8, 6) & 0x0800) != 0, "utf8.zip: UTF-8 flag clear");
    Save(out, "utf8.zip", utf8);
    // UTF-8 names without the flag, as many tools on Unix write them.
    const Bytes unflagged = WriteArchive(SjisLayout(kUtf8Names), zip);
    Require((Le16(unflagged, 6) & 0x0800) == 0, "utf8_noflag.zip: UTF-8 flag set");
    Save(out, "utf8_noflag.zip", unflagged);
    // Names in codes that are none of ours: Привет.txt in CP866, café.txt
    // and Müller.txt in Latin-1.
    Save(out, "cp866.zip", WriteArchive({{"\x8F\xE0\xA8\xA2\xA5\xE2.txt", Kind::File, kHello}}, zip));
    Save(out, "latin1.zip",
         WriteArchive({{"caf\xE9.txt", Kind::File, kHello}, {"M\xFCller.txt", Kind::File, kHello}}, zip));

    // Offsets adjusted for the stub, as "zip -A" leaves them.
    const Bytes stub = SfxStub();
    Bytes shifted = tree;
    ShiftZipOffsets(shifted, static_cast<std::uint32_t>(stub.size()));
    Save(out, "sfx_zip.exe", stub + shifted);

    Bytes encrypted = WriteArchive({{"hello.txt", Kind::File, kHello}},
                                   {"zip", {}, "zip:encryption=zipcrypt", "pw"});
    FixZipCryptoHeader(encrypted, "hello.txt", "pw");
    Save(out, "encrypted.zip", encrypted);

    const Span data = ZipMemberData(tree, "dir/data.bin");
    Save(out, "truncated.zip", Cut(tree, data.offset + data.size / 2));
    Save(out, "crc.zip", Flip(tree, data.offset + data.size * 3 / 4));
    Save(out, "dotdot.zip", WriteArchive({{"../evil.txt", Kind::File, kEvil}}, zip));
    Save(out, "absolute.zip", WriteArchive({{"/tmp/kelvora-evil.txt", Kind::File, kEvil}}, zip));
}

// gcab stores files only; folders show as prefixes of their names.
void MakeCab(const fs::path& out, const fs::path& scratch) {
    const fs::path treeStage = scratch / "tree.cab";
    Materialize(treeStage, TreeLayout());
    RunTool({"gcab", "--create", "--zip", "out.cab", "hello.txt", "dir/data.bin", "dir/empty.txt"},
            treeStage);
    const Bytes tree = ReadFile(treeStage / "out.cab");
    Save(out, "tree.cab", tree);
    Save(out, "truncated.cab", Cut(tree, (CabDataStart(tree) + tree.size()) / 2));

    // gcab copies the name bytes from disk but always marks them UTF-8.
    const fs::path sjisStage = scratch / "sjis.cab";
    const Layout sjisLayout = SjisLayout(kCp932Names);
    Materialize(sjisStage, sjisLayout);
    std::vector<std::string> command = {"gcab", "--create", "--zip", "out.cab"};
    for (const Item& item : sjisLayout)
        if (item.kind == Kind::File) command.push_back(item.path);
    RunTool(command, sjisStage);
    Bytes sjis = ReadFile(sjisStage / "out.cab");
    ClearCabUtf8Names(sjis);
    Save(out, "sjis.cab", sjis);
}

void MakeTarFamily(const fs::path& out) {
    const struct {
        std::string suffix;
        std::string filter;
    } compressors[] = {
        {".gz", "gzip"}, {".Z", "compress"}, {".bz2", "bzip2"},
        {".xz", "xz"},   {".lzma", "lzma"},  {".zst", "zstd"},
    };
    const Layout tree = TreeLayout();
    Save(out, "tree.tar", WriteArchive(tree, {"ustar", {}, "", ""}));
    const Layout hello = {{"hello.txt", Kind::File, kHello}};
    for (const auto& c : compressors) {
        Save(out, "tree.tar" + c.suffix, WriteArchive(tree, {"ustar", {c.filter}, "", ""}));
        Save(out, "hello.txt" + c.suffix, WriteArchive(hello, {"raw", {c.filter}, "", ""}));
        if (c.suffix == ".gz" || c.suffix == ".Z" || c.suffix == ".bz2")
            Save(out, "tree.cpio" + c.suffix, WriteArchive(tree, {"newc", {c.filter}, "", ""}));
    }
    Save(out, "tree.cpio", WriteArchive(tree, {"newc", {}, "", ""}));
    const Bytes targz = ReadFile(out / "tree.tar.gz");
    Save(out, "tree.tgz", targz);
    Save(out, "flat.a", WriteArchive(FlatLayout(), {"argnu", {}, "", ""}));
    // Names as old Unix machines wrote them: EUC-JP bytes with nothing to say so.
    Save(out, "euc.tar", WriteArchive(SjisLayout(kEucJpNames), {"gnutar", {}, "", ""}));
    Save(out, "euc.cpio", WriteArchive(SjisLayout(kEucJpNames), {"newc", {}, "", ""}));
    Save(out, "flat.a.gz", WriteArchive(FlatLayout(), {"argnu", {"gzip"}, "", ""}));

    Save(out, "truncated.tar.gz", Cut(targz, targz.size() / 2));
    // The gzip trailer: CRC-32 of the data, then its length.
    Save(out, "crc.tar.gz", Flip(targz, targz.size() - 8));
}

void MakeHostileTars(const fs::path& out) {
    const auto tar = [](const Layout& layout) {
        return WriteArchive(layout, {"ustar", {}, "", ""});
    };
    Save(out, "dotdot.tar", tar({{"../evil.txt", Kind::File, kEvil}}));
    Save(out, "absolute.tar", tar({{"/tmp/kelvora-evil.txt", Kind::File, kEvil}}));
    Save(out, "link_escape.tar",
         tar({{"up", Kind::Symlink, ".."}, {"up/evil.txt", Kind::File, kEvil}}));
    Save(out, "abs_symlink.tar", tar({{"passwd", Kind::Symlink, "/etc/passwd"}}));
    Save(out, "write_through_link.tar",
         tar({{"ln", Kind::Symlink, "/tmp"}, {"ln/kelvora-evil.txt", Kind::File, kEvil}}));
    Save(out, "link_inside.tar", tar({
                                     {"hello.txt", Kind::File, kHello},
                                     {"dir", Kind::Directory, ""},
                                     {"dir/link", Kind::Symlink, "../hello.txt"},
                                     {"dir/hard.txt", Kind::Hardlink, "hello.txt"},
                                 }));
}

// binutils' ar writes a symbol table "/" (the object file defines a symbol)
// and a long-name table "//" (a member name longer than 15 characters).
void MakeBinutilsAr(const fs::path& out, const fs::path& scratch) {
    const std::string longName = "a_long_member_name.txt";
    const fs::path stage = scratch / "long_names.a";
    Materialize(stage, {{"symbol.s", Kind::File, ".globl kelvora_symbol\nkelvora_symbol:\n.byte 1\n"},
                        {longName, Kind::File, kHello}});
    RunTool({"as", "-o", "symbol.o", "symbol.s"}, stage);
    RunTool({"ar", "rcsD", "out.a", "symbol.o", longName}, stage);
    const Bytes ar = ReadFile(stage / "out.a");
    Require(ar.compare(8, 2, "/ ") == 0 && ar.find("//      ") != Bytes::npos, "ar wrote no symbol or name table");
    Save(out, "long_names.a", ar);
}

const std::string kPackageFolder = "usr/share/kelvora-fixture";

void MakeDeb(const fs::path& out, const fs::path& scratch) {
    const std::string control =
        "Package: kelvora-fixture\n"
        "Version: 1.0\n"
        "Architecture: all\n"
        "Maintainer: Kelvora Developers <dev@kelvora.invalid>\n"
        "Description: file tree for the Kelvora archiver tests\n";
    Layout package = UnderFolder(kPackageFolder, TreeLayout());
    package.insert(package.begin(), {{"DEBIAN", Kind::Directory, ""},
                                     {"DEBIAN/control", Kind::File, control}});
    const fs::path stage = scratch / "deb";
    Materialize(stage / "root", package);
    // SOURCE_DATE_EPOCH (set in main) fixes the times dpkg-deb writes.
    RunTool({"dpkg-deb", "--root-owner-group", "-Zgzip", "--build", "root", "out.deb"}, stage);
    Save(out, "tree.deb", ReadFile(stage / "out.deb"));
}

void MakeRpm(const fs::path& out) {
    Layout payload = UnderFolder(kPackageFolder, TreeLayout());
    payload.erase(payload.begin(), payload.begin() + 2);  // usr and usr/share are not ours
    for (Item& item : payload) item.path = "./" + item.path;
    const Bytes cpio = WriteArchive(payload, {"newc", {"gzip"}, "", ""});
    Save(out, "tree.rpm", RpmPackage("kelvora-fixture", "1.0", cpio));
}

void MakeRar(const fs::path& out) {
    const Bytes rar4 = Rar4Stored(TreeLayout());
    Save(out, "tree.rar", rar4);
    Save(out, "tree5.rar", Rar5Stored(TreeLayout()));
    // Stored data follows the name in its header directly.
    const std::string name = "dir/data.bin";
    const std::size_t header = rar4.find(name);
    Require(header != Bytes::npos, "tree.rar: no " + name);
    Save(out, "truncated.rar", Cut(rar4, header + name.size() + 65536 / 2));
}

// 7-Zip, ISO 9660 and XAR: read by Tar32 as well.
void MakeSevenZip(const fs::path& out, const fs::path& scratch) {
    const ArchiveFormat sevenZip{"7zip", {}, "", ""};
    Save(out, "tree.7z", WriteArchive(TreeLayout(), sevenZip));
    // 7-Zip stores names as UTF-16; the writer converts from the locale's charset.
    Save(out, "japanese.7z", [&] {
        const Utf8Locale utf8Names;
        return WriteArchive(SjisLayout(kUtf8Names), sevenZip);
    }());
    Save(out, "dotdot.7z", WriteArchive({{"../evil.txt", Kind::File, kEvil}}, sevenZip));
    Save(out, "absolute.7z", WriteArchive({{"/tmp/kelvora-evil.txt", Kind::File, kEvil}}, sevenZip));

    // libarchive writes no encrypted 7-Zip. 7z draws a random IV for every
    // archive, so these two differ from one run to the next, in their bytes
    // but not in their size. A list of entries in the clear holds the IV and
    // is left uncompressed (-mhc=off): compressed, its length would vary.
    const fs::path stage = scratch / "encrypted.7z";
    Materialize(stage, TreeLayout());
    const struct {
        const char* name;
        std::vector<std::string> options;
    } encrypted[] = {{"encrypted.7z", {"-mhe=off", "-mhc=off"}}, {"encrypted_headers.7z", {"-mhe=on"}}};
    for (const auto& archive : encrypted) {
        std::vector<std::string> command = {"7z", "a", "-bd", "-ppw", "-mmt=1"};
        command.insert(command.end(), archive.options.begin(), archive.options.end());
        command.insert(command.end(), {archive.name, "hello.txt", "dir"});
        RunTool(command, stage);
        Save(out, archive.name, ReadFile(stage / archive.name));
    }
}

void MakeIsoAndXar(const fs::path& out) {
    // Rock Ridge with the modes as they are, not mkisofs's "useful" ones (all
    // readable, none writable); no 300 KiB of padding at the end.
    const ArchiveFormat iso{"iso9660", {}, "iso9660:rockridge=strict,iso9660:!pad", ""};
    Save(out, "tree.iso", WriteArchive(TreeLayout(), iso));
    Save(out, "abs_symlink.iso", WriteArchive({{"passwd", Kind::Symlink, "/etc/passwd"}}, iso));
    Save(out, "tree.xar", WriteArchive(TreeLayout(), {"xar", {}, "", ""}));
}

void MakeOthers(const fs::path& out) {
    Save(out, "not_archive.txt", "just text\n");
    Save(out, "empty.bin", "");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make_fixtures OUTPUT_FOLDER\n";
        return 2;
    }
    try {
        // The tools store local times, read names in the locale's charset
        // and clamp times to SOURCE_DATE_EPOCH.
        setenv("TZ", "UTC", 1);
        setenv("LC_ALL", "C.UTF-8", 1);
        setenv("SOURCE_DATE_EPOCH", std::to_string(kMtime).c_str(), 1);
        RequireTool("lha", "jlha-utils");
        RequireTool("gcab", "gcab");
        RequireTool("dpkg-deb", "dpkg");
        RequireTool("ar", "binutils");
        RequireTool("as", "binutils");
        RequireTool("7z", "p7zip-full");

        const fs::path out = argv[1];
        fs::create_directories(out);
        const ScratchDir scratch;
        WriteSourceTrees(out);
        MakeLzh(out, scratch.path());
        MakeZip(out);
        MakeCab(out, scratch.path());
        MakeTarFamily(out);
        MakeHostileTars(out);
        MakeBinutilsAr(out, scratch.path());
        MakeDeb(out, scratch.path());
        MakeRpm(out);
        MakeRar(out);
        MakeSevenZip(out, scratch.path());
        MakeIsoAndXar(out);
        MakeOthers(out);
    } catch (const std::exception& error) {
        std::cerr << "make_fixtures: " << error.what() << '\n';
        return 1;
    }
    return 0;
}
