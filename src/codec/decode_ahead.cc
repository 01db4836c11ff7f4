// The workers and the ring of decode-ahead (decode_ahead.h). Each worker
// owns a lane: a fixed share of the ring's slots, shared with the consumer
// (the copy loop) through two counts, one of the free slots and one of the
// filled ones; a slot belongs to exactly one side at a time, so the slots
// themselves need no lock. The package is read by one worker at a time: a
// turn passes from lane to lane after each packed block that is read,
// before it is decoded, so blocks are decoded in parallel but read in
// package order, and the consumer, passing from lane to lane after each
// packed block in the same way, takes every part in package order.
#include "codec/decode_ahead.h"

#include <atomic>
#include <utility>

#include "base/vector.h"

namespace sfx {
namespace {

constexpr std::size_t kMaxWorkers = 2;

// A count that one thread raises and another lowers, waiting while it is
// not above zero. The count is an atomic, and the system's semaphore is
// entered only to sleep and to wake the sleeper. The raising side wakes a
// sleeper only once `batch` raises have gathered, or before it sleeps
// itself, or when it ends (Flush): under Wine each such call goes through
// its server and waits for the scheduler, so a steady flow costs one wake
// per batch rather than one per block.
class Count {
 public:
  bool Create(int initial, int batch) {
    count_ = initial;
    batch_ = batch;
    return (sleepers_ = Os().CreateSemaphore(0)) != nullptr;
  }
  // Lowers the count; false when it was not above zero, and the caller
  // must then Sleep, once it has flushed the counts it raises.
  bool Lower() { return count_.fetch_sub(1) > 0; }
  void Sleep() { sleepers_->Wait(); }
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
  std::atomic<int> count_{0};
  int batch_ = 1;
  int owed_ = 0;  // the raising side's: raises since the other slept
  std::unique_ptr<Semaphore> sleepers_;
};

// A block's worth of bytes, allocated on first use and never cleared: a
// block fills only as much of it as it holds (at most 65000 bytes from our
// builder, half of kMaxBlockBufferSize), so the pages past that are never
// touched and never take memory.
class Buffer {
 public:
  std::uint8_t* Get() {
    if (!bytes_) bytes_.reset(new std::uint8_t[kMaxBlockBufferSize]);
    return bytes_.get();
  }

 private:
  std::unique_ptr<std::uint8_t[]> bytes_;
};

// What a worker hands over: an entry's name, header and table, or the
// result of one of its blocks.
struct Slot {
  bool entry_read = false;  // an entry: its parts could be read
  PackedFileEntry entry;
  BlockRead read = BlockRead::kOk;  // a block
  bool passed = true;  // the package is past the block, as a skip leaves it
  const std::uint8_t* data = nullptr;
  std::uint32_t length = 0;
  Buffer buffer;  // the block as stored, or decoded
};

class DecodeAhead;

// One worker's share: its slots, its counts and its turn to read.
struct Lane {
  DecodeAhead* owner = nullptr;
  Slot* slots = nullptr;  // its share of the ring
  std::size_t head = 0;   // the worker's
  std::size_t tail = 0;   // the consumer's
  Count free;
  Count filled;
  Count turn;    // raised by the previous lane's worker
  Buffer input;  // a packed block as read, until decoded
  std::unique_ptr<Thread> thread;
};

class DecodeAhead : public EntrySource {
 public:
  DecodeAhead(File& package, std::uint32_t entry_count)
      : package_(package),
        entry_count_(entry_count),
        entries_left_(entry_count) {}
  ~DecodeAhead() override {
    stop_ = true;
    for (std::size_t i = 0; i < workers_; ++i) {
      lanes_[i].free.Signal();
      lanes_[i].free.Flush();
    }
    for (std::size_t i = 0; i < workers_; ++i) {
      lanes_[i].thread.reset();  // waits for it
    }
  }
  DecodeAhead(const DecodeAhead&) = delete;
  DecodeAhead& operator=(const DecodeAhead&) = delete;

  // Starts `workers` workers sharing `blocks` slots; false when a thread
  // or a semaphore could not be made. The first turn is given only once
  // every worker runs, so that a source that fails to start has not read.
  bool Start(std::size_t workers, std::size_t blocks) {
    workers_ = workers;
    size_ = blocks / workers;
    slots_.resize(size_ * workers);
    const int batch = size_ < 4 ? 1 : static_cast<int>(size_ / 2);
    bool made = true;
    for (std::size_t i = 0; i < workers && made; ++i) {
      Lane& lane = lanes_[i];
      lane.owner = this;
      lane.slots = &slots_[i * size_];
      made = lane.free.Create(static_cast<int>(size_), batch) &&
             lane.filled.Create(0, batch) && lane.turn.Create(0, 1) &&
             (lane.thread = Os().StartThread(&Run, &lane)) != nullptr;
    }
    stop_ = !made;  // the started workers then end at their first turn
    lanes_[0].turn.Signal();
    return made;
  }

  bool NextEntry(PackedFileEntry* entry) override {
    // The workers stop after the last entry and after one they cannot read.
    if (entries_left_ == 0) return false;
    --entries_left_;
    Slot& slot = Take(false);
    if (!slot.entry_read) {
      entries_left_ = 0;
      return false;
    }
    *entry = std::move(slot.entry);
    return true;
  }

