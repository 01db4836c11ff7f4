// The LZH decoder: one self-contained stream (a 4-byte little-endian decoded
// length, then an adaptive-Huffman LZSS bit stream over a 4096-byte window)
// is decoded from one memory block into another. docs/lzh-format.md
// describes the stream.
#ifndef SFX_CODEC_LZH_DECODER_H_
#define SFX_CODEC_LZH_DECODER_H_

#include <cstdint>
#include <functional>

#include "platform/exception.h"

namespace sfx {

// Raised by the codec: the working state cannot be allocated or released,
// or the stream would produce more bytes than the target holds.
class ElzhException : public Exception {
 public:
  using Exception::Exception;
};

// Copies up to `requested` bytes into `buffer` and reports how many in
// `delivered` (0 at the end of the source).
using TLzhReadProc = std::function<void(
    std::uint8_t* buffer, std::uint16_t requested, std::uint16_t& delivered)>;
// Takes `count` bytes and reports how many it took in `written`.
using TLzhWriteProc = std::function<void(
    const std::uint8_t* buffer, std::uint16_t count, std::uint16_t& written)>;

// The core decoder over a byte source and a byte sink. Decodes one stream
// whole; bits missing at the end of the source read as zero. The source is
// asked for the 4-byte length field, then for pieces of up to 1024 bytes
// (it may deliver fewer; what it delivers past the stream's end is
// ignored); the sink gets the output in pieces of up to 4096 bytes.
// Raises ElzhException when the sink takes fewer bytes than it is given
// (which is how a sink stops a stream that would overrun it).
void LzhDecode(const TLzhReadProc& read_proc, const TLzhWriteProc& write_proc);

// Decodes the stream in `source` (`source_length` bytes) into `target`,
// which holds `target_capacity` bytes, and returns the produced length.
// Fewer than 4 source bytes, or a length field of 0 or below, produce
// nothing. Raises ElzhException when the stream would write past
// `target_capacity`; nothing beyond it is ever written, but bytes between
// the produced length and the capacity may be overwritten.
std::int32_t LzhDecodeBuffer(const std::uint8_t* source,
                             std::uint32_t source_length, std::uint8_t* target,
                             std::uint32_t target_capacity);

}  // namespace sfx

#endif  // SFX_CODEC_LZH_DECODER_H_
