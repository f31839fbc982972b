#include "catalogue.h"

#include <map>
#include <utility>

namespace core {
namespace {

struct Row {
    std::string dll_name, extract, test, quiet, credit;
};

// Indexes 0..15; 9 is never used, 12 has a name only.
const std::array<Row, kCatalogueSize> kRows = {{
    {"", "", "", "", ""},
    {"UNLHA32.DLL ", "x -d1 -y1 ", "t ", "-n ",
     "Unlha32 for Linux: Kelvora\r\nLZH の展開: libarchive"},
    {"UNZIP32.DLL ", "-x -o -q ", "-t ", "-n ",
     "UnZip32 for Linux: Kelvora\r\nZIP の展開: libarchive, zlib"},
    {"CAB32.DLL   ", "-x -k ", "-t ", "-i ",
     "Cab32 for Linux: Kelvora\r\nCAB の展開: libarchive"},
    {"TAR32.DLL   ", "-xvf ", "", "--display-dialog=0 ",
     "Tar32 for Linux: Kelvora\r\ntar, cpio, ar の展開: libarchive / gzip: zlib"},
    {"UNARJ32J.DLL", "x ", "t ", "-i ", "ARJ 書庫を扱うアーカイバモジュール\r\n作者の皆様に感謝します。"},
    {"UNRAR32.DLL ", "-x ", "-t ", "",
     "Unrar32 for Linux: Kelvora\r\nRAR の展開: libarchive"},
    {"BGA32.DLL   ", "x ", "t ", "-i ", "GZA / BZA 書庫を扱うアーカイバモジュール\r\n作者の皆様に感謝します。"},
    {"YZ1.DLL     ", "x ", "", "-i ", "YZ1 書庫を扱うアーカイバモジュール\r\n作者の皆様に感謝します。"},
    {"", "", "", "", ""},
    {"UNGCA32.DLL ", "e -xx1 ", "", "-sx0 ", "GCA 書庫を扱うアーカイバモジュール\r\n作者の皆様に感謝します。"},
    {"UNBEL32.DLL ", " ", "", "", "BEL 書庫を扱うアーカイバモジュール\r\n作者の皆様に感謝します。"},
    {"UNJAM32.DLL ", "", "", "", ""},
    {"JACK32.DLL  ", "-c ", "", "-i ", "JACK 分割ファイルを扱うアーカイバモジュール\r\n作者の皆様に感謝します。"},
    {"NKF32.DLL   ", "", "", "", "nkf32 for Linux: Kelvora\r\n文字コードの変換: iconv (GNU C Library)"},
    {"DRAVOLIX.DLL", "", "", "",
     "Dravolix: アーカイバモジュールを呼び出す共有ライブラリ\r\nCopyright (C) 2026 Kelvora"},
}};

// Filled cells of ArchiveTypeName: (index, type code) -> label.
const std::map<std::pair<int, int>, std::string> kTypeNames = {
    {{1, 1}, "LZH"},       {{2, 1}, "ZIP"},       {{3, 1}, "CAB"},      {{4, 1}, "TAR"},
    {{4, 2}, "GZIP"},      {{4, 3}, "Compress"},  {{4, 4}, "Compress"}, {{4, 5}, "GZIP"},
    {{4, 6}, "BZIP2"},     {{4, 7}, "BZIP2"},     {{4, 32}, "CPIO-TAR"}, {{4, 36}, "CPIO-GZ"},
    {{4, 37}, "CPIO-Z"},   {{4, 39}, "CPIO-BZ2"}, {{4, 48}, "AR-TAR"},  {{4, 52}, "AR-TARGZ"},
    {{4, 53}, "AR-Z"},     {{4, 55}, "AR-BZ2"},   {{5, 1}, "ARJ"},      {{6, 1}, "RAR"},
    {{7, 1}, "GZA"},       {{7, 2}, "BZA"},       {{8, 1}, "YZ1"},      {{8, 2}, "パスワード付きYZ1"},
    {{10, 1}, "GCA"},      {{11, 1}, "BEL"},      {{13, 1}, "JACK"},
};

const Row& RowOf(int index) {
    static const Row kEmpty;
    return index >= 0 && index < kCatalogueSize ? kRows[static_cast<size_t>(index)] : kEmpty;
}

}  // namespace

const std::string& DllName(int index) { return RowOf(index).dll_name; }
const std::string& ExtractCommand(int index) { return RowOf(index).extract; }
const std::string& TestCommand(int index) { return RowOf(index).test; }
const std::string& QuietOption(int index) { return RowOf(index).quiet; }
const std::string& DllCredit(int index) { return RowOf(index).credit; }

const std::string& ArchiveTypeName(int index, int type_code) {
    static const std::string kNone;
    auto found = kTypeNames.find({index, type_code});
    return found == kTypeNames.end() ? kNone : found->second;
}

}  // namespace core
