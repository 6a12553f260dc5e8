#include "persistence_state.hpp"

#include <algorithm>
#include <limits>
#include <stdexcept>

namespace korvane {

PersistentLevels::PersistentLevels(std::size_t vertex_count,
                                   const std::vector<std::pair<index_t, index_t>>& edges,
                                   std::optional<std::uint64_t> size_cap, ComponentKeys& keys)
    : size_cap_(size_cap.value_or(std::numeric_limits<std::uint64_t>::max())),
      keys_(keys),
      graph_(vertex_count, edges),
      cliques_(vertex_count),
      links_(vertex_count),
      present_(vertex_count, 0),
      singleton_facet_(vertex_count, none) {
  // Every vertex is a facet and every edge brings one at least, of two or more
  // vertices: room for those up front spares the early regrowths.
  const std::size_t facets = vertex_count + edges.size();
  facets_.starts.reserve(facets + 1);
  facets_.items.reserve(vertex_count + 2 * edges.size());
  node_base_.reserve(facets);
  facet_hash_.reserve(facets);
  swallowed_.reserve(facets);
  nodes_.reserve(vertex_count + 2 * edges.size());
  class_key_.reserve(vertex_count + 2 * edges.size());
  facet_index_.reserve(edges.size());
  // Levels 0 and 1 alone hold a key per vertex and per edge at first.
  keys_.reserve(facets);
}

// A vertex first seen is a one-vertex facet and its own class at level 0.
void PersistentLevels::add_vertex(index_t x, double weight) {
  if (present_[x]) return;
  present_[x] = 1;
  const index_t key = keys_.find_or_create(0, keys_.vertex_hash(x), &x, &x + 1, weight);
  keys_.acquire(key);
  if (size_cap_ == 1) return;  // level 0 is the only level: every vertex alone
  const index_t base = nodes_.size();
  facets_.items.push_back(x);
  grow_nodes(std::size_t{base} + 1);
  const index_t facet = close_facet(facets_.items.size(), base);
  singleton_facet_[x] = facet;
  class_key_[node(facet, 0)] = key;
}

// The edge's new cliques are found, and linked to the old facets, on the
// graph without it; then the new facets join the levels they reach, and the
// old facets they swallow are let go.
void PersistentLevels::add_edge(index_t u, index_t v, double weight) {
  if (size_cap_ < 2 || graph_.adjacent(u, v)) return;
  const bool capped = size_cap_ != std::numeric_limits<std::uint64_t>::max();
  cliques_.find(graph_, u, v, capped, tick_);
  links_.find(graph_, u, v, cliques_, size_cap_, tick_);
  const Groups<index_t>& cores = cliques_.cores();
  link_u_.resize(cores.size());
  link_v_.resize(cores.size());
  for (std::size_t i = 0; i < cores.size(); ++i) {
    link_u_[i] = registered_facet(links_.links(), 2 * i);
    link_v_[i] = registered_facet(links_.links(), 2 * i + 1);
  }
  if (capped) add_top_cliques(u, v, weight);
  graph_.insert_edge(u, v);

  add_edge_facets(u, v);
  std::size_t largest_core = 0;
  for (std::size_t i = 0; i < cores.size(); ++i) {
    largest_core = std::max(largest_core, cores.length(i));
    fresh_[i].link_u = node_base_[link_u_[i]];
    fresh_[i].link_v = link_v_[i] == none ? none : node_base_[link_v_[i]];
  }
  cliques_.pair_cores(size_cap_, tick_);
  const std::uint64_t top = std::min<std::uint64_t>(largest_core + 2, size_cap_ - 1);
  // Level q changes beyond the new facets joining old classes only where a
  // core has q-1 or q vertices, or two cores share exactly q-1 vertices. At
  // level 0 every facet holding u is in one class; at level 1 the new facets
  // all share {u, v}, which joins the classes of disjoint cores.
  level_changes_.assign(static_cast<std::size_t>(top), 0);
  for (std::size_t i = 0; i < cores.size(); ++i)
    for (const std::size_t q : {cores.length(i), cores.length(i) + 1})
      if (q < top) level_changes_[q] = 1;
  for (index_t q = 1; q < top; ++q)
    if (cliques_.pairs_begin(q) != cliques_.pairs_end(q) || (q == 1 && cores.size() > 1)) level_changes_[q] = 1;
  for (index_t q = 0; q < top; ++q) update_level(q, weight);

  for (std::size_t i = 0; i < cores.size(); ++i) {
    swallow(link_u_[i], cores.length(i) + 1);
    swallow(link_v_[i], cores.length(i) + 1);
  }
  // Dropping the swallowed facets is a pass over all of them: it waits until
  // they outweigh the live ones, and below 16,384 ids keeping them costs less.
  if (swallowed_length_ > 16384 && 2 * swallowed_length_ > facets_.items.size()) compact_facets();
}

// The facet equal to group g of `cliques` (ascending), none for an empty
// group; every maximal clique of the graph is a facet.
index_t PersistentLevels::registered_facet(const Groups<index_t>& cliques, std::size_t g) const {
  const std::size_t length = cliques.length(g);
  if (length == 0) return none;
  if (length == 1) return singleton_facet_[*cliques.begin(g)];
  const std::uint64_t hash = keys_.set_hash(cliques.begin(g), cliques.end(g));
  const index_t facet = facet_index_.find(scramble(hash), [&](index_t f) {
    return facets_.length(f) == length && std::equal(cliques.begin(g), cliques.end(g), facets_.begin(f));
  });
  if (facet == none) throw std::logic_error("a maximal clique of the graph is not a registered facet");
  return facet;
}

// With a size cap S, the top level q = S-1 lists every S-clique alone; the new
// ones are {u, v} + each (S-2)-clique of the subgraph induced by C.
void PersistentLevels::add_top_cliques(index_t u, index_t v, double weight) {
  const std::vector<index_t>& common = cliques_.common();
  const std::size_t size = static_cast<std::size_t>(size_cap_ - 2);
  const auto key = [&](const index_t* clique) {
    members_.assign({u, v});
    for (std::size_t i = 0; i < size; ++i) members_.push_back(common[clique[i]]);
    std::sort(members_.begin(), members_.end());
    keys_.add_top(static_cast<index_t>(size_cap_ - 1), members_.data(), members_.data() + members_.size(), weight);
  };
  if (common.size() >= 2) {
    for_each_clique_of_size(top_search_, cliques_.common_graph(), size, key);
  } else if (size <= common.size()) {
    top_clique_.assign(size, 0);  // C has at most one vertex: the clique is empty or that vertex
    key(top_clique_.data());
  }
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
  std::vector<std::uint64_t> facet_hash;
  Dsu nodes;
  std::vector<index_t> class_key;
  std::vector<index_t> root_of(nodes_.size(), none);  // old root -> new root
  HashIndex facet_index;
  for (index_t f = 0; f < facets_.size(); ++f) {
    if (swallowed_[f]) continue;
    renumbered[f] = static_cast<index_t>(facets.size());
    facets.items.insert(facets.items.end(), facets_.begin(f), facets_.end(f));
    facets.close_group();
    facet_hash.push_back(facet_hash_[f]);
    if (facets_.length(f) >= 2) facet_index.insert(scramble(facet_hash_[f]), renumbered[f]);
    node_base.push_back(static_cast<index_t>(nodes.size()));
    const std::size_t levels = levels_of(facets_.length(f));
    const index_t first_node = static_cast<index_t>(class_key.size());
    nodes.grow(first_node + static_cast<index_t>(levels));
    for (index_t q = 0; q < levels; ++q) {
      const index_t root = nodes_.find(node(f, q));
      const index_t fresh = first_node + q;
      if (root_of[root] == none) {
        root_of[root] = fresh;
        class_key.push_back(class_key_[root]);
      } else {
        nodes.unite(root_of[root], fresh);
        class_key.push_back(none);
      }
    }
    tick_(facets_.length(f) + levels);
  }
  for (index_t& facet : singleton_facet_)
    if (facet != none) facet = renumbered[facet];
  facets_ = std::move(facets);
  node_base_ = std::move(node_base);
  facet_hash_ = std::move(facet_hash);
  nodes_ = std::move(nodes);
  class_key_ = std::move(class_key);
  facet_index_ = std::move(facet_index);
  swallowed_.assign(facets_.size(), 0);
  swallowed_length_ = 0;
}

// ---- Facets and classes ----

// The new facets {u, v} + K, one per core, in the cores' order. An edge
// brings a handful of small facets at once: room for all of them, and for
// their nodes, is made in one go, and each is written in place.
void PersistentLevels::add_edge_facets(index_t u, index_t v) {
  const Groups<index_t>& cores = cliques_.cores();
  std::size_t items = facets_.items.size();
  std::size_t nodes = nodes_.size();
  for (std::size_t i = 0; i < cores.size(); ++i) {
    items += cores.length(i) + 2;
    nodes += levels_of(cores.length(i) + 2);
  }
  std::size_t end = facets_.items.size();
  index_t base = nodes_.size();
  facets_.items.resize(items);
  grow_nodes(nodes);
  fresh_.resize(cores.size());
  for (std::size_t i = 0; i < cores.size(); ++i) {
    edge_and_clique(u, v, cores.begin(i), cores.end(i), cliques_.common(), facets_.items.data() + end);
    end += cores.length(i) + 2;
    fresh_[i].facet = close_facet(end, base);
    fresh_[i].core = static_cast<index_t>(cores.length(i));
    fresh_[i].node = base;
    base += static_cast<index_t>(levels_of(cores.length(i) + 2));
  }
}

// Nodes up to n, each its own class without a key yet.
void PersistentLevels::grow_nodes(std::size_t n) {
  nodes_.grow(checked_index(n));
  class_key_.resize(n, none);
}

// Registers the facet written in facets_.items up to `end`, its nodes
// (made already) numbered from `base`.
index_t PersistentLevels::close_facet(std::size_t end, index_t base) {
  const index_t facet = checked_index(facets_.size());
  facets_.starts.push_back(end);
  node_base_.push_back(base);
  const std::uint64_t hash = keys_.set_hash(facets_.begin(facet), facets_.end(facet));
  facet_hash_.push_back(hash);
  if (facets_.length(facet) >= 2) facet_index_.insert(scramble(hash), facet);
  swallowed_.push_back(0);
  return facet;
}

// Level q after the new facets joined it: each new facet holding at least q+1
// vertices joins its old classes and the new facets it shares a new
// (q+1)-clique with; every class that results gets its vertex set and key.
void PersistentLevels::update_level(index_t q, double weight) {
  // A new facet {u, v} + K reaches level q when |K| + 2 >= q + 1; it has a
  // link at this level holding u + K when |K| >= q, and v + K too when |K| = q.
  const auto present = [&](const NewFacet& f) { return f.core + 1 >= q; };
  if (!level_changes_[q]) {
    // Every new facet {u, v} + K here has |K| > q: the old facets holding u + K
    // and v + K share K, so one old class already holds all of it. The facet
    // joins that class, whose vertex set and key stay: its node, fresh, hangs
    // below its link's.
    for (const NewFacet& f : fresh_)
      if (present(f)) nodes_.attach(f.node + q, f.link_u + q);
    return;
  }

  old_roots_.clear();
  for (const NewFacet& f : fresh_) {
    if (!present(f)) continue;
    if (f.core >= q) old_roots_.push_back(nodes_.find(f.link_u + q));
    if (f.core == q) old_roots_.push_back(nodes_.find(f.link_v + q));
  }

  if (q <= 1) {  // every new facet holds u and v
    const NewFacet* first = nullptr;
    for (const NewFacet& f : fresh_) {
      if (!present(f)) continue;
      if (first == nullptr) first = &f;
      nodes_.unite(first->node + q, f.node + q);
    }
  } else {
    for (const IdPair* p = cliques_.pairs_begin(q); p != cliques_.pairs_end(q); ++p)
      nodes_.unite(fresh_[p->a].node + q, fresh_[p->b].node + q);
  }
  for (const NewFacet& f : fresh_) {
    if (!present(f)) continue;
    if (f.core >= q) nodes_.unite(f.node + q, f.link_u + q);
    if (f.core == q) nodes_.unite(f.node + q, f.link_v + q);
  }

  std::sort(old_roots_.begin(), old_roots_.end());
  old_roots_.erase(std::unique(old_roots_.begin(), old_roots_.end()), old_roots_.end());
  entries_.clear();
  for (const index_t root : old_roots_) entries_.push_back(Entry{nodes_.find(root), root, true});
  for (std::size_t i = 0; i < fresh_.size(); ++i)
    if (present(fresh_[i])) entries_.push_back(Entry{nodes_.find(fresh_[i].node + q), static_cast<index_t>(i), false});
  std::sort(entries_.begin(), entries_.end(), [](const Entry& a, const Entry& b) { return a.root < b.root; });
  tick_(entries_.size());

  for (std::size_t begin = 0, end = 0; begin < entries_.size(); begin = end) {
    while (end < entries_.size() && entries_[end].root == entries_[begin].root) ++end;
    settle_class(q, begin, end, weight);
  }
}

// The class at entries_[first_entry .. end_entry) is the union of old classes
// and new facets; its vertex set is that of the old classes and the vertices
// the new facets bring. A new facet {u, v} + K linked to an old class holding
// u + K brings nothing when |K| >= q: that class also holds v, through v + K
// when |K| > q, and through the link to v + K when |K| = q. Without a link at
// this level (|K| = q-1) the facet brings all its vertices.
void PersistentLevels::settle_class(index_t q, std::size_t first_entry, std::size_t end_entry, double weight) {
  const index_t root = entries_[first_entry].root;
  if (end_entry - first_entry == 1 && !entries_[first_entry].old) {
    // A new facet alone in its class (so without a link at this level, its
    // top level being the common case) is keyed by its own vertex list,
    // ascending already: there is nothing to merge.
    const index_t facet = fresh_[entries_[first_entry].item].facet;
    const index_t key = keys_.find_or_create(q, facet_hash_[facet], facets_.begin(facet), facets_.end(facet), weight);
    keys_.acquire(key);
    class_key_[root] = key;
    tick_(facets_.length(facet));
    return;
  }
  old_keys_.clear();
  extra_.clear();
  for (std::size_t e = first_entry; e < end_entry; ++e) {
    const Entry& entry = entries_[e];
    if (entry.old) {
      old_keys_.push_back(class_key_[entry.item]);
      continue;
    }
    const NewFacet& fresh = fresh_[entry.item];
    if (fresh.core >= q) continue;
    const index_t facet = fresh.facet;
    extra_.insert(extra_.end(), facets_.begin(facet), facets_.end(facet));
    tick_(facets_.length(facet));
  }
  class_key_[root] = keys_.merged(q, old_keys_, extra_, weight);
}

}  // namespace korvane
