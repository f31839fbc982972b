#include "identify.h"

#include <fcntl.h>
#include <langinfo.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <utility>

#include "name_encoding.h"
#include "split_set.h"

namespace core {
namespace {

constexpr size_t kPreviewBytes = 4096;
constexpr uint64_t kLargestSize = 4294967295u;
constexpr int32_t kNotInstalled = -2;  // DravxCheckArchive: the module cannot be loaded

// Any failure between the access probe and the size text.
class AccessFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// --- Files -----------------------------------------------------------------

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (fd_ >= 0) close(fd_);
    }
    int get() const { return fd_; }

private:
    int fd_;
};

[[noreturn]] void Fail(const std::string& path, const char* what) {
    throw AccessFailure(path + ": " + what + ": " + std::strerror(errno));
}

// The length of the file just opened; only regular files are examined.
uint64_t RegularFileLength(const std::string& path, const FileDescriptor& file) {
    if (file.get() < 0) Fail(path, "open");
    struct stat info {};
    if (fstat(file.get(), &info) != 0) Fail(path, "stat");
    if (!S_ISREG(info.st_mode)) throw AccessFailure(path + ": not a regular file");
    return static_cast<uint64_t>(info.st_size);
}

// Never waits: a pipe opens at once and is then refused as not a regular file.
int OpenForReading(const std::string& path) { return open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK); }

// The access probe: the file opens for reading. Returns its length.
uint64_t ProbeAccess(const std::string& path) {
    FileDescriptor file(OpenForReading(path));
    return RegularFileLength(path, file);
}

std::string ReadHead(const std::string& path, size_t limit) {
    FileDescriptor file(OpenForReading(path));
    RegularFileLength(path, file);
    std::string bytes(limit, '\0');
    size_t have = 0;
    while (have < limit) {
        ssize_t got = read(file.get(), bytes.data() + have, limit - have);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) Fail(path, "read");
        if (got == 0) break;
        have += static_cast<size_t>(got);
    }
    bytes.resize(have);
    return bytes;
}

// --- Choosing the archiver -------------------------------------------------

// Tries the archivers that can be probed in index order; the first that
// takes the file, or nullptr. EXE and COM files are found here too:
// self-extracting archives have no name of their own.
const ArchiverRow* Probe(Library& library, const std::string& path) {
    for (const ArchiverRow& row : Catalogue())
        if (row.probe_mode != 0 && library.CheckArchive(row.index, path, row.probe_mode) >= 1) return &row;
    return nullptr;
}

int32_t TypeCode(Library& library, const ArchiverRow& row, const std::string& path) {
    switch (row.type_query) {
        case TypeQuery::kArchiveType: return library.GetArchiveType(row.index, path);
        case TypeQuery::kCheckAnswer: return library.CheckArchive(row.index, path, 1);
        case TypeQuery::kFixed: break;
    }
    return 1;
}

// "2.00" for 200.
std::string VersionNumber(int16_t version) {
    const std::string hundredths = std::to_string(version % 100);
    return std::to_string(version / 100) + "." + (hundredths.size() < 2 ? "0" : "") + hundredths;
}

std::string TrimmedName(const ArchiverRow& row) {
    return row.dll_name.substr(0, row.dll_name.find_last_not_of(' ') + 1);
}

// --- Displays --------------------------------------------------------------

int32_t Remember(Context& ctx, uint8_t kind, int32_t archiver, int32_t result) {
    ctx.session.file_kind = kind;
    ctx.session.file_archiver = archiver;
    return result;
}

void ShowUnsupported(Screen& screen) {
    screen.SetStatusColour(kBlack);
    screen.SetFileType("不明な形式");
    screen.SetStatus("このファイルは未対応です。");
}

int32_t ShowEmptyFile(Context& ctx) {
    ctx.screen.ShowDllList(true);
    ShowUnsupported(ctx.screen);
    return Remember(ctx, kNotExaminable, 0, kNotExamined);
}

int32_t ShowNotArchive(Context& ctx, const std::string& path) {
    std::string preview = PreviewText(ReadHead(path, kPreviewBytes));
    ctx.screen.ShowDllList(false);
    ctx.screen.ShowPreview(true, preview);
    ctx.screen.EnableDllSettings(false);
    ShowUnsupported(ctx.screen);
    return Remember(ctx, kNotArchive, 0, 0);
}

