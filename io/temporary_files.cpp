// The record of temporary files a signal must remove. A signal handler may
// only touch lock-free atomics and call async-signal-safe functions, so
// the record is a fixed table of path buffers, each published by a flag.
#include <unistd.h>

#include <atomic>
#include <cstring>

#include "io/io.h"

namespace lczs::io {

namespace {

// A save holds one temporary file and one lock file; a few more leave
// room for a save-as while the book's own lock is held.
constexpr int kSlots = 8;
constexpr std::size_t kPathLimit = 4096;

struct Slot {
  std::atomic<bool> claimed{false};  // owned by a TemporaryFileRecord
  std::atomic<bool> ready{false};    // its path is complete
  char path[kPathLimit] = {};
};

Slot g_slots[kSlots];

}  // namespace

TemporaryFileRecord::TemporaryFileRecord(const std::string& path) : slot_(-1) {
  // A path too long for a slot, or a full table, goes unrecorded: the file
  // is still removed on every other way out, and the next save of the same
  // file removes it after a signal.
  if (path.size() >= kPathLimit) return;
  for (int i = 0; i < kSlots; ++i) {
    bool expected = false;
    if (!g_slots[i].claimed.compare_exchange_strong(expected, true)) continue;
    std::memcpy(g_slots[i].path, path.c_str(), path.size() + 1);
    g_slots[i].ready.store(true);
    slot_ = i;
    return;
  }
}

TemporaryFileRecord::~TemporaryFileRecord() {
  if (slot_ < 0) return;
  g_slots[slot_].ready.store(false);
  g_slots[slot_].claimed.store(false);
}

void remove_recorded_files() noexcept {
  for (Slot& s : g_slots)
    if (s.ready.load()) ::unlink(s.path);
}

}  // namespace lczs::io
