#include "capped_levels.hpp"

#include <algorithm>
#include <stdexcept>

#include "hash_index.hpp"

namespace korvane {

CappedLevels::CappedLevels(std::size_t vertex_count, const std::vector<std::pair<index_t, index_t>>& edges,
                           std::uint64_t size_cap, ComponentKeys& keys)
    : keys_(keys), graph_(vertex_count, edges) {
  const std::size_t n = vertex_count;
  // No clique outgrows the largest degree + 1, and a cap at or above the
  // clique number is no cap, so the cap can come down to that bound.
  std::vector<index_t> degree(n, 0);
  index_t largest = 0;
  for (const auto& [u, v] : edges) {
    if (u == v) continue;
    largest = std::max({largest, ++degree[u], ++degree[v]});
  }
  size_cap_ = std::min<std::uint64_t>(size_cap, std::uint64_t{largest} + 1);
  present_.assign(n, 0);
  scratch_mark_.assign(n, none);
  if (size_cap_ >= 2) {
    levels_.resize(1);
    Level& vertices = levels_[0];
    vertices.classes.grow(checked_index(n));
    vertices.class_key.assign(n, none);
    vertices.seen.assign(n, 0);
  }
}

// A new vertex is a class of its own at level 0, or a top-level clique when
// the cap is one vertex.
void CappedLevels::add_vertex(index_t x, double weight) {
  if (present_[x]) return;
  present_[x] = 1;
  if (size_cap_ == 1) {
    keys_.add_top(0, &x, &x + 1, weight);
    return;
  }
  const index_t key = keys_.find_or_create(0, keys_.vertex_hash(x), &x, &x + 1, weight);
  keys_.acquire(key);
  levels_[0].class_key[x] = key;
}

// The cliques the edge (u, v) creates are {u, v} + K for every clique K of the
// subgraph induced by C = N(u) & N(v); those with at most S vertices matter.
void CappedLevels::add_edge(index_t u, index_t v, double weight) {
  if (size_cap_ < 2 || graph_.adjacent(u, v)) return;
  ++step_;
  const std::size_t largest_k = static_cast<std::size_t>(size_cap_ - 2);
  low_ = std::min(u, v);
  high_ = std::max(u, v);
  pair_hash_ = keys_.vertex_hash(u) + keys_.vertex_hash(v);
  common_.clear();
  if (largest_k >= 1) graph_.common_neighbours(u, v, common_, tick_);
  // Level |K| + 1 gains {u, v} + K while it stays below the top.
  const std::size_t levels_needed = std::min(std::min(largest_k, common_.size()) + 2, largest_k + 1);
  while (levels_.size() < levels_needed) levels_.emplace_back();

  touched_levels_ = 0;
  single_node_.resize(common_.size());
  visit(nullptr, 0, none, SmallCliqueSearch::no_tag, false, weight);
  if (largest_k == 1 || common_.size() == 1) {
    // Single vertices of C are all the cliques wanted.
    for (index_t a = 0; a < static_cast<index_t>(common_.size()); ++a) {
      start_ = a;
      visit(&a, 1, a, SmallCliqueSearch::no_tag, false, weight);
    }
  } else if (!common_.empty()) {
    graph_.induced_subgraph(common_, common_graph_, scratch_mark_, tick_);
    search_.reset(common_graph_, largest_k);
    search_.run([&](const index_t* clique, std::size_t size, index_t added, index_t parent, bool linked) {
      if (size == 1) start_ = added;
      return visit(clique, size, added, parent, linked, weight);
    });
  }
  graph_.insert_edge(u, v);
  for (index_t q = 0; q < touched_levels_; ++q) settle(q, weight);
}

// M = {u, v} + K, for the clique K of `size` positions in C, ascending, is a
// node of level |K| + 1, or a top-level key when it has S vertices; its node
// is the search's tag for K. At level |K| it joins its faces: {u} + K and
// {v} + K, which are old; {u, v} + (K's parent), the parent's tag ({u, v}
// itself when K is one vertex); and {u, v} + K - x for every other x in K.
// The search meets those last ones in no fixed order before or after K, so
// they, and M itself, are found or added. When K is linked, the face without
// the start vertex s is in the parent's class already: with y the earlier
// sibling's vertex and R = K - s - added, {u, v} + K - added + y joined the
// parent to {u, v} + R + y, and {u, v} + R + added + y, met in an earlier
// group, joined that to {u, v} + K - s.
index_t CappedLevels::visit(const index_t* clique, std::size_t size, index_t added, index_t parent, bool linked,
                            double weight) {
  edge_and_clique(low_, high_, clique, clique + size, common_, members_);
  std::uint64_t hash = pair_hash_;
  for (std::size_t i = 0; i < size; ++i) hash += keys_.vertex_hash(common_[clique[i]]);

  index_t node = SmallCliqueSearch::no_tag;
  if (size + 2 == size_cap_) {
    keys_.add_top(static_cast<index_t>(size_cap_ - 1), members_.data(), members_.data() + members_.size(), weight);
  } else {
    node = find_or_add_clique(levels_[size + 1], hash, members_);
  }
  touched_levels_ = std::max(touched_levels_, std::min<std::size_t>(size + 2, size_cap_ - 1));

  Level& level = levels_[size];
  if (size == 0) {
    pair_node_ = node;
    const index_t root = meet(level, low_);
    level.classes.unite(root, meet(level, high_));
  } else {
    const auto face = [&](index_t x) {
      face_.clear();
      for (const index_t y : members_)
        if (y != x) face_.push_back(y);
      return hash - keys_.vertex_hash(x);
    };
    std::uint64_t face_hash = face(high_);
    const index_t root = meet(level, find_clique(level, face_hash, face_));
    face_hash = face(low_);
    level.classes.unite(root, meet(level, find_clique(level, face_hash, face_)));
    level.classes.unite(root, meet(level, parent == SmallCliqueSearch::no_tag ? pair_node_ : parent));
    for (std::size_t i = 0; i < size; ++i) {
      if (clique[i] == added || (linked && clique[i] == start_)) continue;
      if (size == 2) {
        // K = {s, added}: the face {u, v, added} was met in added's group, earlier.
        level.classes.unite(root, meet(level, single_node_[added]));
        continue;
      }
      face_hash = face(common_[clique[i]]);
      level.classes.unite(root, meet(level, find_or_add_clique(level, face_hash, face_)));
    }
  }
  if (size == 1) single_node_[added] = node;
  tick_(members_.size() * members_.size());
  return node;
}

index_t CappedLevels::find_clique(Level& level, std::uint64_t hash, const std::vector<index_t>& clique) const {
  return level.cliques.find(scramble(hash), clique.size(), [&](std::size_t i) { return clique[i]; });
}

index_t CappedLevels::find_or_add_clique(Level& level, std::uint64_t hash, const std::vector<index_t>& clique) {
  const index_t node = find_clique(level, hash, clique);
  return node != none ? node : new_clique(level, hash, clique);
}

// A clique new in this step: a class of its own, met already.
index_t CappedLevels::new_clique(Level& level, std::uint64_t hash, const std::vector<index_t>& clique) {
  const index_t node = level.cliques.add(scramble(hash), clique.size(), [&](std::size_t i) { return clique[i]; });
  level.classes.grow(node + 1);
  level.class_key.push_back(none);
  level.seen.push_back(step_);
  level.sightings.push_back(Sighting{node, none, none});
  return node;
}

// The root of the node's class, noting the class's key the first time the
// step meets it; a class met before keeps its root's note through unions,
// since only met roots are united.
index_t CappedLevels::meet(Level& level, index_t node) {
  if (node == none) throw std::logic_error("a clique of the graph is not registered");
  const index_t root = level.classes.find(node);
  if (level.seen[root] != step_) {
    level.seen[root] = step_;
    level.sightings.push_back(Sighting{node, level.class_key[root], none});
  }
  return root;
}

// Each class the step met at level q gets the key of the union of what it
// holds now: the old classes' sets and the new cliques' vertices.
void CappedLevels::settle(index_t q, double weight) {
  Level& level = levels_[q];
  std::vector<Sighting>& sightings = level.sightings;
  for (Sighting& s : sightings) s.root = level.classes.find(s.node);
  std::sort(sightings.begin(), sightings.end(), [](const Sighting& a, const Sighting& b) { return a.root < b.root; });
  tick_(sightings.size());
  for (std::size_t begin = 0, end = 0; begin < sightings.size(); begin = end) {
    old_keys_.clear();
    extra_.clear();
    for (end = begin; end < sightings.size() && sightings[end].root == sightings[begin].root; ++end) {
      const Sighting& s = sightings[end];
      if (s.key != none) {
        old_keys_.push_back(s.key);
      } else {
        extra_.insert(extra_.end(), level.cliques.begin(s.node), level.cliques.end(s.node));
      }
    }
    level.class_key[sightings[begin].root] = keys_.merged(q, old_keys_, extra_, weight);
  }
  sightings.clear();
}

}  // namespace korvane