int32_t ShowFailure(Context& ctx, const std::string& file_type, const std::string& status) {
    ctx.screen.SetFileType(file_type);
    ctx.screen.SetStatusColour(kRed);
    ctx.screen.SetStatus(status);
    return Remember(ctx, kNotExaminable, 0, kNotExamined);
}

// The type shown for an identified file ("LZH書庫", "ノーマル分割").
std::string FileTypeText(const ArchiverRow& row, int32_t type_code) {
    if (row.kind == RowKind::kSplitSet) return "ノーマル分割";
    return ArchiveTypeName(row.index, type_code) + "書庫";
}

// The status line of an identified archive; the count is left out while unknown.
std::string ArchiveStatus(const ArchiverRow& row, std::optional<int64_t> count, uint64_t length) {
    const std::string entries = count ? "格納ﾌｧｲﾙ数：" + GroupThousands(*count) + "File(s)," : "";
    return std::string(row.joins ? "結合できます。" : "解凍できます。") + "(" + entries + "書庫ｻｲｽﾞ：" +
           SizeText(length) + ")";
}

// A module too old to count this archive is told by its failure to count.
bool CountsTooLate(const Context& ctx, const ArchiverRow& row, int64_t count) {
    return count < 0 && ctx.session.dll_version[static_cast<size_t>(row.index)] < row.counts_from_version;
}

int32_t ShowTooOldToCount(Context& ctx, const ArchiverRow& row) {
    return ShowFailure(ctx, ArchiveTypeName(row.index, 1) + "書庫(エラー)",
                       TrimmedName(row) + " Ver " + VersionNumber(row.counts_from_version) + "以降で解凍してください。");
}

// Type label, entry count, size and the status line of an identified file.
// In the main window the count comes last, from the background.
int32_t ShowArchive(Context& ctx, const std::string& path, const ArchiverRow& row, int32_t split_parts,
                    uint64_t length) {
    Screen& screen = ctx.screen;
    int32_t type_code = 1;
    std::optional<int64_t> count;
    if (row.kind == RowKind::kSplitSet) count = split_parts;
    const bool count_later = row.kind != RowKind::kSplitSet && ctx.session.count_entries && ctx.counter;
    if (row.kind != RowKind::kSplitSet) {
        type_code = TypeCode(ctx.library, row, path);
        screen.SelectDllRow(row.dll_row);
        if (ctx.session.count_entries && !count_later) count = ctx.library.GetFileCount(row.index, path);
        if (count && CountsTooLate(ctx, row, *count)) return ShowTooOldToCount(ctx, row);
    }
    if (type_code < 0 || type_code >= kTypeCodes)
        throw AccessFailure("archive type code " + std::to_string(type_code) + " outside 0..55");
    screen.SetFileType(FileTypeText(row, type_code));

    screen.ShowDllList(true);
    screen.ShowPreview(false, "");
    screen.EnableDllSettings(true);
    screen.SetStatusColour(kPurple);
    screen.SetStatus(ArchiveStatus(row, count, length));
    const int32_t answer = Remember(ctx, kArchive, row.index, row.index);
    if (count_later) {
        ctx.counter->Start(row.index, path, [&ctx, &row, length](int32_t counted) {
            if (CountsTooLate(ctx, row, counted))
                ShowTooOldToCount(ctx, row);
            else
                ctx.screen.SetStatus(ArchiveStatus(row, counted, length));
        });
    }
    return answer;
}

// Steps from the access probe to the end; throws on any failure.
int32_t Examine(Context& ctx, const std::string& path) {
    uint64_t length = ProbeAccess(path);
    if (length == 0) return ShowEmptyFile(ctx);

    if (int32_t parts = SplitSetPartCount(path)) return ShowArchive(ctx, path, Archiver(kSplitSet), parts, length);
    const ArchiverRow* row = ArchiverNamedBy(path, ctx.session.dll_version);
    if (row) {
        int32_t answer = ctx.library.CheckArchive(row->index, path, row->named_mode);
        if (answer == kNotInstalled) return ShowNotArchive(ctx, path);
        if (answer < 1) row = nullptr;
    }
    if (!row) row = Probe(ctx.library, path);
    if (!row) return ShowNotArchive(ctx, path);
    return ShowArchive(ctx, path, *row, 0, length);
}

