// The messages between an archiver module and its worker process.
//
// Every message is one frame: a type byte, the payload's length (4 bytes,
// little-endian) and the payload. Numbers are little-endian; a text is its
// length (4 bytes) and its bytes. The module sends a Request; the worker
// answers Hello first, then any number of Progress, Temporary and Aside
// messages, then one Result. When an entry needs a password and the request allows
// asking, the worker sends PasswordWanted and waits for the module's
// Password before it goes on. A frame of an unknown type, a payload that does not parse
// or a version that differs ends the exchange as a failure. A worker that
// reads an archive without writing (every operation but Extract) then waits
// for the next Request about the same archive, and answers it the same way;
// it ends when its module closes the socket.
//
// A ZIP extraction may be shared by two workers (operations.h). The module
// asks the first with Share::First; when the archive is worth splitting, that
// worker says Plan before it writes any file, and the module starts the
// second with Share::Second and the names encoding the Plan gives. Each
// sends ShareEnd once its share is written; the first then waits for the
// module's Finish (sent once the second has its Result) before it gives the
// folders their times and modes and sends its Result.
#ifndef KELVORA_ARCHIVERS_WORKER_PROTOCOL_H
#define KELVORA_ARCHIVERS_WORKER_PROTOCOL_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "name_encoding.h"
#include "operations.h"
#include "password.h"
#include "reader.h"

namespace archivers::wire {

inline constexpr uint32_t kVersion = 5;
// Larger frames are refused: a listing of a million long names still fits.
inline constexpr uint32_t kMaxPayload = 64u << 20;
inline constexpr size_t kHeaderSize = 5;

enum class Type : uint8_t {
    Request = 'Q',    // module -> worker
    Hello = 'H',      // version
    Progress = 'P',   // archive bytes read, archive size, entry name
    Temporary = 'T',  // temporary files are made in this folder (below the destination) from now on: folder, first name
    Aside = 'A',      // a file of the user's about to be renamed out of an entry's way: folder, new name, its name
    Result = 'R',     // result code, value, text
    PasswordWanted = 'W',  // 1 when the password given before did not fit
    Password = 'K',        // module -> worker: PasswordAnswer, the password
    Plan = 'S',            // the extraction is split: the names encoding chosen (Auto: none)
    ShareEnd = 'E',        // how this share's walk went (ShareOutcome)
    Finish = 'F',          // module -> first worker: the second share is written
};

enum class Operation : uint8_t { Check = 1, Count, TarType, Extract, Test, List };

struct Request {
    Operation operation = Operation::Check;
    Kind kind = Kind::Lha;
    int32_t mode = 0;  // CheckArchive's mode
    int32_t parent = 0;  // the module's process, which the worker outlives never
    std::string archive;
    std::string destination;
    std::vector<std::string> patterns;
    NameEncoding names = NameEncoding::Auto;  // how raw entry names are read
    bool ask_password = false;  // encrypted entries may ask the module for a password
    Share share = Share::Whole;  // Extract only
    NameEncoding chosen = NameEncoding::Auto;  // the second share: the first's choice of encoding
};

struct Progress {
    int64_t done = 0, total = 0;
    std::string entry;
};

// Said before the first temporary file is made in a folder; the ones after
// it are made there too, until another Temporary names another folder.
struct Temporary {
    std::string folder;  // "a/b", "" for the destination itself
    std::string name;
};

// The file named `original` in `folder`, renamed to `name` beside it.
struct Aside {
    std::string folder;  // as in Temporary
    std::string name;
    std::string original;
};

struct Result {
    int32_t code = 0;
    int32_t value = 0;
    std::string text;
};

std::string Frame(Type type, std::string_view payload);

std::string Encode(const Request& request);
std::string EncodeHello();
std::string Encode(const Progress& progress);
std::string Encode(const Temporary& temporary);
std::string Encode(const Aside& aside);
std::string Encode(const Result& result);
std::string EncodePasswordWanted(bool retry);
std::string EncodePlan(NameEncoding chosen);
std::string Encode(const ShareOutcome& outcome);
std::string EncodeFinish();
// The module's answer; the frame holds the password and is cleared with `frame`.
void EncodePassword(PasswordAnswer answer, const Secret& password, Secret& frame);

std::optional<Request> DecodeRequest(std::string_view payload);
bool DecodeHello(std::string_view payload);  // true when the versions match
std::optional<Progress> DecodeProgress(std::string_view payload);
std::optional<Temporary> DecodeTemporary(std::string_view payload);
std::optional<Aside> DecodeAside(std::string_view payload);
std::optional<Result> DecodeResult(std::string_view payload);
std::optional<bool> DecodePasswordWanted(std::string_view payload);
std::optional<NameEncoding> DecodePlan(std::string_view payload);
std::optional<ShareOutcome> DecodeShareOutcome(std::string_view payload);
bool DecodeFinish(std::string_view payload);
std::optional<PasswordAnswer> DecodePassword(std::string_view payload, Secret& password);

// A frame's type and payload length, from its first kHeaderSize bytes;
// nothing for an unknown type or a payload over kMaxPayload.
struct FrameHeader {
    Type type;
    uint32_t size;
};
std::optional<FrameHeader> DecodeHeader(std::string_view header);

// Frames as they arrive on a pipe, in pieces of any size.
class FrameReader {
public:
    void Append(const char* data, size_t size) { buffer_.append(data, size); }
    // The next whole frame: false when none is complete yet, or when the
    // stream is malformed (then Malformed() says so).
    bool Next(Type& type, std::string& payload);
    bool Malformed() const { return malformed_; }
    bool Empty() const { return buffer_.size() == consumed_; }

private:
    std::string buffer_;
    size_t consumed_ = 0;
    bool malformed_ = false;
};

}  // namespace archivers::wire

#endif