  BlockRead NextBlock(const TPackedBlock&, bool packed,
                      const std::uint8_t** data,
                      std::uint32_t* length) override {
    const Slot& slot = Take(packed);
    *data = slot.data;
    *length = slot.length;
    return slot.read;
  }

  bool SkipBlocks(const PackedFileEntry& entry) override {
    bool passed = true;
    for (std::size_t i = 0; i < entry.blocks.size(); ++i) {
      passed = Take(entry.header.Packed != 0).passed && passed;
    }
    return passed;
  }

 private:
  static void Run(void* context) {
    Lane& lane = *static_cast<Lane*>(context);
    DecodeAhead* ahead = lane.owner;
    ahead->Produce(lane);
    lane.filled.Flush();
    // Whichever way it ends, the turn goes on, so that the next worker
    // wakes and ends too.
    ahead->NextLane(lane).turn.Signal();
  }

  Lane& NextLane(Lane& lane) { return lanes_[(&lane - lanes_ + 1) % workers_]; }

  // A worker: in its turns, the package's entries and blocks in order,
  // every block read and then decoded after the turn has passed, whether
  // the copy loop will write the entry or pass over it. A failure travels
  // in its slot; only an entry that cannot be read ends the walk, as it
  // ends the copy loop.
  void Produce(Lane& lane) {
    for (bool turn = false;;) {
      if (!turn) Wait(lane.turn, lane);
      Slot* slot;
      // The entries up to the next block (the turn's walk state).
      for (;;) {
        if (failed_ ||
            (block_ == entry_.blocks.size() && entries_read_ == entry_count_)) {
          return;
        }
        if (!(slot = Acquire(lane))) return;
        if (block_ < entry_.blocks.size()) break;
        ++entries_read_;
        block_ = 0;
        slot->entry_read = ReadPackedFileEntry(package_, &entry_);
        slot->entry = entry_;
        failed_ = !slot->entry_read;
        Publish(lane);
      }
      const std::uint32_t size = entry_.blocks[block_++].BlockSize;
      const bool packed = entry_.header.Packed != 0;
      // A stored block is read into its slot; a packed one into the
      // lane's input, and decoded into the slot.
      std::uint8_t* input = (packed ? lane.input : slot->buffer).Get();
      slot->read = ReadFileBlock(package_, size, false, input, nullptr,
                                 &slot->data, &slot->length);
      // A block that could not be read is passed over as a skip would,
      // so that the entries after a skipped one are read from the same
      // place as without decode-ahead.
      slot->passed = slot->read != BlockRead::kReadFailed ||
                     package_.Seek(size, File::Origin::kCurrent);
      // A stored block has nothing to decode: the turn stays.
      turn = !packed;
      if (packed) {
        NextLane(lane).turn.Signal();
        if (slot->read == BlockRead::kOk) {
          slot->read = DecodeFileBlock(input, slot->length, slot->buffer.Get(),
                                       &slot->data, &slot->length);
        }
      }
      Publish(lane);
    }
  }

  // Lowers `count` of the worker of `lane`, sleeping if need be.
  static void Wait(Count& count, Lane& lane) {
    if (count.Lower()) return;
    lane.filled.Flush();
    count.Sleep();
  }

  // The worker's next free slot; null once the consumer has gone.
  Slot* Acquire(Lane& lane) {
    Wait(lane.free, lane);
    if (stop_) return nullptr;
    return &lane.slots[lane.head];
  }
  void Publish(Lane& lane) {
    lane.head = (lane.head + 1) % size_;
    lane.filled.Signal();
  }

  // The consumer's next filled slot, an entry's or a block's, the turn
  // having passed after it when `passed`; the one it took before is free
  // again.
  Slot& Take(bool passed) {
    if (held_) held_->free.Signal();
    Lane& lane = lanes_[lane_];
    if (passed) lane_ = (lane_ + 1) % workers_;
    if (!lane.filled.Lower()) {
      for (std::size_t i = 0; i < workers_; ++i) lanes_[i].free.Flush();
      lane.filled.Sleep();
    }
    held_ = &lane;
    Slot& slot = lane.slots[lane.tail];
    lane.tail = (lane.tail + 1) % size_;
    return slot;
  }

  File& package_;
  const std::uint32_t entry_count_;
  std::uint32_t entries_left_;  // the consumer's
  // The walk, the turn's: the entries read, the last one, its next block.
  std::uint32_t entries_read_ = 0;
  PackedFileEntry entry_;
  std::size_t block_ = 0;
  bool failed_ = false;
  std::size_t lane_ = 0;  // the consumer's
  Lane* held_ = nullptr;  // the consumer's
  std::size_t workers_ = 0;
  Vector<Slot> slots_;
  std::size_t size_ = 0;  // a lane's slots
  std::atomic<bool> stop_{false};
  Lane lanes_[kMaxWorkers];
};

}  // namespace

std::unique_ptr<EntrySource> OpenEntrySource(File& package,
                                             std::uint32_t entry_count,
                                             std::size_t blocks) {
  const std::size_t workers = blocks < kMaxWorkers ? blocks : kMaxWorkers;
  if (entry_count > 0 && workers > 0 && Os().ProcessorCount() > 1) {
    std::unique_ptr<DecodeAhead> ahead(new DecodeAhead(package, entry_count));
    if (ahead->Start(workers, blocks)) return ahead;
  }
  return std::unique_ptr<EntrySource>(new PackageEntrySource(package));
}

}  // namespace sfx
