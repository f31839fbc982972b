#include "worker_protocol.h"

namespace archivers::wire {
namespace {

constexpr uint32_t kRequestMagic = 0x4B565251;  // "QRVK"

class Out {
public:
    Out& U8(uint8_t v) { text_.push_back(static_cast<char>(v)); return *this; }
    Out& U32(uint32_t v) {
        for (int i = 0; i < 4; ++i) U8(static_cast<uint8_t>(v >> (8 * i)));
        return *this;
    }
    Out& I32(int32_t v) { return U32(static_cast<uint32_t>(v)); }
    Out& I64(int64_t v) {
        U32(static_cast<uint32_t>(static_cast<uint64_t>(v)));
        return U32(static_cast<uint32_t>(static_cast<uint64_t>(v) >> 32));
    }
    Out& Text(std::string_view v) {
        U32(static_cast<uint32_t>(v.size()));
        text_.append(v);
        return *this;
    }
    std::string Take() { return std::move(text_); }

private:
    std::string text_;
};

// Reads what Out wrote; any read past the end marks the whole parse failed.
class In {
public:
    explicit In(std::string_view data) : data_(data) {}
    uint8_t U8() {
        if (at_ >= data_.size()) return Fail(), 0;
        return static_cast<uint8_t>(data_[at_++]);
    }
    uint32_t U32() {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(U8()) << (8 * i);
        return v;
    }
    int32_t I32() { return static_cast<int32_t>(U32()); }
    int64_t I64() {
        uint64_t low = U32();
        return static_cast<int64_t>(low | static_cast<uint64_t>(U32()) << 32);
    }
    std::string Text() {
        uint32_t size = U32();
        if (!ok_ || size > data_.size() - at_) return Fail(), std::string();
        std::string v(data_.substr(at_, size));
        at_ += size;
        return v;
    }
    // Everything read, nothing left over.
    bool Done() const { return ok_ && at_ == data_.size(); }

private:
    void Fail() { ok_ = false; at_ = data_.size(); }
    std::string_view data_;
    size_t at_ = 0;
    bool ok_ = true;
};

}  // namespace

std::string Frame(Type type, std::string_view payload) {
    Out out;
    out.U8(static_cast<uint8_t>(type)).U32(static_cast<uint32_t>(payload.size()));
    return out.Take().append(payload);
}

std::string Encode(const Request& r) {
    Out out;
    out.U32(kRequestMagic).U32(kVersion).U8(static_cast<uint8_t>(r.operation)).U8(static_cast<uint8_t>(r.kind));
    out.I32(r.mode).I32(r.parent).Text(r.archive).Text(r.destination).U32(static_cast<uint32_t>(r.patterns.size()));
    for (const auto& pattern : r.patterns) out.Text(pattern);
    out.U8(static_cast<uint8_t>(r.names)).U8(r.ask_password ? 1 : 0);
    out.U8(static_cast<uint8_t>(r.share)).U8(static_cast<uint8_t>(r.chosen));
    return Frame(Type::Request, out.Take());
}

std::string EncodeHello() { return Frame(Type::Hello, Out().U32(kVersion).Take()); }

std::string Encode(const Progress& p) { return Frame(Type::Progress, Out().I64(p.done).I64(p.total).Text(p.entry).Take()); }

std::string Encode(const Temporary& t) { return Frame(Type::Temporary, Out().Text(t.folder).Text(t.name).Take()); }

std::string Encode(const Aside& a) {
    return Frame(Type::Aside, Out().Text(a.folder).Text(a.name).Text(a.original).Take());
}

std::string Encode(const Result& r) { return Frame(Type::Result, Out().I32(r.code).I32(r.value).Text(r.text).Take()); }

std::string EncodePasswordWanted(bool retry) { return Frame(Type::PasswordWanted, Out().U8(retry ? 1 : 0).Take()); }

std::string EncodePlan(NameEncoding chosen) { return Frame(Type::Plan, Out().U8(static_cast<uint8_t>(chosen)).Take()); }

std::string Encode(const ShareOutcome& o) {
    Out out;
    out.I32(o.first_index).I32(o.first_code).I32(o.stop_index).U8(static_cast<uint8_t>(o.stop)).I32(o.stop_code);
    return Frame(Type::ShareEnd, out.Take());
}

std::string EncodeFinish() { return Frame(Type::Finish, ""); }

// Written straight into `frame`, so that no other copy of the password is made.
void EncodePassword(PasswordAnswer answer, const Secret& password, Secret& frame) {
    const std::string_view text = answer == PasswordAnswer::Given ? password.View() : std::string_view();
    const uint32_t payload = static_cast<uint32_t>(1 + 4 + text.size());
    frame.Clear();
    auto u32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i) frame.Append(static_cast<char>(v >> (8 * i)));
    };
    frame.Append(static_cast<char>(Type::Password));
    u32(payload);
    frame.Append(static_cast<char>(answer));
    u32(static_cast<uint32_t>(text.size()));
    for (char c : text) frame.Append(c);
}

