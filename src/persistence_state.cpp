#include "persistence_state.hpp"

#include <algorithm>
#include <limits>
#include <numeric>
#include <stdexcept>

#include "maximal_cliques.hpp"

namespace korvane {

PersistentLevels::PersistentLevels(const std::vector<vertex_t>& ids,
                                   const std::vector<std::pair<index_t, index_t>>& edges,
                                   std::optional<std::uint64_t> size_cap)
    : size_cap_(size_cap.value_or(std::numeric_limits<std::uint64_t>::max())),
      keys_(ids, tick_),
      graph_(ids.size(), edges) {
  const std::size_t n = ids.size();
  present_.assign(n, 0);
  scratch_mark_.assign(n, none);
  singleton_facet_.assign(n, none);
}

// ---- Graph ----

void PersistentLevels::add_vertex(index_t x, double weight) {
  if (present_[x]) return;
  present_[x] = 1;
  const index_t key = keys_.find_or_create(0, keys_.vertex_hash(x), &x, &x + 1, weight);
  keys_.acquire(key);
  if (size_cap_ == 1) return;  // level 0 is the only level: every vertex alone
  const index_t facet = add_facet(&x, &x + 1);
  singleton_facet_[x] = facet;
  class_key_[node(facet, 0)] = key;
}

// The new facets of edge (u, v) are {u, v} + K for the maximal cliques K (the
// cores) of the subgraph induced by C, or {u, v} alone when C is empty.
void PersistentLevels::find_cores() {
  cores_.starts.assign(1, 0);
  cores_.items.clear();
  if (common_.size() <= 1) {
    if (!common_.empty()) cores_.items.push_back(0);
    cores_.close_group();
    return;
  }
  for_each_maximal_clique(common_graph_, tick_, [&](const std::vector<index_t>& core) {
    cores_.items.insert(cores_.items.end(), core.begin(), core.end());
    cores_.close_group();
  });
}

// A facet of the graph (before the edge (u, v) joins it) that holds `first` and
// the core: the clique is grown greedily to a maximal one, which is a facet.
index_t PersistentLevels::facet_containing(index_t first, const index_t* core_begin, const index_t* core_end) {
  if (core_begin == core_end) return singleton_facet_[first];
  clique_.assign(1, first);
  for (const index_t* c = core_begin; c != core_end; ++c) clique_.push_back(common_[*c]);
  const index_t scanned = *std::min_element(clique_.begin(), clique_.end(),
                                            [&](index_t a, index_t b) { return degree(a) < degree(b); });
  const index_t others = static_cast<index_t>(clique_.size() - 1);
  std::size_t scan_cost = 0;
  for (const index_t y : clique_)
    if (y != scanned) scan_cost += degree(y);
  extension_.clear();
  if (scan_cost <= 4 * std::size_t{degree(scanned)} * others) {
    // Count, for every vertex, how many of the other clique vertices it neighbours.
    for (const index_t y : clique_) {
      if (y == scanned) continue;
      for (const index_t* p = neighbours_begin(y); p != neighbours_end(y); ++p) {
        if (scratch_mark_[*p] == none) {
          scratch_mark_[*p] = 0;
          marked_.push_back(*p);
        }
        ++scratch_mark_[*p];
      }
    }
    for (const index_t* p = neighbours_begin(scanned); p != neighbours_end(scanned); ++p)
      if (scratch_mark_[*p] == others) extension_.push_back(*p);
    for (const index_t p : marked_) scratch_mark_[p] = none;
    marked_.clear();
    tick_(scan_cost);
  } else {
    for (const index_t* p = neighbours_begin(scanned); p != neighbours_end(scanned); ++p) {
      const bool joins = std::all_of(clique_.begin(), clique_.end(),
                                     [&](index_t y) { return y == scanned || adjacent(*p, y); });
      if (joins) extension_.push_back(*p);
    }
    tick_(std::size_t{degree(scanned)} * others);
  }
  while (!extension_.empty()) {
    const index_t p = extension_.back();
    extension_.pop_back();
    clique_.push_back(p);
    if (degree(p) <= 4 * extension_.size()) {
      for (const index_t* r = neighbours_begin(p); r != neighbours_end(p); ++r) scratch_mark_[*r] = 0;
      const auto off = [&](index_t r) { return scratch_mark_[r] == none; };
      extension_.erase(std::remove_if(extension_.begin(), extension_.end(), off), extension_.end());
      for (const index_t* r = neighbours_begin(p); r != neighbours_end(p); ++r) scratch_mark_[*r] = none;
      tick_(degree(p));
    } else {
      const auto off = [&](index_t r) { return !adjacent(r, p); };
      extension_.erase(std::remove_if(extension_.begin(), extension_.end(), off), extension_.end());
      tick_(extension_.size());
    }
  }
  return registered_facet();
}

// With a size cap S, the top level q = S-1 lists every S-clique alone; the new
// ones are {u, v} + each (S-2)-clique of the subgraph induced by C.
void PersistentLevels::add_top_cliques(index_t u, index_t v, double weight) {
  const std::uint64_t needed = size_cap_ - 2;
  if (needed > common_.size()) return;
  if (needed == 0) {
    top_clique_.clear();
    extend_top_clique(0, 0, u, v, weight);
    return;
  }
  if (candidates_by_depth_.size() < needed) candidates_by_depth_.resize(needed);
  std::vector<index_t>& all = candidates_by_depth_[0];
  all.resize(common_.size());
  std::iota(all.begin(), all.end(), index_t{0});
  top_clique_.clear();
  extend_top_clique(0, needed, u, v, weight);
}

// Extends top_clique_ (positions in C, ascending) by the candidates at `depth`,
// each a common neighbour of the clique so far, and keys every clique that
// reaches `needed` vertices.
void PersistentLevels::extend_top_clique(std::size_t depth, std::size_t needed, index_t u, index_t v, double weight) {
  if (top_clique_.size() == needed) {
    members_.assign({u, v});
    for (const index_t a : top_clique_) members_.push_back(common_[a]);
    std::sort(members_.begin(), members_.end());
    keys_.add_top(static_cast<index_t>(size_cap_ - 1), members_.data(), members_.data() + members_.size(), weight);
    tick_(needed + 2);
    return;
  }
  const std::vector<index_t>& candidates = candidates_by_depth_[depth];
  for (std::size_t i = 0; i < candidates.size() && top_clique_.size() + (candidates.size() - i) >= needed; ++i) {
    const index_t a = candidates[i];
    top_clique_.push_back(a);
    if (top_clique_.size() < needed) {
      std::vector<index_t>& next = candidates_by_depth_[depth + 1];
      next.clear();
      std::set_intersection(candidates.begin() + static_cast<std::ptrdiff_t>(i) + 1, candidates.end(),
                            common_graph_.neighbours_begin(a), common_graph_.neighbours_end(a),
                            std::back_inserter(next));
      tick_(candidates.size() - i);
    }
    extend_top_clique(depth + 1, needed, u, v, weight);
    top_clique_.pop_back();
  }
}

// Links into the old classes, found before the edge joins the graph. At a
// level q <= |K| the new facet {u, v} + K meets exactly the old classes of
// {u} + K and {v} + K; they coincide below q = |K|, as both hold K. The links
// are searched core by core, or, when the cores' vertices are busy enough to
// pay for it, on bitsets over N(u) + N(v) built once for the edge.
void PersistentLevels::link_cores(index_t u, index_t v) {
  const std::size_t core_count = cores_.size();
  link_u_.assign(core_count, none);
  link_v_.assign(core_count, none);
  std::size_t core_cost = 0;
  for (const index_t c : cores_.items) core_cost += 2 * std::size_t{degree(common_[c])};
  // Building the rows reads every neighbour list of N(u) + N(v); stop
  // counting once that outweighs the core-by-core search.
  bool on_bitsets = core_cost > 0;
  std::size_t around_cost = 0;
  for (const index_t x : {u, v}) {
    for (const index_t* z = neighbours_begin(x); on_bitsets && z != neighbours_end(x); ++z) {
      around_cost += degree(*z);
      on_bitsets = around_cost <= 2 * core_cost;
    }
  }
  if (on_bitsets) build_around(u, v);
  for (std::size_t i = 0; i < core_count; ++i) {
    const bool v_needed = cores_.length(i) + 2 <= size_cap_;
    if (on_bitsets) {
      link_u_[i] = facet_around(u, cores_.begin(i), cores_.end(i));
      if (v_needed) link_v_[i] = facet_around(v, cores_.begin(i), cores_.end(i));
    } else {
      link_u_[i] = facet_containing(u, cores_.begin(i), cores_.end(i));
      if (v_needed) link_v_[i] = facet_containing(v, cores_.begin(i), cores_.end(i));
    }
  }
  if (on_bitsets)
    for (const index_t z : around_) scratch_mark_[z] = none;
}

// Z = N(u) + N(v) on local ids, each with its row of neighbours in Z.
void PersistentLevels::build_around(index_t u, index_t v) {
  around_.clear();
  for (const index_t x : {u, v})
    for (const index_t* z = neighbours_begin(x); z != neighbours_end(x); ++z)
      if (scratch_mark_[*z] == none) {
        scratch_mark_[*z] = static_cast<index_t>(around_.size());
        around_.push_back(*z);
      }
  const std::size_t size = around_.size();
  around_words_ = (size + 63) / 64;
  around_rows_.assign((size + 2) * around_words_, 0);  // rows of Z, then N(u) and N(v)
  for (std::size_t l = 0; l < size; ++l) {
    const index_t z = around_[l];
    word_t* row = around_row(l);
    if (degree(z) <= 4 * size) {
      for (const index_t* r = neighbours_begin(z); r != neighbours_end(z); ++r)
        if (scratch_mark_[*r] != none) row[scratch_mark_[*r] / 64] |= word_t{1} << (scratch_mark_[*r] % 64);
      tick_(degree(z));
    } else {
      for (std::size_t m = 0; m < size; ++m)
        if (adjacent(z, around_[m])) row[m / 64] |= word_t{1} << (m % 64);
      tick_(size);
    }
  }
  for (std::size_t side = 0; side < 2; ++side) {
    const index_t x = side == 0 ? u : v;
    word_t* row = around_row(size + side);
    for (const index_t* z = neighbours_begin(x); z != neighbours_end(x); ++z)
      row[scratch_mark_[*z] / 64] |= word_t{1} << (scratch_mark_[*z] % 64);
  }
}

// A facet holding `first` (u or v) and a non-empty core, found like
// facet_containing but by intersecting rows.
index_t PersistentLevels::facet_around(index_t first, const index_t* core_begin, const index_t* core_end) {
  if (core_begin == core_end) return singleton_facet_[first];
  const std::size_t size = around_.size();
  around_candidates_.assign(around_row(first == step_v_ ? size + 1 : size),
                            around_row(first == step_v_ ? size + 1 : size) + around_words_);
  clique_.assign(1, first);
  for (const index_t* c = core_begin; c != core_end; ++c) {
    clique_.push_back(common_[*c]);
    const word_t* row = around_row(scratch_mark_[common_[*c]]);
    for (std::size_t w = 0; w < around_words_; ++w) around_candidates_[w] &= row[w];
  }
  for (std::size_t w = 0; w < around_words_; ++w) {
    while (around_candidates_[w] != 0) {
      const std::size_t l = 64 * w + lowest_bit(around_candidates_[w]);
      clique_.push_back(around_[l]);
      const word_t* row = around_row(l);
      for (std::size_t k = w; k < around_words_; ++k) around_candidates_[k] &= row[k];
    }
  }
  tick_((clique_.size() + 1) * around_words_);
  return registered_facet();
}

// The facet equal to clique_ (sorted here); every maximal clique is one.
index_t PersistentLevels::registered_facet() {
  std::sort(clique_.begin(), clique_.end());
  std::uint64_t hash = 0;
  for (const index_t x : clique_) hash += keys_.vertex_hash(x);
  const index_t facet = facet_index_.find(scramble(hash), [&](index_t f) {
    return facets_.length(f) == clique_.size() && std::equal(clique_.begin(), clique_.end(), facets_.begin(f));
  });
  if (facet == none) throw std::logic_error("a maximal clique of the graph is not a registered facet");
  return facet;
}

// Two new facets share a new (q+1)-clique when their cores share q-1 vertices.
// A pair whose cores share s >= 1 vertices needs joining only at level s+1: at
// a level q in 2 .. s both facets already meet the old class of the clique of u
// and q shared core vertices, and at levels 0 and 1 all new facets hold u and v.
void PersistentLevels::pair_cores() {
  core_pairs_.clear();
  pairs_by_level_.clear();
  pair_start_.clear();
  const std::size_t core_count = cores_.size();
  if (core_count < 2 || size_cap_ < 4) return;
  const std::size_t k = common_.size();
  incidence_start_.assign(k + 1, 0);
  for (const index_t c : cores_.items) ++incidence_start_[c + 1];
  std::partial_sum(incidence_start_.begin(), incidence_start_.end(), incidence_start_.begin());
  incidence_fill_.assign(incidence_start_.begin(), incidence_start_.end() - 1);
  incidence_.resize(cores_.items.size());
  shared_.assign(core_count, 0);
  for (index_t i = 0; i < core_count; ++i) {
    for (const index_t* c = cores_.begin(i); c != cores_.end(i); ++c) {
      for (std::size_t p = incidence_start_[*c]; p < incidence_fill_[*c]; ++p) {
        if (shared_[incidence_[p]]++ == 0) marked_.push_back(incidence_[p]);
      }
      tick_(incidence_fill_[*c] - incidence_start_[*c] + 1);
    }
    for (const index_t j : marked_) {
      if (std::uint64_t{shared_[j]} + 3 <= size_cap_) core_pairs_.push_back(CorePair{shared_[j] + 1, j, i});
      shared_[j] = 0;
    }
    marked_.clear();
    for (const index_t* c = cores_.begin(i); c != cores_.end(i); ++c) incidence_[incidence_fill_[*c]++] = i;
  }
  // Bucket the pairs by level (levels stay below |C| + 2).
  pair_start_.assign(k + 3, 0);
  for (const CorePair& pair : core_pairs_) ++pair_start_[pair.level + 1];
  std::partial_sum(pair_start_.begin(), pair_start_.end(), pair_start_.begin());
  incidence_fill_.assign(pair_start_.begin(), pair_start_.end() - 1);
  pairs_by_level_.resize(core_pairs_.size());
  for (const CorePair& pair : core_pairs_) pairs_by_level_[incidence_fill_[pair.level]++] = pair;
}

// ---- One step ----

void PersistentLevels::step(index_t u, index_t v, double weight, PersistenceRecords& records) {
  keys_.begin_step();
  add_vertex(u, weight);
  add_vertex(v, weight);
  if (size_cap_ >= 2 && u != v && !adjacent(u, v)) add_edge(u, v, weight);
  keys_.close_step(weight, records);
}

// Every clique the edge creates holds u and v: the new facets are {u, v} plus
// a core, and with a cap the new top-level cliques are {u, v} plus a clique of C.
void PersistentLevels::add_edge(index_t u, index_t v, double weight) {
  step_v_ = v;
  graph_.common_neighbours(u, v, common_, tick_);
  if (common_.size() >= 2) graph_.induced_subgraph(common_, common_graph_, scratch_mark_, tick_);
  find_cores();
  link_cores(u, v);
  add_top_cliques(u, v, weight);
  graph_.insert_edge(u, v);

  new_facets_.clear();
  std::size_t largest_core = 0;
  for (std::size_t i = 0; i < cores_.size(); ++i) {
    members_.assign({u, v});
    for (const index_t* c = cores_.begin(i); c != cores_.end(i); ++c) members_.push_back(common_[*c]);
    std::sort(members_.begin(), members_.end());
    new_facets_.push_back(add_facet(members_.data(), members_.data() + members_.size()));
    largest_core = std::max(largest_core, cores_.length(i));
  }
  pair_cores();
  const std::uint64_t top = std::min<std::uint64_t>(largest_core + 2, size_cap_ - 1);
  for (index_t q = 0; q < top; ++q) update_level(q, weight);

  for (std::size_t i = 0; i < cores_.size(); ++i) {
    swallow(link_u_[i], cores_.length(i) + 1);
    swallow(link_v_[i], cores_.length(i) + 1);
  }
  if (swallowed_length_ > 4096 && 2 * swallowed_length_ > facets_.items.size()) compact_facets();
}

// The new facet {u, v} + K swallows the old facets {u} + K and {v} + K, if
// they were maximal: the links are then those very facets. A swallowed facet
// is never met again (the searches only find maximal cliques), and at every
// level its classes hold its swallower. Lone vertices stay, as the handles
// of their level-0 classes.
void PersistentLevels::swallow(index_t facet, std::size_t length) {
  if (facet == none || length < 2 || facets_.length(facet) != length || swallowed_[facet]) return;
  swallowed_[facet] = 1;
  swallowed_length_ += length;
}

// Keeps only the facets still maximal, renumbered in order. Every class holds
// a live facet, so each class is re-rooted at its first live node, with the
// other live nodes pointing straight at it.
void PersistentLevels::compact_facets() {
  std::vector<index_t> renumbered(facets_.size(), none);
  Groups<index_t> facets;
  std::vector<index_t> node_base;
  std::vector<index_t> parent;
  std::vector<index_t> class_size;
  std::vector<index_t> class_key;
  std::vector<index_t> root_of(parent_.size(), none);  // old root -> new root
  HashIndex facet_index;
  for (index_t f = 0; f < facets_.size(); ++f) {
    if (swallowed_[f]) continue;
    renumbered[f] = static_cast<index_t>(facets.size());
    facets.items.insert(facets.items.end(), facets_.begin(f), facets_.end(f));
    facets.close_group();
    std::uint64_t hash = 0;
    for (const index_t* x = facets_.begin(f); x != facets_.end(f); ++x) hash += keys_.vertex_hash(*x);
    if (facets_.length(f) >= 2) facet_index.insert(scramble(hash), renumbered[f]);
    node_base.push_back(static_cast<index_t>(parent.size()));
    const std::size_t levels = static_cast<std::size_t>(std::min<std::uint64_t>(facets_.length(f), size_cap_ - 1));
    for (index_t q = 0; q < levels; ++q) {
      const index_t root = find(node(f, q));
      const index_t fresh = static_cast<index_t>(parent.size());
      if (root_of[root] == none) {
        root_of[root] = fresh;
        parent.push_back(fresh);
        class_size.push_back(1);
        class_key.push_back(class_key_[root]);
      } else {
        parent.push_back(root_of[root]);
        ++class_size[root_of[root]];
        class_size.push_back(1);
        class_key.push_back(none);
      }
    }
    tick_(facets_.length(f) + levels);
  }
  for (index_t& facet : singleton_facet_)
    if (facet != none) facet = renumbered[facet];
  facets_ = std::move(facets);
  node_base_ = std::move(node_base);
  parent_ = std::move(parent);
  class_size_ = std::move(class_size);
  class_key_ = std::move(class_key);
  facet_index_ = std::move(facet_index);
  swallowed_.assign(facets_.size(), 0);
  swallowed_length_ = 0;
}

void PersistentLevels::finish(double weight, PersistenceRecords& records) { keys_.finish(weight, records); }

// ---- Facets and classes ----

index_t PersistentLevels::add_facet(const index_t* begin, const index_t* end) {
  const index_t facet = checked_index(facets_.size());
  const std::size_t length = static_cast<std::size_t>(end - begin);
  facets_.items.insert(facets_.items.end(), begin, end);
  facets_.close_group();
  std::uint64_t hash = 0;
  for (const index_t* x = begin; x != end; ++x) hash += keys_.vertex_hash(*x);
  const std::size_t levels = static_cast<std::size_t>(std::min<std::uint64_t>(length, size_cap_ - 1));
  const index_t base = checked_index(parent_.size());
  checked_index(parent_.size() + levels);
  node_base_.push_back(base);
  for (std::size_t q = 0; q < levels; ++q) {
    parent_.push_back(static_cast<index_t>(base + q));
    class_size_.push_back(1);
    class_key_.push_back(none);
  }
  if (length >= 2) facet_index_.insert(scramble(hash), facet);
  swallowed_.push_back(0);
  return facet;
}

index_t PersistentLevels::find(index_t x) {
  while (parent_[x] != x) {
    parent_[x] = parent_[parent_[x]];
    x = parent_[x];
  }
  return x;
}

void PersistentLevels::unite(index_t a, index_t b) {
  a = find(a);
  b = find(b);
  if (a == b) return;
  if (class_size_[a] < class_size_[b]) std::swap(a, b);
  parent_[b] = a;
  class_size_[a] += class_size_[b];
}

// Level q after the new facets joined it: each new facet holding at least q+1
// vertices joins its old classes and the new facets it shares a new
// (q+1)-clique with; every class that results gets its vertex set and key.
void PersistentLevels::update_level(index_t q, double weight) {
  const auto present = [&](std::size_t i) { return facets_.length(new_facets_[i]) >= std::size_t{q} + 1; };
  const auto core_length = [&](std::size_t i) { return facets_.length(new_facets_[i]) - 2; };

  old_roots_.clear();
  for (std::size_t i = 0; i < new_facets_.size(); ++i) {
    if (!present(i)) continue;
    if (core_length(i) >= q) old_roots_.push_back(find(node(link_u_[i], q)));
    if (core_length(i) == q) old_roots_.push_back(find(node(link_v_[i], q)));
  }

  if (q <= 1) {  // every new facet holds u and v
    std::size_t first = new_facets_.size();
    for (std::size_t i = 0; i < new_facets_.size(); ++i) {
      if (!present(i)) continue;
      if (first == new_facets_.size()) first = i;
      unite(node(new_facets_[first], q), node(new_facets_[i], q));
    }
  } else if (q + 1 < pair_start_.size()) {
    for (std::size_t p = pair_start_[q]; p < pair_start_[q + 1]; ++p)
      unite(node(new_facets_[pairs_by_level_[p].a], q), node(new_facets_[pairs_by_level_[p].b], q));
  }
  for (std::size_t i = 0; i < new_facets_.size(); ++i) {
    if (!present(i)) continue;
    if (core_length(i) >= q) unite(node(new_facets_[i], q), node(link_u_[i], q));
    if (core_length(i) == q) unite(node(new_facets_[i], q), node(link_v_[i], q));
  }

  std::sort(old_roots_.begin(), old_roots_.end());
  old_roots_.erase(std::unique(old_roots_.begin(), old_roots_.end()), old_roots_.end());
  entries_.clear();
  for (const index_t root : old_roots_) entries_.push_back(Entry{find(root), root, true});
  for (std::size_t i = 0; i < new_facets_.size(); ++i)
    if (present(i)) entries_.push_back(Entry{find(node(new_facets_[i], q)), static_cast<index_t>(i), false});
  std::sort(entries_.begin(), entries_.end(), [](const Entry& a, const Entry& b) { return a.root < b.root; });
  tick_(entries_.size());

  for (std::size_t begin = 0, end = 0; begin < entries_.size(); begin = end) {
    while (end < entries_.size() && entries_[end].root == entries_[begin].root) ++end;
    settle_class(q, begin, end, weight);
  }
}

// The class at entries_[first_entry .. end_entry) is the union of old classes
// and new facets; its vertex set is that of the old classes and the vertices
// the new facets bring.
void PersistentLevels::settle_class(index_t q, std::size_t first_entry, std::size_t end_entry, double weight) {
  // A new facet {u, v} + K linked to the old classes of {u} + K and {v} + K
  // adds nothing they lack; linked to the first only, it can add only v.
  old_keys_.clear();
  extra_.clear();
  for (std::size_t e = first_entry; e < end_entry; ++e) {
    const Entry& entry = entries_[e];
    if (entry.old) {
      old_keys_.push_back(class_key_[entry.item]);
      continue;
    }
    const index_t facet = new_facets_[entry.item];
    const std::size_t core_length = facets_.length(facet) - 2;
    if (core_length == q) continue;
    if (core_length > q) {
      extra_.push_back(step_v_);
      continue;
    }
    extra_.insert(extra_.end(), facets_.begin(facet), facets_.end(facet));
    tick_(facets_.length(facet));
  }
  class_key_[entries_[first_entry].root] = keys_.merged(q, old_keys_, extra_, weight);
}

}  // namespace korvane
