// Decoders for ARJ methods 1-4.
//
// Both read bits most significant first. Methods 1-3 are blocks of LZ77
// symbols under three Huffman codes: a block starts with its symbol count,
// the code lengths of a small code (NT symbols) that the lengths of the
// literal/length code (NC symbols) are written in, then the lengths of the
// distance code (NP symbols). Method 4 writes lengths and distances as
// unary-prefixed numbers. Both reach back at most kWindow bytes.
//
// Hostile streams: every count is checked against its table, code lengths
// above 16 and overfull codes are refused, a code not covering every bit
// pattern fails only when a missing pattern is met, distances reaching before
// the first decoded byte are refused, and reading more than a few bytes past
// the end of the compressed data stops decoding.
#include "arj_decoder.h"

#include <array>
#include <memory>
#include <vector>

namespace archivers::arj {
namespace {

constexpr uint32_t kWindow = 26624;
constexpr int kThreshold = 3;
constexpr int kNC = 255 + 256 + 2 - kThreshold;  // literals and match lengths: 510
constexpr int kNP = 17;                          // distance classes
constexpr int kNT = 19;                          // the code the literal/length lengths are written in
constexpr int kCBits = 9;
constexpr int kPBits = 5;
constexpr int kTBits = 5;
constexpr int kMaxCodeLength = 16;
// The decoder looks 16 bits ahead, so a good stream is read up to two bytes
// past its end; more than this is a stream that lies about its size.
constexpr int kMaxOverrun = 8;

class BitReader {
public:
    explicit BitReader(const DecoderInput& input) : input_(input) { Fill(); }

    bool Failed() const { return read_error_ || overrun_ > kMaxOverrun; }
    bool ReadError() const { return read_error_; }

    // The next 16 bits, without taking them.
    uint32_t Peek16() {
        if (count_ < 16) Fill();
        return bits_ >> 16;
    }
    void Skip(int n) {
        if (count_ < n) Fill();
        bits_ <<= n;
        count_ -= n;
    }
    uint32_t Get(int n) {
        if (n == 0) return 0;
        uint32_t value = Peek16() >> (16 - n);
        Skip(n);
        return value;
    }

private:
    void Fill() {
        while (count_ <= 24) {
            bits_ |= static_cast<uint32_t>(NextByte()) << (24 - count_);
            count_ += 8;
        }
    }
    unsigned char NextByte() {
        if (at_ == size_ && !ended_) {
            long got = input_(buffer_.data(), buffer_.size());
            if (got < 0) read_error_ = true;
            if (got <= 0) ended_ = true;
            size_ = got > 0 ? static_cast<size_t>(got) : 0;
            at_ = 0;
        }
        if (at_ < size_) return buffer_[at_++];
        ++overrun_;
        return 0;
    }

    const DecoderInput& input_;
    std::array<unsigned char, 16384> buffer_;
    size_t size_ = 0, at_ = 0;
    bool ended_ = false, read_error_ = false;
    int overrun_ = 0;
    uint32_t bits_ = 0;  // the next bits, most significant first
    int count_ = 0;      // how many of them are valid
};

// A canonical Huffman code looked up with its longest code's worth of bits.
class HuffmanCode {
public:
    static constexpr uint16_t kNone = 0xFFFF;

    // Every symbol the same one, taking no bits.
    void SetSingle(uint16_t symbol) {
        single_ = symbol;
        table_bits_ = 0;
    }

    // Lengths of `n` symbols (0: unused). False for lengths above 16 or
    // lengths that overfill the code space.
    bool Build(const uint8_t* lengths, int n) {
        std::array<uint32_t, kMaxCodeLength + 1> count{};
        int longest = 0;
        for (int i = 0; i < n; ++i) {
            if (lengths[i] > kMaxCodeLength) return false;
            ++count[lengths[i]];
            if (lengths[i] > longest) longest = lengths[i];
        }
        uint32_t space = 0;
        for (int len = 1; len <= kMaxCodeLength; ++len) space += count[len] << (kMaxCodeLength - len);
        if (space > (1u << kMaxCodeLength)) return false;

        single_ = kNone;
        table_bits_ = longest;
        lengths_.assign(lengths, lengths + n);
        table_.assign(size_t{1} << longest, kNone);
        if (longest == 0) return true;  // no symbol at all: any lookup fails
        // The first code of each length: shorter codes come first, and
        // within a length the codes follow the symbols' order.
        std::array<uint32_t, kMaxCodeLength + 1> next{};
        uint32_t code = 0;
        for (int len = 1; len <= kMaxCodeLength; ++len) {
            next[len] = code;
            code = (code + count[len]) << 1;
        }
        for (int symbol = 0; symbol < n; ++symbol) {
            int len = lengths[symbol];
            if (len == 0) continue;
            uint32_t first = next[len]++ << (longest - len);
            uint32_t span = 1u << (longest - len);
            for (uint32_t i = 0; i < span; ++i) table_[first + i] = static_cast<uint16_t>(symbol);
        }
        return true;
    }

