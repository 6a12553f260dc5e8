// The component keys (q, vertex set) of a filtration, with their births and the
// records of the keys that die.
#pragma once

#include "core.hpp"
#include "hash_index.hpp"
#include "persistence_records.hpp"

namespace korvane {

// Several classes can carry one key, so each key counts its classes. A key is
// born when its count leaves 0 within a step and dies when a step ends with it
// back at 0; a key born and gone within one step leaves no record. Top keys
// are those of the highest level, which never die: they are kept apart,
// without a count or an index.
class ComponentKeys {
 public:
  // Keys over the dense vertices 0 .. vertex_count-1.
  ComponentKeys(std::size_t vertex_count, Ticker& tick);

  // Room for `keys` live keys holding `ids` vertices in all.
  void reserve(std::size_t keys, std::size_t ids);

  // A commutative set hash: the sum of a fixed 64-bit value per vertex.
  std::uint64_t vertex_hash(index_t x) const { return vertex_hash_[x]; }
  std::uint64_t set_hash(const index_t* begin, const index_t* end) const {
    std::uint64_t hash = 0;
    for (const index_t* x = begin; x != end; ++x) hash += vertex_hash_[*x];
    return hash;
  }

  // The key (q, [begin, end)), `hash` being the set hash of that ascending
  // list: an existing one or a new one, born at `weight`. Takes no count.
  index_t find_or_create(index_t q, std::uint64_t hash, const index_t* begin, const index_t* end, double weight);
  void acquire(index_t k) { touch(k), ++keys_[k].count; }
  void release(index_t k) { touch(k), --keys_[k].count; }

  // The key of a class made of the classes that carried `old_keys` (one entry
  // per class) and of `extra` vertices: the union of their sets. Takes a count
  // of it and gives back those of the old keys; reuses the old key when one
  // class gained no vertex. Both lists are used as scratch.
  index_t merged(index_t q, std::vector<index_t>& old_keys, std::vector<index_t>& extra, double weight);

  // A key of the top level (above every counted key), born at `weight`, that
  // lives to the end. The ascending list [begin, end) has `top_width` vertices.
  void add_top(index_t q, const index_t* begin, const index_t* end, double weight);

  const index_t* begin(index_t k) const { return arena_.data() + keys_[k].start; }
  const index_t* end(index_t k) const { return begin(k) + keys_[k].length; }

  void begin_step() { ++step_; }
  // Appends the records of the keys that died at `weight`, by q and then vertex list.
  void close_step(double weight, PersistenceRecords& records);
  // The keys still alive, dying at `weight`, in the same order.
  void finish(double weight, PersistenceRecords& records);

 private:
  struct Key {
    std::uint64_t hash;  // set hash of the vertices
    std::size_t start;   // the set is arena_[start .. start + length), ascending
    index_t length;
    index_t level;  // q, or none for a free slot
    index_t count;
    index_t count_before;  // count when the current step first touched it
    std::uint64_t touched_step;
    double birth;
  };

  index_t find(index_t q, std::uint64_t hash, const index_t* begin, const index_t* end) const;
  index_t create(index_t q, std::uint64_t hash, std::size_t start, std::size_t length, double weight);
  void touch(index_t k);
  void remove(index_t k);
  bool less(index_t a, index_t b) const;
  void sort_keys(std::vector<index_t>& ks);
  void emit(index_t k, double death, PersistenceRecords& records) const;
  void emit_top(index_t t, double death, PersistenceRecords& records) const;
  std::vector<index_t> sorted_tops() const;
  void compact_arena();

  Ticker& tick_;
  std::vector<std::uint64_t> vertex_hash_;

  std::vector<Key> keys_;
  std::vector<index_t> free_keys_;
  HashIndex index_;
  std::vector<index_t> arena_;
  std::size_t live_length_ = 0;  // total length of the live keys' sets

  index_t top_level_ = 0;
  std::size_t top_width_ = 0;
  std::vector<index_t> top_vertices_;  // top key t is top_vertices_[t * top_width_ ..]
  std::vector<double> top_birth_;

  std::vector<std::uint32_t> mark_;  // by vertex: stamp_ while merged() reads a short base
  std::uint32_t stamp_ = 0;

  std::uint64_t step_ = 0;
  std::vector<index_t> touched_;
  std::vector<index_t> dying_;
  struct Sortable {
    index_t level;
    index_t first;  // the smallest vertex
    index_t key;
  };
  std::vector<Sortable> sortable_;
};

}  // namespace korvane
