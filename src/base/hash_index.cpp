#include "hash_index.hpp"

#include <algorithm>

namespace korvane {

void HashIndex::insert(std::uint64_t hash, index_t value) {
  if (2 * (size_ + 1) > slots_.size()) rehash(std::max<std::size_t>(16, 2 * slots_.size()));
  std::size_t i = hash & mask_;
  while (slots_[i].value != none) i = (i + 1) & mask_;
  slots_[i] = Slot{hash, value};
  ++size_;
}

// Backward-shift deletion: every later entry of the probe run that may sit in
// the freed slot (its home is not cyclically inside (hole, entry]) moves into it.
void HashIndex::erase(std::uint64_t hash, index_t value) {
  std::size_t hole = hash & mask_;
  while (slots_[hole].value != value || slots_[hole].hash != hash) hole = (hole + 1) & mask_;
  for (std::size_t j = (hole + 1) & mask_; slots_[j].value != none; j = (j + 1) & mask_) {
    const std::size_t home = slots_[j].hash & mask_;
    const bool stays = hole <= j ? (hole < home && home <= j) : (hole < home || home <= j);
    if (!stays) {
      slots_[hole] = slots_[j];
      hole = j;
    }
  }
  slots_[hole].value = none;
  --size_;
}

void HashIndex::reserve(std::size_t count) {
  std::size_t slot_count = std::max<std::size_t>(16, slots_.size());
  while (slot_count < 2 * count) slot_count *= 2;
  if (slot_count > slots_.size()) rehash(slot_count);
}

void HashIndex::rehash(std::size_t slot_count) {
  std::vector<Slot> old(slot_count, Slot{0, none});
  old.swap(slots_);
  mask_ = slot_count - 1;
  for (const Slot& slot : old) {
    if (slot.value == none) continue;
    std::size_t i = slot.hash & mask_;
    while (slots_[i].value != none) i = (i + 1) & mask_;
    slots_[i] = slot;
  }
}

}  // namespace korvane