std::optional<Request> DecodeRequest(std::string_view payload) {
    In in(payload);
    if (in.U32() != kRequestMagic || in.U32() != kVersion) return std::nullopt;
    Request r;
    uint8_t operation = in.U8(), kind = in.U8();
    if (operation < 1 || operation > static_cast<uint8_t>(Operation::List)) return std::nullopt;
    if (kind > static_cast<uint8_t>(Kind::Arj)) return std::nullopt;
    r.operation = static_cast<Operation>(operation);
    r.kind = static_cast<Kind>(kind);
    r.mode = in.I32();
    r.parent = in.I32();
    r.archive = in.Text();
    r.destination = in.Text();
    for (uint32_t n = in.U32(), i = 0; i < n && i < 4096; ++i) r.patterns.push_back(in.Text());
    uint8_t names = in.U8(), ask = in.U8(), share = in.U8(), chosen = in.U8();
    if (names > static_cast<uint8_t>(NameEncoding::Utf8) || ask > 1 || !in.Done()) return std::nullopt;
    if (share > static_cast<uint8_t>(Share::Second) || chosen > static_cast<uint8_t>(NameEncoding::Utf8))
        return std::nullopt;
    r.names = static_cast<NameEncoding>(names);
    r.ask_password = ask == 1;
    r.share = static_cast<Share>(share);
    r.chosen = static_cast<NameEncoding>(chosen);
    return r;
}

bool DecodeHello(std::string_view payload) {
    In in(payload);
    return in.U32() == kVersion && in.Done();
}

std::optional<Progress> DecodeProgress(std::string_view payload) {
    In in(payload);
    Progress p;
    p.done = in.I64();
    p.total = in.I64();
    p.entry = in.Text();
    return in.Done() ? std::optional(p) : std::nullopt;
}

std::optional<Temporary> DecodeTemporary(std::string_view payload) {
    In in(payload);
    Temporary t;
    t.folder = in.Text();
    t.name = in.Text();
    return in.Done() ? std::optional(t) : std::nullopt;
}

std::optional<Aside> DecodeAside(std::string_view payload) {
    In in(payload);
    Aside a;
    a.folder = in.Text();
    a.name = in.Text();
    a.original = in.Text();
    return in.Done() ? std::optional(a) : std::nullopt;
}

std::optional<Result> DecodeResult(std::string_view payload) {
    In in(payload);
    Result r;
    r.code = in.I32();
    r.value = in.I32();
    r.text = in.Text();
    return in.Done() ? std::optional(r) : std::nullopt;
}

std::optional<bool> DecodePasswordWanted(std::string_view payload) {
    In in(payload);
    uint8_t retry = in.U8();
    return in.Done() && retry <= 1 ? std::optional(retry == 1) : std::nullopt;
}

std::optional<NameEncoding> DecodePlan(std::string_view payload) {
    In in(payload);
    uint8_t chosen = in.U8();
    if (!in.Done() || chosen > static_cast<uint8_t>(NameEncoding::Utf8)) return std::nullopt;
    return static_cast<NameEncoding>(chosen);
}

std::optional<ShareOutcome> DecodeShareOutcome(std::string_view payload) {
    In in(payload);
    ShareOutcome o;
    o.first_index = in.I32();
    o.first_code = in.I32();
    o.stop_index = in.I32();
    uint8_t stop = in.U8();
    o.stop_code = in.I32();
    if (!in.Done() || stop > static_cast<uint8_t>(Stop::End)) return std::nullopt;
    o.stop = static_cast<Stop>(stop);
    return o;
}

bool DecodeFinish(std::string_view payload) { return payload.empty(); }

std::optional<PasswordAnswer> DecodePassword(std::string_view payload, Secret& password) {
    password.Clear();
    if (payload.size() < 5) return std::nullopt;
    In in(payload.substr(0, 5));
    const uint8_t answer = in.U8();
    if (in.U32() != payload.size() - 5) return std::nullopt;
    if (answer == static_cast<uint8_t>(PasswordAnswer::Given))
        return password.Assign(payload.substr(5)) ? std::optional(PasswordAnswer::Given) : std::nullopt;
    if (payload.size() > 5 || answer > static_cast<uint8_t>(PasswordAnswer::Cancelled)) return std::nullopt;
    return static_cast<PasswordAnswer>(answer);
}

std::optional<FrameHeader> DecodeHeader(std::string_view header) {
    In in(header.substr(0, kHeaderSize));
    const uint8_t kind = in.U8();
    const uint32_t size = in.U32();
    if (!in.Done() || size > kMaxPayload) return std::nullopt;
    switch (static_cast<Type>(kind)) {
        case Type::Request: case Type::Hello: case Type::Progress: case Type::Temporary: case Type::Aside:
        case Type::Result: case Type::PasswordWanted: case Type::Password: case Type::Plan: case Type::ShareEnd:
        case Type::Finish:
            return FrameHeader{static_cast<Type>(kind), size};
    }
    return std::nullopt;
}

bool FrameReader::Next(Type& type, std::string& payload) {
    if (malformed_ || buffer_.size() - consumed_ < kHeaderSize) return false;
    const std::optional<FrameHeader> header = DecodeHeader(std::string_view(buffer_).substr(consumed_, kHeaderSize));
    if (!header) {
        malformed_ = true;
        return false;
    }
    const uint32_t size = header->size;
    if (buffer_.size() - consumed_ - kHeaderSize < size) return false;
    type = header->type;
    payload.assign(buffer_, consumed_ + kHeaderSize, size);
    consumed_ += kHeaderSize + size;
    // Drop what has been read once it is most of the buffer.
    if (consumed_ > (1u << 16) && consumed_ * 2 > buffer_.size()) {
        buffer_.erase(0, consumed_);
        consumed_ = 0;
    }
    return true;
}

}  // namespace archivers::wire
