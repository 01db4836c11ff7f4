// The worker and the ring of decode-ahead (decode_ahead.h). One producer
// (the worker) and one consumer (the copy loop) share a fixed ring of
// slots through two counts, one of the free slots and one of the filled
// ones; a slot belongs to exactly one side at a time, so the slots
// themselves need no lock.
#include "codec/decode_ahead.h"

#include <atomic>
#include <utility>

#include "base/vector.h"

namespace sfx {
namespace {

// A count that one thread raises and the other lowers, waiting while it
// is not above zero. The count is an atomic, and the system's semaphore is
// entered only to sleep and to wake the sleeper. The raising side wakes a
// sleeper only once `batch` raises have gathered, or before it sleeps
// itself, or when it ends (Flush): under Wine each such call goes through
// its server and waits for the scheduler, so a steady flow costs one wake
// per batch rather than one per block.
class Count {
 public:
  Count(int initial, int batch) : count_(initial), batch_(batch) {}
  bool Create() { return (sleepers_ = Os().CreateSemaphore(0)) != nullptr; }
  // Lowers the count; before sleeping, wakes the sleeper that this thread
  // owes a wake on `raised` (the count it raises).
  void Wait(Count& raised) {
    if (count_.fetch_sub(1) > 0) return;
    raised.Flush();
    sleepers_->Wait();
  }
  void Signal() {
    if (count_.fetch_add(1) < 0) {
      owed_ = 1;  // the sleeper's own
    } else if (owed_ > 0) {
      ++owed_;
    }
    if (owed_ >= batch_) Flush();
  }
  void Flush() {
    if (owed_ == 0) return;
    owed_ = 0;
    sleepers_->Signal();
  }

 private:
  std::atomic<int> count_;
  const int batch_;
  int owed_ = 0;  // the raising side's: raises since the other slept
  std::unique_ptr<Semaphore> sleepers_;
};

// What the worker hands over: an entry's name, header and table, or the
// result of one of its blocks.
struct Slot {
  bool entry_read = false;  // an entry: its parts could be read
  PackedFileEntry entry;
  BlockRead read = BlockRead::kOk;  // a block
  bool passed = true;  // the package is past the block, as a skip leaves it
  const std::uint8_t* data = nullptr;
  std::uint32_t length = 0;
  Vector<std::uint8_t> buffers;  // input, then output
};

class DecodeAhead : public EntrySource {
 public:
  DecodeAhead(File& package, std::uint32_t entry_count, std::size_t blocks)
      : package_(package),
        entry_count_(entry_count),
        entries_left_(entry_count),
        slots_(blocks),
        free_(static_cast<int>(blocks), Batch(blocks)),
        filled_(0, Batch(blocks)) {}
  ~DecodeAhead() override {
    if (!worker_) return;
    stop_ = true;
    free_.Signal();
    free_.Flush();
    worker_.reset();  // waits for it
  }
  DecodeAhead(const DecodeAhead&) = delete;
  DecodeAhead& operator=(const DecodeAhead&) = delete;

  bool Start() {
    if (free_.Create() && filled_.Create()) {
      worker_ = Os().StartThread(&Run, this);
    }
    return worker_ != nullptr;
  }

  bool NextEntry(PackedFileEntry* entry) override {
    // The worker stops after the last entry and after one it cannot read.
    if (entries_left_ == 0) return false;
    --entries_left_;
    Slot& slot = Take();
    if (!slot.entry_read) {
      entries_left_ = 0;
      return false;
    }
    *entry = std::move(slot.entry);
    return true;
  }

  BlockRead NextBlock(const TPackedBlock&, bool, const std::uint8_t** data,
                      std::uint32_t* length) override {
    const Slot& slot = Take();
    *data = slot.data;
    *length = slot.length;
    return slot.read;
  }

  bool SkipBlocks(const PackedFileEntry& entry) override {
    bool passed = true;
    for (std::size_t i = 0; i < entry.blocks.size(); ++i) {
      passed = Take().passed && passed;
    }
    return passed;
  }

 private:
  static int Batch(std::size_t blocks) {
    return blocks < 4 ? 1 : static_cast<int>(blocks / 2);
  }

  static void Run(void* self) {
    DecodeAhead* ahead = static_cast<DecodeAhead*>(self);
    ahead->Produce();
    ahead->filled_.Flush();
  }

  // The worker: every entry in order, every block of it read and decoded,
  // whether the copy loop will write the entry or pass over it. A failure
  // travels in its slot; only an entry that cannot be read ends the walk,
  // as it ends the copy loop.
  void Produce() {
    for (std::uint32_t i = 0; i < entry_count_; ++i) {
      Slot* slot = Acquire();
      if (!slot) return;
      PackedFileEntry entry;
      slot->entry_read = ReadPackedFileEntry(package_, &entry);
      slot->entry = entry;
      const bool read = slot->entry_read;
      Publish();
      if (!read) return;
      for (const TPackedBlock& block : entry.blocks) {
        if (!(slot = Acquire())) return;
        slot->buffers.resize(2 * kMaxBlockBufferSize);
        std::uint8_t* input = slot->buffers.data();
        slot->read = ReadFileBlock(
            package_, block.BlockSize, entry.header.Packed != 0, input,
            input + kMaxBlockBufferSize, &slot->data, &slot->length);
        // A block that could not be read is passed over as a skip would,
        // so that the entries after a skipped one are read from the same
        // place as without decode-ahead.
        slot->passed = slot->read != BlockRead::kReadFailed ||
                       package_.Seek(block.BlockSize, File::Origin::kCurrent);
        Publish();
      }
    }
  }

  // The worker's next free slot; null once the consumer has gone.
  Slot* Acquire() {
    free_.Wait(filled_);
    if (stop_) return nullptr;
    return &slots_[head_];
  }
  void Publish() {
    head_ = (head_ + 1) % slots_.size();
    filled_.Signal();
  }

  // The consumer's next filled slot; the one it took before is free again.
  Slot& Take() {
    if (holding_) free_.Signal();
    holding_ = true;
    filled_.Wait(free_);
    Slot& slot = slots_[tail_];
    tail_ = (tail_ + 1) % slots_.size();
    return slot;
  }

  File& package_;
  const std::uint32_t entry_count_;
  std::uint32_t entries_left_;  // the consumer's
  Vector<Slot> slots_;
  std::size_t head_ = 0;  // the worker's
  std::size_t tail_ = 0;  // the consumer's
  bool holding_ = false;  // the consumer's
  std::atomic<bool> stop_{false};
  Count free_;
  Count filled_;
  std::unique_ptr<Thread> worker_;
};

}  // namespace

std::unique_ptr<EntrySource> OpenEntrySource(File& package,
                                             std::uint32_t entry_count,
                                             std::size_t blocks) {
  if (entry_count > 0 && blocks > 0 && Os().ProcessorCount() > 1) {
    std::unique_ptr<DecodeAhead> ahead(
        new DecodeAhead(package, entry_count, blocks));
    if (ahead->Start()) return ahead;
  }
  return std::unique_ptr<EntrySource>(new PackageEntrySource(package));
}

}  // namespace sfx