    // The next symbol, or kNone when the bits are no code.
    uint16_t Decode(BitReader& bits) const {
        if (single_ != kNone) return single_;
        if (table_bits_ == 0) return kNone;
        uint16_t symbol = table_[bits.Peek16() >> (16 - table_bits_)];
        if (symbol != kNone) bits.Skip(lengths_[symbol]);
        return symbol;
    }

private:
    uint16_t single_ = kNone;
    int table_bits_ = 0;
    std::vector<uint8_t> lengths_;
    std::vector<uint16_t> table_;
};

// The window the decoded bytes go through: handed to the output each time it
// fills, and at the end.
class Window {
public:
    Window(uint64_t wanted, const DecoderOutput& output)
        : data_(new unsigned char[kWindow]()), wanted_(wanted), output_(output) {}

    bool Done() const { return produced_ >= wanted_; }
    bool Stopped() const { return stopped_; }

    bool Put(unsigned char byte) {
        data_[at_] = byte;
        ++produced_;
        if (++at_ == kWindow) return Flush();
        return true;
    }
    // Copies `length` bytes from `distance` + 1 back; false when that
    // reaches before the first byte.
    bool Copy(uint32_t distance, uint32_t length) {
        if (distance >= kWindow || distance >= produced_) return false;
        uint32_t from = at_ >= distance + 1 ? at_ - distance - 1 : at_ + kWindow - distance - 1;
        for (uint32_t i = 0; i < length && !Done(); ++i) {
            if (!Put(data_[from])) return true;
            if (++from == kWindow) from = 0;
        }
        return true;
    }
    bool Flush() {
        if (at_ > 0 && !output_(data_.get(), at_)) stopped_ = true;
        at_ = 0;
        return !stopped_;
    }

private:
    std::unique_ptr<unsigned char[]> data_;
    uint32_t at_ = 0;
    uint64_t produced_ = 0;
    uint64_t wanted_;
    const DecoderOutput& output_;
    bool stopped_ = false;
};

class HuffmanDecoder {
public:
    explicit HuffmanDecoder(BitReader& bits) : bits_(bits) {}

    DecodeResult Run(Window& window) {
        while (!window.Done()) {
            if (window.Stopped()) return DecodeResult::Stopped;
            if (bits_.Failed()) return bits_.ReadError() ? DecodeResult::ReadError : DecodeResult::BadData;
            if (block_left_ == 0) {
                block_left_ = bits_.Get(16);
                if (block_left_ == 0 || !ReadLengthCode(kNT, kTBits, 3) || !ReadLiteralCode() ||
                    !ReadLengthCode(kNP, kPBits, -1, &distance_))
                    return DecodeResult::BadData;
            }
            --block_left_;
            uint16_t symbol = literal_.Decode(bits_);
            if (symbol == HuffmanCode::kNone) return DecodeResult::BadData;
            if (symbol <= 255) {
                window.Put(static_cast<unsigned char>(symbol));
                continue;
            }
            uint32_t length = symbol - (256 - kThreshold);
            uint16_t slot = distance_.Decode(bits_);
            if (slot == HuffmanCode::kNone) return DecodeResult::BadData;
            uint32_t distance = slot == 0 ? 0 : (1u << (slot - 1)) + bits_.Get(slot - 1);
            if (!window.Copy(distance, length)) return DecodeResult::BadData;
        }
        if (bits_.ReadError()) return DecodeResult::ReadError;
        return window.Flush() ? DecodeResult::Ok : DecodeResult::Stopped;
    }

private:
    // The lengths of a small code: 3 bits each, 7 and up continued in unary.
    // After `zeros_after` symbols a 2-bit count of zero lengths follows.
    bool ReadLengthCode(int n, int count_bits, int zeros_after, HuffmanCode* into = nullptr) {
        HuffmanCode& code = into ? *into : small_;
        int count = static_cast<int>(bits_.Get(count_bits));
        if (count == 0) {
            uint32_t symbol = bits_.Get(count_bits);
            if (symbol >= static_cast<uint32_t>(n)) return false;
            code.SetSingle(static_cast<uint16_t>(symbol));
            return true;
        }
        if (count > n) return false;
        std::array<uint8_t, kNT> lengths{};
        int i = 0;
        while (i < count) {
            uint32_t peek = bits_.Peek16();
            int len = static_cast<int>(peek >> 13);
            if (len == 7) {
                for (uint32_t mask = 1u << 12; (peek & mask) && len <= kMaxCodeLength; mask >>= 1) ++len;
                if (len > kMaxCodeLength) return false;
            }
            bits_.Skip(len < 7 ? 3 : len - 3);
            lengths[i++] = static_cast<uint8_t>(len);
            if (i == zeros_after) {
                int zeros = static_cast<int>(bits_.Get(2));
                if (i + zeros > n) return false;
                i += zeros;  // already zero
            }
        }
        return code.Build(lengths.data(), n);
    }

