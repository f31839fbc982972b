// Character-code conversion of a text file through the converter module
// "nkf32.dll", loaded for each call and released before it returns.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "atomic_file.h"
#include "dravolix.h"
#include "message_box.h"
#include "module_loader.h"
#include "unique_fd.h"
#include "wait.h"

namespace {

constexpr const char* kConverter = "nkf32.dll";
constexpr int32_t kFailed = -1, kNotLoadable = -2, kNoMemory = -8;

using GetNkfVersionFn = void (*)(char*);
using SetNkfOptionFn = int32_t (*)(const char*);
using NkfConvertFn = void (*)(char*, const char*);
using NkfConvertSafeFn = int32_t (*)(char*, uint32_t, uint32_t*, const char*, uint32_t);

// The bounded form writes at most 5 bytes for each input byte and 3 more; the
// old form is given room for 8 per byte, more than any converter writes.
constexpr uint64_t kSafeFactor = 5, kSafeExtra = 3, kOldFactor = 8, kOldExtra = 16;
// Inputs larger than this are refused as a memory failure rather than
// asking for several times their size.
constexpr uint64_t kLargestInput = 256u << 20;

// A buffer whose contents are cleared before it is given back.
class ClearedBuffer {
public:
    explicit ClearedBuffer(size_t size) : bytes_(size, '\0') {}
    ~ClearedBuffer() { std::memset(bytes_.data(), 0, bytes_.size()); }
    ClearedBuffer(const ClearedBuffer&) = delete;
    ClearedBuffer& operator=(const ClearedBuffer&) = delete;
    char* Data() { return bytes_.data(); }
    size_t Size() const { return bytes_.size(); }

private:
    std::vector<char> bytes_;
};


bool ReadAll(int fd, char* data, size_t size) {
    while (size > 0) {
        ssize_t n = read(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

void Fail(HWND owner, dravolix::WaitWindowShown& wait, const char* text, const char* step) {
    wait.Close();
    platform::ShowExclamation(owner, text, std::string("Dravolix Error On DravxNkfConvertSub:") + step);
}

}  // namespace

extern "C" {

int16_t DRAVOLIX_API DravxGetNkfVersion(void) {
    platform::Module converter = platform::Module::Load(kConverter);
    auto get = reinterpret_cast<GetNkfVersionFn>(converter.Symbol("GetNkfVersion"));
    if (!get) return 0;
    char text[16] = {};
    get(text);
    // Offsets 5, 7 and 8: the units digit and the two decimals ("Ver. 2.10").
    char digits[4] = {text[5], text[7], text[8], '\0'};
    std::memset(text, 0, sizeof text);
    return static_cast<int16_t>(std::atoi(digits));
}

int32_t DRAVOLIX_API DravxNkfConvertSub(HWND owner, const char* option, const char* output_file,
                                        const char* input_file) {
    dravolix::WaitWindowShown wait(owner, true);
    platform::Module converter = platform::Module::Load(kConverter);
    if (!converter) return kNotLoadable;
    if (!option || !output_file || !input_file) return DRAVX_ERROR_NULL_ARGUMENT;

    platform::UniqueFd input(open(input_file, O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (input.Get() < 0 || fstat(input.Get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        Fail(owner, wait, "ファイルが開けませんでした。", "CreateFile=INVALID_HANDLE_VALUE");
        return kFailed;
    }
    auto set_option = reinterpret_cast<SetNkfOptionFn>(converter.Symbol("SetNkfOption"));
    auto convert_safe = reinterpret_cast<NkfConvertSafeFn>(converter.Symbol("NkfConvertSafe"));
    auto convert = reinterpret_cast<NkfConvertFn>(converter.Symbol("NkfConvert"));
    const uint64_t size = static_cast<uint64_t>(st.st_size);
    const uint64_t room = convert_safe ? size * kSafeFactor + kSafeExtra : size * kOldFactor + kOldExtra;
    std::unique_ptr<ClearedBuffer> in, out;
    try {
        if (size > kLargestInput) throw std::bad_alloc();
        in = std::make_unique<ClearedBuffer>(size + 1);
        out = std::make_unique<ClearedBuffer>(room + 1);
    } catch (const std::bad_alloc&) {
        Fail(owner, wait, "メモリを確保できませんでした。", "malloc()=NULL");
        return kNoMemory;
    }
    if (!ReadAll(input.Get(), in->Data(), size)) {
        Fail(owner, wait, "ファイルが開けませんでした。", "ReadFile");
        return kFailed;
    }
    if (!set_option || (!convert_safe && !convert) || set_option(option) < 0) {
        Fail(owner, wait, "コマンド入力エラー", "SetNkfOption");
        return kFailed;
    }
    size_t length = 0;
    if (convert_safe) {
        uint32_t written = 0;
        if (!convert_safe(out->Data(), static_cast<uint32_t>(room), &written, in->Data(),
                          static_cast<uint32_t>(size))) {
            // A result that does not fit is a failure, never a cut file.
            Fail(owner, wait, "変換結果がバッファに収まりませんでした。", "NkfConvertSafe");
            return kFailed;
        }
        length = written;
    } else {
        convert(out->Data(), in->Data());
        length = out->Size();
    }
    // The text ends at its first zero byte.
    length = strnlen(out->Data(), length);
    if (!platform::ReplaceFileAtomically(output_file, std::string_view(out->Data(), length))) {
        platform::ShowExclamation(owner, "ファイルの書き込みエラー",
                                  "Dravolix Error On DravxNkfConvertSub:WriteFile()=INVALID_HANDLE_VALUE");
        return kFailed;
    }
    return 0;
}

}  // extern "C"
