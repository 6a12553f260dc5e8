// The component keys (q, vertex set) of a filtration, with their births and the
// records of the keys that die.
#pragma once

#include "core.hpp"
#include "hash_index.hpp"
#include "key_sets.hpp"
#include "persistence_records.hpp"

namespace korvane {

// Several classes can carry one key, so each key counts its classes. A key is
// born when its count leaves 0 within a step and dies when a step ends with it
// back at 0; a key born and gone within one step leaves no record. Top keys
// are those of the highest level, which never die: they are kept apart,
// without a count or an index.
//
// The records go either to a list of records, each with its whole vertex list,
// or to a community tree, each record with the earlier records it grew from and
// the vertices it adds to them.
class ComponentKeys {
 public:
  // Keys over the dense vertices 0 .. vertex_count-1.
  ComponentKeys(std::size_t vertex_count, PersistenceRecords& records);
  ComponentKeys(std::size_t vertex_count, CommunityTree& tree);

  // Room for `keys` live keys.
  void reserve(std::size_t keys);

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
  // class gained no vertex. `old_keys` is used as scratch.
  index_t merged(index_t q, std::vector<index_t>& old_keys, const std::vector<index_t>& extra, double weight);

  // A key of the top level (above every counted key), born at `weight`, that
  // lives to the end. Every top key has the same q and as many vertices.
  void add_top(index_t q, const index_t* begin, const index_t* end, double weight);

  // A step adds one edge, or with grouped ties every edge of one weight.
  void begin_step() { ++step_; }
  // Records the keys that died at `weight` (in a list: by q and then vertex list).
  void close_step(double weight);
  // The keys still alive die at `weight` (in a list: in the same order).
  void finish(double weight);

 private:
  struct Key {
    std::uint64_t hash;  // set hash of the vertices, which sets_ keeps
    index_t length;
    index_t level;  // q, or none for a free slot
    index_t count;
    index_t count_before;  // count when the current step first touched it
    std::uint64_t touched_step;
    double birth;
    index_t record;  // in a tree: its record, once the step that made it has closed
    index_t born;    // in a tree: its entry in born_ during the step that made it
  };

  template <class Member>
  index_t find(index_t q, std::uint64_t hash, std::size_t length, Member&& member,
               const index_t* sorted = nullptr) const;
  index_t create(index_t q, std::uint64_t hash, std::size_t length, double weight);
  void touch(index_t k);
  void remove(index_t k);
  void next_stamps();

  // Records of a list (key_listing.cpp).
  void list_sorted(const std::vector<index_t>& ks);
  void emit(index_t k, const index_t* begin, const index_t* end, double death);
  void emit_top(index_t t, double death);
  std::vector<index_t> sorted_tops();
  void close_listed_step(double weight);
  void finish_list(double weight);

  // Records of a tree (key_tree.cpp).
  void note_birth(index_t k, const index_t* parents_begin, const index_t* parents_end, const index_t* added_begin,
                  const index_t* added_end);
  void resolve_births();
  void close_tree_step(double weight);

  Ticker tick_;
  PersistenceRecords* records_ = nullptr;
  CommunityTree* tree_ = nullptr;
  std::vector<std::uint64_t> vertex_hash_;

  std::vector<Key> keys_;
  std::vector<index_t> free_keys_;
  HashIndex index_;
  KeySets sets_;

  index_t top_level_ = 0;
  std::size_t top_width_ = 0;
  std::vector<index_t> top_vertices_;  // in a list: top key t is top_vertices_[t * top_width_ ..]
  std::vector<double> top_birth_;

  std::vector<std::uint32_t> mark_;  // by vertex, for merged()
  std::uint32_t stamp_ = 0;
  std::vector<index_t> fresh_;  // what a merge adds to its base
  std::vector<index_t> added_;  // what it adds to all its old keys

  std::uint64_t step_ = 0;
  std::vector<index_t> touched_;
  std::vector<index_t> dying_;

  // A list's scratch: the keys being listed, in order, with their sets.
  struct Listed {
    index_t level;
    index_t first;     // the smallest vertex
    index_t position;  // in the keys being listed
    const index_t* begin;
    const index_t* end;
  };
  std::vector<Listed> listed_;
  std::vector<index_t> listed_merged_;

  // A tree's scratch of one step: per key made in it, in order, the keys it
  // was made of and the vertices it added, as given and then with the keys
  // gone within the step replaced by what they were made of.
  std::vector<index_t> born_;
  Groups<index_t> born_parents_;
  Groups<index_t> born_added_;
  Groups<index_t> resolved_parents_;
  Groups<index_t> resolved_added_;
};

}  // namespace korvane
