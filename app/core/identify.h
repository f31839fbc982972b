// Archive identification: which archiver takes a file, what kind of archive
// it is, how many entries it holds and how large it is, shown in the main
// window and left behind in the session's file_kind and file_archiver.
#ifndef KELVORA_CORE_IDENTIFY_H
#define KELVORA_CORE_IDENTIFY_H

#include <cstdint>
#include <limits>
#include <string>

#include "session.h"

namespace core {

// The result of an identification that could not examine the file.
inline constexpr int32_t kNotExamined = -99;

// Identifies the file at path. Returns the archiver index (1..13), kSplitSet
// for a numbered split set, 0 when no installed archiver takes the file (its
// beginning is then previewed) or kNotExamined (empty file, access failure,
// old TAR32). The browser is disabled and the busy pointer shown meanwhile.
int32_t IdentifyArchive(Context& ctx, const std::string& path);

// What the user is told of a file given to be extracted that is no archive.
inline constexpr const char* kNotArchiveMessage = "指定されたファイルは書庫ではありません。";

// Disable or enable the browser controls around long work.
void DisableBrowser(Context& ctx);
void EnableBrowser(Context& ctx);

// The browser is off for as long as this lives.
class BrowserOff {
public:
    explicit BrowserOff(Context& ctx) : ctx_(ctx) { DisableBrowser(ctx_); }
    BrowserOff(const BrowserOff&) = delete;
    BrowserOff& operator=(const BrowserOff&) = delete;
    ~BrowserOff() { EnableBrowser(ctx_); }

private:
    Context& ctx_;
};

// A length whose size cannot be told; SizeText shows it as "Unknown".
inline constexpr uint64_t kUnknownSize = std::numeric_limits<uint64_t>::max();

// "1023バイト", "1.5KB", "120KB", "5.67MB", "1GB"; "Unknown" above 4294967295.
std::string SizeText(uint64_t bytes);

// The count with the user's thousands separator every three digits
// ("1,234"; "-1" as it is). The separator comes from LC_NUMERIC in the
// environment; a locale without one, or one that cannot be loaded, gives ",".
std::string GroupThousands(int64_t value);

// The first bytes of a file as readable UTF-8 text: UTF-8, Shift-JIS (CP932)
// or EUC-JP, whichever the bytes fit best. Control bytes other than TAB, LF
// and CR become Control Pictures (U+2400..), undecodable bytes U+FFFD, and a
// character cut off at the end is dropped.
std::string PreviewText(const std::string& bytes);

}  // namespace core

#endif
