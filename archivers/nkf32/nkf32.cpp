// The exports of nkf32.so. See nkf32.h for the contract.
#include "nkf32.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "text_codes.h"

namespace {

// The output code, kept from SetNkfOption until the module is unloaded.
std::atomic<nkf::Code> output_code{nkf::Code::Sjis};

std::optional<nkf::Code> OptionCode(std::string_view option) {
    if (option == "-s") return nkf::Code::Sjis;
    if (option == "-j") return nkf::Code::Jis;
    if (option == "-e") return nkf::Code::Euc;
    if (option == "-w") return nkf::Code::Utf8;
    return std::nullopt;
}

// The code chosen by the last option, or nothing when there is no option or
// one is unknown.
std::optional<nkf::Code> ParseOptions(std::string_view text) {
    constexpr std::string_view kBlanks = " \t";
    std::optional<nkf::Code> last;
    for (size_t start = text.find_first_not_of(kBlanks); start != std::string_view::npos;
         start = text.find_first_not_of(kBlanks, start)) {
        const size_t end = std::min(text.find_first_of(kBlanks, start), text.size());
        last = OptionCode(text.substr(start, end - start));
        if (!last) return std::nullopt;
        start = end;
    }
    return last;
}

}  // namespace

extern "C" {

ARCHIVER_EXPORT void ARCHIVER_CALL GetNkfVersion(char* buffer) {
    // Characters 5, 7 and 8 carry the version: 2.10.
    static constexpr char kVersion[] = "Ver. 2.10";
    static_assert(sizeof kVersion <= 16);
    if (buffer) std::memcpy(buffer, kVersion, sizeof kVersion);
}

ARCHIVER_EXPORT int32_t ARCHIVER_CALL SetNkfOption(const char* options) {
    if (!options) return -1;
    const std::optional<nkf::Code> code = ParseOptions(options);
    if (!code) return -1;
    output_code = *code;
    return 0;
}

ARCHIVER_EXPORT int32_t ARCHIVER_CALL NkfConvertSafe(char* output, uint32_t output_size, uint32_t* written,
                                                     const char* input, uint32_t input_size) {
    if (written) *written = 0;
    if (!output || !written || (!input && input_size > 0)) return 0;
    try {
        const std::optional<std::string> converted =
            nkf::Convert(std::string_view(input ? input : "", input_size), output_code);
        if (!converted || converted->size() > output_size) return 0;
        std::memcpy(output, converted->data(), converted->size());
        *written = static_cast<uint32_t>(converted->size());
        return 1;
    } catch (...) {  // out of memory; nothing may leave a C entry point
        return 0;
    }
}

// The old entry point without an output size: trusts the caller to give the
// worst case, kWorstCaseFactor * strlen(input) + kWorstCaseExtra + 1 bytes.
ARCHIVER_EXPORT void ARCHIVER_CALL NkfConvert(char* output, const char* input) {
    if (!output) return;
    output[0] = '\0';
    if (!input) return;
    const uint64_t length = std::strlen(input);
    const uint64_t worst = nkf::kWorstCaseFactor * length + nkf::kWorstCaseExtra;
    if (worst > UINT32_MAX) return;  // beyond what NkfConvertSafe takes
    uint32_t written = 0;
    if (NkfConvertSafe(output, static_cast<uint32_t>(worst), &written, input, static_cast<uint32_t>(length))) {
        output[written] = '\0';
    }
}

}  // extern "C"
