#include "names.h"

#include <iconv.h>

#include <cstdio>

namespace archivers {
namespace {

// Length of the UTF-8 sequence starting at s[i], or 0 when it is not valid.
size_t Utf8Sequence(std::string_view s, size_t i) {
    auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char lead = byte(i);
    size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || i + length > s.size()) return 0;
    for (size_t k = 1; k < length; ++k)
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
    if (length == 2 && lead < 0xC2) return 0;  // overlong
    return length;
}

bool IsUtf8(std::string_view s) {
    for (size_t i = 0; i < s.size();) {
        size_t n = Utf8Sequence(s, i);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // The whole text converted, or nothing when any byte does not convert.
    std::optional<std::string> Convert(std::string_view in) const {
        if (cd_ == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
        std::string out(in.size() * 4 + 4, '\0');
        char* src = const_cast<char*>(in.data());
        size_t src_left = in.size();
        char* dst = out.data();
        size_t dst_left = out.size();
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        if (iconv(cd_, &src, &src_left, &dst, &dst_left) == static_cast<size_t>(-1)) return std::nullopt;
        out.resize(out.size() - dst_left);
        return out;
    }

private:
    iconv_t cd_;
};

// Shift-JIS text with undecodable bytes escaped: decoded one character at a time.
std::string DecodeShiftJisLeniently(std::string_view raw, const Converter& cp932) {
    std::string out;
    for (size_t i = 0; i < raw.size();) {
        unsigned char lead = static_cast<unsigned char>(raw[i]);
        bool double_byte = ((lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC)) && i + 1 < raw.size();
        size_t length = double_byte ? 2 : 1;
        if (auto text = cp932.Convert(raw.substr(i, length))) {
            out += *text;
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", lead);
            out += escaped;
            length = 1;
        }
        i += length;
    }
    return out;
}

// Removes "." and empty parts and appends the rest to `parts`. ".." is
// refused, or with `allow_up` taken back off `parts`, but only before the
// first ordinary part: after one, the part before it may itself be a link,
// and ".." would then lead wherever that link points.
bool AddParts(std::vector<std::string>& parts, std::string_view name, bool backslash_separates, bool allow_up) {
    size_t start = 0;
    bool named = false;
    for (size_t i = 0; i <= name.size(); ++i) {
        bool separator = i == name.size() || name[i] == '/' || (backslash_separates && name[i] == '\\');
        if (!separator) continue;
        std::string_view part = name.substr(start, i - start);
        start = i + 1;
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (!allow_up || named || parts.empty()) return false;
            parts.pop_back();
            continue;
        }
        parts.emplace_back(part);
        named = true;
    }
    return true;
}

}  // namespace

std::string DecodeEntryName(std::string_view raw) {
    if (IsUtf8(raw)) return std::string(raw);
    Converter cp932("UTF-8", "CP932");
    if (auto text = cp932.Convert(raw)) return *text;
    return DecodeShiftJisLeniently(raw, cp932);
}

std::optional<std::vector<std::string>> SafeParts(std::string_view name, bool backslash_separates) {
    if (name.empty() || name.front() == '/' || (backslash_separates && name.front() == '\\')) return std::nullopt;
    // "C:" at the start is a Windows drive, never a folder of ours.
    if (name.size() >= 2 && name[1] == ':') return std::nullopt;
    std::vector<std::string> parts;
    if (!AddParts(parts, name, backslash_separates, false)) return std::nullopt;
    return parts;
}

bool LinkStaysInside(const std::vector<std::string>& link_parts, std::string_view target) {
    if (target.empty() || target.front() == '/') return false;
    std::vector<std::string> resolved(link_parts.begin(), link_parts.end() - (link_parts.empty() ? 0 : 1));
    return AddParts(resolved, target, false, true);
}

}  // namespace archivers