// The browser is off and the pointer busy for as long as this lives.
class BusyScope {
public:
    explicit BusyScope(Context& ctx) : ctx_(ctx) {
        DisableBrowser(ctx_);
        ctx_.screen.SetBusy(true);
    }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;
    ~BusyScope() {
        EnableBrowser(ctx_);
        ctx_.screen.SetBusy(false);
    }

private:
    Context& ctx_;
};

// --- Text ------------------------------------------------------------------

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// One decoded piece of the input.
enum class Piece { Ascii, Wide, HalfWidth, Invalid, Cut };
struct Step {
    Step(Piece piece_, size_t length_ = 1, std::string text_ = {})
        : piece(piece_), length(length_), text(std::move(text_)) {}
    Piece piece;
    size_t length;
    std::string text;  // UTF-8, for Wide and HalfWidth
};

using Bytes = std::string_view;
unsigned char At(Bytes bytes, size_t i) { return static_cast<unsigned char>(bytes[i]); }

Step NextUtf8(Bytes bytes, size_t i) {
    size_t length = archivers::Utf8Length(bytes.substr(i));
    if (length == 0) return {Piece::Invalid};
    if (length > bytes.size() - i) return {Piece::Cut};
    if (length == 1) return {Piece::Ascii};
    return {Piece::Wide, length, std::string(bytes.substr(i, length))};
}

using archivers::Utf8Converter;

Step HalfWidthKatakana(unsigned char b, size_t length) {
    std::string text;
    AppendUtf8(text, 0xFF61 + (b - 0xA1));
    return {Piece::HalfWidth, length, text};
}

Step NextCp932(Bytes bytes, size_t i, const Utf8Converter& cp932) {
    unsigned char b = At(bytes, i);
    if (b < 0x80) return {Piece::Ascii};
    if (b >= 0xA1 && b <= 0xDF) return HalfWidthKatakana(b, 1);
    if (!archivers::IsShiftJisLead(b)) return {Piece::Invalid};
    if (i + 1 >= bytes.size()) return {Piece::Cut};
    unsigned char trail = At(bytes, i + 1);
    if (trail < 0x40 || trail == 0x7F || trail > 0xFC) return {Piece::Invalid};
    Step step{Piece::Wide, 2};
    if (cp932.Convert(bytes.substr(i, 2), step.text)) return step;
    // An unassigned pair: an ASCII trail byte is read again on its own.
    return {Piece::Invalid, size_t(trail < 0x80 ? 1 : 2)};
}

Step NextEucJp(Bytes bytes, size_t i, const Utf8Converter& euc) {
    unsigned char b = At(bytes, i);
    if (b < 0x80) return {Piece::Ascii};
    auto in_row = [](unsigned char c) { return c >= 0xA1 && c <= 0xFE; };
    size_t length = b == 0x8F ? 3 : (b == 0x8E || in_row(b)) ? 2 : 0;
    if (length == 0) return {Piece::Invalid};
    for (size_t k = 1; k < length; ++k) {
        if (i + k >= bytes.size()) return {Piece::Cut};
        unsigned char c = At(bytes, i + k);
        if (b == 0x8E ? (c < 0xA1 || c > 0xDF) : !in_row(c)) return {Piece::Invalid};
    }
    if (b == 0x8E) return HalfWidthKatakana(At(bytes, i + 1), 2);
    Step step{Piece::Wide, length};
    if (euc.Convert(bytes.substr(i, length), step.text)) return step;
    return {Piece::Invalid, length};
}

// Control bytes other than TAB, LF and CR as Control Pictures.
void AppendVisible(std::string& out, unsigned char b) {
    if (b == '\t' || b == '\n' || b == '\r' || (b >= 0x20 && b < 0x7F))
        out += static_cast<char>(b);
    else
        AppendUtf8(out, b == 0x7F ? char32_t{0x2421} : char32_t{0x2400} + b);
}

// The bytes read in one encoding.
struct Reading {
    std::string text;
    int invalid = 0;  // undecodable sequences, each shown as U+FFFD
};

// How well a reading fits: the plausibility of its text, each undecodable
// sequence heavily against it.
int Fit(const Reading& reading) { return archivers::Plausibility(reading.text) - 100 * reading.invalid; }