    // The literal/length code's lengths, written in the small code: symbols
    // 0-2 are runs of zero lengths, the others a length plus 2.
    bool ReadLiteralCode() {
        int count = static_cast<int>(bits_.Get(kCBits));
        if (count == 0) {
            uint32_t symbol = bits_.Get(kCBits);
            if (symbol >= static_cast<uint32_t>(kNC)) return false;
            literal_.SetSingle(static_cast<uint16_t>(symbol));
            return true;
        }
        if (count > kNC) return false;
        std::array<uint8_t, kNC> lengths{};
        int i = 0;
        while (i < count) {
            if (bits_.Failed()) return false;
            uint16_t symbol = small_.Decode(bits_);
            if (symbol == HuffmanCode::kNone) return false;
            if (symbol <= 2) {
                int zeros = symbol == 0 ? 1 : symbol == 1 ? static_cast<int>(bits_.Get(4)) + 3
                                                           : static_cast<int>(bits_.Get(kCBits)) + 20;
                if (i + zeros > kNC) return false;
                i += zeros;
            } else {
                lengths[i++] = static_cast<uint8_t>(symbol - 2);
            }
        }
        return literal_.Build(lengths.data(), kNC);
    }

    BitReader& bits_;
    uint32_t block_left_ = 0;
    HuffmanCode small_, literal_, distance_;
};

// A number written as `first` bits plus up to (`last` - `first`) leading
// one bits, each widening it by one bit.
uint32_t ReadFastNumber(BitReader& bits, int first, int last) {
    uint32_t base = 0;
    int width = first;
    for (; width < last; ++width) {
        if (bits.Get(1) == 0) break;
        base += 1u << width;
    }
    return base + bits.Get(width);
}

DecodeResult RunFast(BitReader& bits, Window& window) {
    while (!window.Done()) {
        if (window.Stopped()) return DecodeResult::Stopped;
        if (bits.Failed()) return bits.ReadError() ? DecodeResult::ReadError : DecodeResult::BadData;
        uint32_t length = ReadFastNumber(bits, 0, 7);
        if (length == 0) {
            window.Put(static_cast<unsigned char>(bits.Get(8)));
            continue;
        }
        uint32_t distance = ReadFastNumber(bits, 9, 13);
        if (!window.Copy(distance, length - 1 + kThreshold)) return DecodeResult::BadData;
    }
    if (bits.ReadError()) return DecodeResult::ReadError;
    return window.Flush() ? DecodeResult::Ok : DecodeResult::Stopped;
}

}  // namespace

DecodeResult Decode(int method, uint64_t original_size, const DecoderInput& input, const DecoderOutput& output) {
    if (method < 1 || method > 4) return DecodeResult::BadData;
    BitReader bits(input);
    Window window(original_size, output);
    if (method == 4) return RunFast(bits, window);
    auto decoder = std::make_unique<HuffmanDecoder>(bits);
    return decoder->Run(window);
}

}  // namespace archivers::arj
