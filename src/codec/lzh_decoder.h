// The LZH decoder: one self-contained stream (a 4-byte little-endian decoded
// length, then an adaptive-Huffman LZSS bit stream over a 4096-byte window)
// is decoded from one memory block into another. docs/lzh-format.md
// describes the stream.
#ifndef SFX_CODEC_LZH_DECODER_H_
#define SFX_CODEC_LZH_DECODER_H_

#include <cstdint>

#include "base/function_ref.h"
#include "base/status.h"

namespace sfx {

// The decoder fails (with the message in its Status) when the working state
// cannot be allocated, the stream would produce more bytes than the target
// holds, or the sink refuses bytes.

// Copies up to `requested` bytes into `buffer` and reports how many in
// `delivered` (0 at the end of the source).
using TLzhReadProc = FunctionRef<void(
    std::uint8_t* buffer, std::uint16_t requested, std::uint16_t& delivered)>;
// Takes `count` bytes and reports how many it took in `written`.
using TLzhWriteProc = FunctionRef<void(
    const std::uint8_t* buffer, std::uint16_t count, std::uint16_t& written)>;

// The core decoder over a byte source and a byte sink. Decodes one stream
// whole; bits missing at the end of the source read as zero. The source is
// asked for the 4-byte length field, then for pieces of up to 1024 bytes
// (it may deliver fewer; what it delivers past the stream's end is
// ignored); the sink gets the output in pieces of up to 4096 bytes.
// Fails when the sink takes fewer bytes than it is given (which is how a
// sink stops a stream that would overrun it); the sink is not called again.
Status LzhDecode(const TLzhReadProc& read_proc,
                 const TLzhWriteProc& write_proc);

// Decodes the stream in `source` (`source_length` bytes) into `target`,
// which holds `target_capacity` bytes, and sets `*produced` to the produced
// length (0 on failure). Fewer than 4 source bytes, or a length field of 0
// or below, produce nothing. Fails when the stream would write past
// `target_capacity`; nothing beyond it is ever written, but bytes between
// the produced length and the capacity may be overwritten.
Status LzhDecodeBuffer(const std::uint8_t* source, std::uint32_t source_length,
                       std::uint8_t* target, std::uint32_t target_capacity,
                       std::int32_t* produced);

}  // namespace sfx

#endif  // SFX_CODEC_LZH_DECODER_H_
