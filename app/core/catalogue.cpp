#include "catalogue.h"

namespace core {
namespace {

using E = Extension;
constexpr auto kListed = Extension::kListed;
constexpr auto kLater = Extension::kNamedLater;

std::array<ArchiverRow, kCatalogueSize> MakeRows() {
    return {{
        {},
        {.index = 1, .kind = RowKind::kArchiver, .dll_name = "UNLHA32.DLL ",
         .extract = "x -d1 -y1 ", .test = "t ", .quiet = "-n ", .list = "l ", .probe_mode = 1,
         .extensions = {{"LZH"}, {"LZS"}, {"LHA"}}, .labels = {{1, "LZH"}},
         .assoc_key = "LZHAssoc", .assoc_caption = "LZH形式", .dll_row = 0,
         .credit = "Unlha32 for Linux: Kelvora\r\nLZH の展開: libarchive"},
        {.index = 2, .kind = RowKind::kArchiver, .dll_name = "UNZIP32.DLL ",
         .extract = "-x -o -q ", .test = "-t ", .quiet = "-n ", .list = "-l ", .probe_mode = 1,
         .extensions = {{"ZIP"}, {"JAR"}}, .labels = {{1, "ZIP"}},
         .assoc_key = "ZIPAssoc", .assoc_caption = "ZIP形式", .dll_row = 1,
         .credit = "UnZip32 for Linux: Kelvora\r\nZIP の展開: libarchive, zlib"},
        {.index = 3, .kind = RowKind::kArchiver, .dll_name = "CAB32.DLL   ",
         .extract = "-x -k ", .test = "-t ", .quiet = "-i ", .list = "-l ", .probe_mode = 1,
         .extensions = {{"CAB"}}, .labels = {{1, "CAB"}},
         .assoc_key = "CABAssoc", .assoc_caption = "CAB形式", .dll_row = 2,
         .credit = "Cab32 for Linux: Kelvora\r\nCAB の展開: libarchive"},
        {.index = 4, .kind = RowKind::kArchiver, .dll_name = "TAR32.DLL   ",
         .extract = "-xvf ", .quiet = "--display-dialog=0 ", .list = "-tvf ", .quiet_first = true,
         .backslash_separates = false, .probe_mode = 1,
         .type_query = TypeQuery::kArchiveType, .counts_from_version = 200, .named_from_version = 210,
         .extensions = {{"TAR"}, {"TGZ"}, {"TAZ"}, {"GZ"}, {"Z"}, {"TBZ"}, {"GZ2", kListed}, {"BZ2"},
                        {"RPM", kLater}, {"DEB", kLater}},
         .labels = {{1, "TAR"}, {2, "GZIP"}, {3, "Compress"}, {4, "Compress"}, {5, "GZIP"},
                    {6, "BZIP2"}, {7, "BZIP2"}, {32, "CPIO-TAR"}, {36, "CPIO-GZ"}, {37, "CPIO-Z"},
                    {39, "CPIO-BZ2"}, {48, "AR-TAR"}, {52, "AR-TARGZ"}, {53, "AR-Z"}, {55, "AR-BZ2"}},
         .assoc_key = "TARAssoc", .assoc_caption = "TAR形式", .dll_row = 3,
         .credit = "Tar32 for Linux: Kelvora\r\ntar, cpio, ar の展開: libarchive / gzip: zlib"},
        {.index = 5, .kind = RowKind::kArchiver, .dll_name = "UNARJ32J.DLL",
         .extract = "x ", .test = "t ", .quiet = "-i ", .list = "l ", .probe_mode = 1,
         .extensions = {{"ARJ"}}, .labels = {{1, "ARJ"}},
         .assoc_key = "ARJAssoc", .assoc_caption = "ARJ形式", .dll_row = 4,
         .credit = "ARJ 書庫を扱うアーカイバモジュール\r\n作者の皆様に感謝します。"},
        {.index = 6, .kind = RowKind::kArchiver, .dll_name = "UNRAR32.DLL ",
         .extract = "-x ", .test = "-t ", .list = "-l ", .probe_mode = 1,
         .extensions = {{"RAR"}, {"R0?", kListed}}, .labels = {{1, "RAR"}},
         .assoc_key = "RARAssoc", .assoc_caption = "RAR形式", .dll_row = 5,
         .credit = "Unrar32 for Linux: Kelvora\r\nRAR の展開: libarchive"},
        {.index = 7, .kind = RowKind::kArchiver, .dll_name = "BGA32.DLL   ",
         .extract = "x ", .test = "t ", .quiet = "-i ", .probe_mode = 2,
         .type_query = TypeQuery::kCheckAnswer,
         .extensions = {{"GZA"}, {"BZA"}}, .labels = {{1, "GZA"}, {2, "BZA"}},
         .assoc_key = "GZAAssoc", .assoc_caption = "BGA形式", .dll_row = 6,
         .credit = "GZA / BZA 書庫を扱うアーカイバモジュール\r\n作者の皆様に感謝します。"},
        {.index = 8, .kind = RowKind::kArchiver, .dll_name = "YZ1.DLL     ",
         .extract = "x ", .quiet = "-i ", .wildcard = false, .probe_mode = 1,
         .type_query = TypeQuery::kCheckAnswer,
         .extensions = {{"YZ1"}}, .labels = {{1, "YZ1"}, {2, "パスワード付きYZ1"}},
         .assoc_key = "YZ1Assoc", .assoc_caption = "YZ1形式", .dll_row = 7,
         .credit = "YZ1 書庫を扱うアーカイバモジュール\r\n作者の皆様に感謝します。"},
        {.index = 9},
        {.index = 10, .kind = RowKind::kArchiver, .dll_name = "UNGCA32.DLL ",
         .extract = "e -xx1 ", .quiet = "-sx0 ", .probe_mode = 24, .named_mode = 16,
         .extensions = {{"GCA"}}, .labels = {{1, "GCA"}},
         .assoc_key = "GCAAssoc", .assoc_caption = "GCA形式", .dll_row = 8,
         .credit = "GCA 書庫を扱うアーカイバモジュール\r\n作者の皆様に感謝します。"},
        {.index = 11, .kind = RowKind::kArchiver, .dll_name = "UNBEL32.DLL ",
         .extract = " ", .wildcard = false, .writes_own_folder = true,
         .extensions = {{"BEL"}}, .labels = {{1, "BEL"}},
         .assoc_key = "BELAssoc", .assoc_caption = "BEL形式", .dll_row = 9,
         .credit = "BEL 書庫を扱うアーカイバモジュール\r\n作者の皆様に感謝します。"},
        {.index = 12, .kind = RowKind::kArchiver, .dll_name = "UNJAM32.DLL "},
        {.index = 13, .kind = RowKind::kArchiver, .dll_name = "JACK32.DLL  ",
         .extract = "-c ", .quiet = "-i ", .wildcard = false, .writes_own_folder = true, .joins = true,
         .probe_mode = 1, .type_query = TypeQuery::kCheckAnswer,
         .extensions = {{"JAK"}}, .labels = {{1, "JACK"}},
         .assoc_key = "JACKAssoc", .assoc_caption = "JAK形式", .dll_row = 10,
         .credit = "JACK 分割ファイルを扱うアーカイバモジュール\r\n作者の皆様に感謝します。"},
        {.index = kNkfIndex, .kind = RowKind::kConverter, .dll_name = "NKF32.DLL   ", .dll_row = 11,
         .credit = "nkf32 for Linux: Kelvora\r\n文字コードの変換: iconv (GNU C Library)"},
        {.index = kLibraryIndex, .kind = RowKind::kLibrary, .dll_name = "DRAVOLIX.DLL", .dll_row = 12,
         .credit = "Dravolix: アーカイバモジュールを呼び出す共有ライブラリ\r\nCopyright (C) 2026 Kelvora"},
    }};
}

// A numbered split set: the program joins the parts itself, into the destination.
const ArchiverRow kSplitSetRow = {.index = kSplitSet, .kind = RowKind::kSplitSet, .wildcard = false,
                                  .writes_own_folder = true, .joins = true};

bool Usable(const ArchiverRow& row, const Extension& extension, int16_t version) {
    return extension.use != Extension::kNamedLater || version >= row.named_from_version;
}

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Names are told by their last three characters, so "TGZ" is the end of
// "x.tgz" and of "xtgz", and ".Z" the end of "x.tar.Z".
bool EndsIn(const std::string& path, const Extension& extension) {
    std::string key = "." + std::string(extension.text);
    if (key.size() > 3) key.erase(0, key.size() - 3);
    if (path.size() < key.size()) return false;
    for (size_t i = 0; i < key.size(); ++i)
        if (Upper(path[path.size() - key.size() + i]) != key[i]) return false;
    return true;
}

}  // namespace

const std::array<ArchiverRow, kCatalogueSize>& Catalogue() {
    static const std::array<ArchiverRow, kCatalogueSize> rows = MakeRows();
    return rows;
}

const ArchiverRow& Archiver(int index) {
    if (index == kSplitSet) return kSplitSetRow;
    return Catalogue()[index >= 0 && index < kCatalogueSize ? static_cast<size_t>(index) : 0];
}

int IndexOfDllRow(int row) {
    for (const ArchiverRow& archiver : Catalogue())
        if (row >= 0 && archiver.dll_row == row) return archiver.index;
    return 0;
}

const ArchiverRow* ArchiverNamedBy(const std::string& path, const DllVersions& versions) {
    for (const ArchiverRow& row : Catalogue())
        for (const Extension& extension : row.extensions)
            if (extension.use != Extension::kListed && Usable(row, extension, versions[static_cast<size_t>(row.index)]) &&
                EndsIn(path, extension))
                return &row;
    return nullptr;
}

std::string BrowserPatterns(const ArchiverRow& row, int16_t version) {
    std::string list;
    for (const Extension& extension : row.extensions)
        if (Usable(row, extension, version)) list += (list.empty() ? "*." : ";*.") + std::string(extension.text);
    return list;
}

const std::string& DllName(int index) { return Archiver(index).dll_name; }
const std::string& ExtractCommand(int index) { return Archiver(index).extract; }
const std::string& TestCommand(int index) { return Archiver(index).test; }
const std::string& QuietOption(int index) { return Archiver(index).quiet; }
const std::string& DllCredit(int index) { return Archiver(index).credit; }

const std::string& ArchiveTypeName(int index, int type_code) {
    static const std::string kNone;
    const auto& labels = Archiver(index).labels;
    auto found = labels.find(type_code);
    return found == labels.end() ? kNone : found->second;
}

}  // namespace core