Reading Read(Bytes bytes, const std::function<Step(Bytes, size_t)>& next) {
    Reading reading;
    for (size_t i = 0; i < bytes.size();) {
        Step step = next(bytes, i);
        if (step.piece == Piece::Cut) break;  // a character cut off by the end of what was read
        switch (step.piece) {
        case Piece::Ascii: AppendVisible(reading.text, At(bytes, i)); break;
        case Piece::Wide:
        case Piece::HalfWidth: reading.text += step.text; break;
        case Piece::Invalid:
            ++reading.invalid;
            AppendUtf8(reading.text, 0xFFFD);
            break;
        case Piece::Cut: break;
        }
        i += step.length;
    }
    return reading;
}

bool IsUtf8(Bytes bytes) { return Read(bytes, NextUtf8).invalid == 0; }

// The user's thousands separator; "," when the locale has none.
std::string ThousandsSeparator() {
    locale_t numeric = newlocale(LC_NUMERIC_MASK, "", locale_t{});
    if (numeric == locale_t{}) return ",";
    std::string separator = nl_langinfo_l(THOUSEP, numeric);
    freelocale(numeric);
    // The text is in the locale's own encoding; only a UTF-8 one can be shown.
    return separator.empty() || !IsUtf8(separator) ? "," : separator;
}

}  // namespace

void DisableBrowser(Context& ctx) { ctx.screen.EnableBrowser(false); }
void EnableBrowser(Context& ctx) { ctx.screen.EnableBrowser(true); }

int32_t IdentifyArchive(Context& ctx, const std::string& path) {
    ctx.screen.SetFileType("Checking...");
    ctx.screen.SetStatusColour(kBlack);
    ctx.screen.SetStatus("ファイル形式を調査しています...");
    if (ctx.counter) ctx.counter->Cancel();  // the count of the file shown before
    BusyScope busy(ctx);
    try {
        return Examine(ctx, path);
    } catch (const std::exception&) {
        // The file is missing, locked or unreadable, or the library cannot be called.
        return ShowFailure(ctx, "アクセス中", "ファイル形式の取得に失敗しました。");
    }
}

std::string SizeText(uint64_t bytes) {
    if (bytes > kLargestSize) return "Unknown";
    if (bytes < 1024) return std::to_string(bytes) + "バイト";
    int shift = bytes < (uint64_t{1} << 20) ? 10 : bytes < (uint64_t{1} << 30) ? 20 : 30;
    const char* unit = shift == 10 ? "KB" : shift == 20 ? "MB" : "GB";
    uint64_t mask = (uint64_t{1} << shift) - 1;
    uint64_t rest = bytes & mask;
    // At most four characters, truncated; a point in the fourth place is dropped.
    std::string number = std::to_string(bytes >> shift);
    if (rest != 0 && number.size() < 3) {
        number += '.';
        while (number.size() < 4 && rest != 0) {
            rest *= 10;
            number += static_cast<char>('0' + (rest >> shift));
            rest &= mask;
        }
    }
    return number + unit;
}

std::string GroupThousands(int64_t value) {
    uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    std::string digits = std::to_string(magnitude);
    std::string separator = ThousandsSeparator();
    std::string text = value < 0 ? "-" : "";
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) text += separator;
        text += digits[i];
    }
    return text;
}

std::string PreviewText(const std::string& bytes) {
    Bytes input(bytes);
    if (input.substr(0, 3) == "\xEF\xBB\xBF") return Read(input.substr(3), NextUtf8).text;
    // Valid UTF-8 is no proof: EUC-JP's 表 (C9 BD) is UTF-8's ɽ. The most
    // plausible reading wins, Shift-JIS on a tie.
    Utf8Converter cp932_converter("CP932"), euc_converter("EUC-JP-MS");
    const Reading readings[] = {
        Read(input, [&](Bytes b, size_t i) { return NextCp932(b, i, cp932_converter); }),
        Read(input, [&](Bytes b, size_t i) { return NextEucJp(b, i, euc_converter); }),
        Read(input, NextUtf8),
    };
    const Reading* best = &readings[0];
    int best_fit = Fit(*best);
    for (const Reading& reading : readings) {
        int fit = Fit(reading);
        if (fit <= best_fit) continue;
        best = &reading;
        best_fit = fit;
    }
    return best->text;
}

}  // namespace core
