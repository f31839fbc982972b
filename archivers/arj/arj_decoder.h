// The two compressions an ARJ archive uses: LZ77 with Huffman codes (methods
// 1 to 3 share one decoder) and the simpler "fast" method 4. Nothing but the
// C++ runtime: the caller hands in the compressed bytes and takes the output.
#ifndef KELVORA_ARCHIVERS_ARJ_DECODER_H
#define KELVORA_ARCHIVERS_ARJ_DECODER_H

#include <cstddef>
#include <cstdint>
#include <functional>

namespace archivers::arj {

enum class DecodeResult {
    Ok,
    BadData,    // the stream cannot be decoded: bad code tables, distances, or it runs out
    ReadError,  // the input said it could not read
    Stopped,    // the output asked to stop
};

// Fills `buffer` with up to `room` of the next compressed bytes: how many, 0
// at the end of the compressed data, negative when reading failed.
using DecoderInput = std::function<long(unsigned char* buffer, size_t room)>;
// Takes the next decoded bytes; false stops decoding.
using DecoderOutput = std::function<bool(const unsigned char* data, size_t size)>;

// Decodes exactly `original_size` bytes with `method` (1 to 4).
DecodeResult Decode(int method, uint64_t original_size, const DecoderInput& input, const DecoderOutput& output);

}  // namespace archivers::arj

#endif
