// Decode-ahead for the installer's copy loop: while the caller writes one
// file, two worker threads read the package's next blocks in turn, across
// entry boundaries, and decode them in parallel into a bounded ring.
// Entries, blocks and failures reach the caller in package order, each at
// the entry it belongs to, so the copy loop writes, fails and reports as it
// does reading in place.
// See docs/architecture.md, "Decode-ahead".
#ifndef SFX_CODEC_DECODE_AHEAD_H_
#define SFX_CODEC_DECODE_AHEAD_H_

#include <cstddef>
#include <cstdint>
#include <memory>

#include "codec/file_entry.h"
#include "platform/platform.h"

namespace sfx {

// Blocks decoded ahead at most, the one being written included, shared
// evenly by the workers; each holds one buffer of kMaxBlockBufferSize bytes,
// and each worker one more for the packed block it decodes. A long ring
// lets the workers run ahead while the copy loop waits on the system for
// small files, and decode what follows them in that time.
constexpr std::size_t kAheadBlocks = 64;

// The source of the next `entry_count` entries of `package` (positioned at
// the first). On a machine with more than one processor, two worker
// threads (one when `blocks` is 1) decode up to `blocks` blocks ahead; with
// one processor, or when a thread cannot be started, the package is read in
// place (PackageEntrySource). While the source lives, nothing else may use
// `package`; destroying it stops the workers.
std::unique_ptr<EntrySource> OpenEntrySource(File& package,
                                             std::uint32_t entry_count,
                                             std::size_t blocks = kAheadBlocks);

}  // namespace sfx

#endif  // SFX_CODEC_DECODE_AHEAD_H_
