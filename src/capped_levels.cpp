#include "capped_levels.hpp"

#include <algorithm>
#include <iterator>
#include <numeric>
#include <stdexcept>

namespace korvane {

CappedLevels::CappedLevels(std::size_t vertex_count, const std::vector<std::pair<index_t, index_t>>& edges,
                           std::uint64_t size_cap)
    : keys_(vertex_count, tick_), graph_(vertex_count, edges) {
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
    vertices.width = 1;
    vertices.classes.grow(checked_index(n));
    vertices.class_key.assign(n, none);
    vertices.seen.assign(n, 0);
  }
}

void CappedLevels::step(index_t u, index_t v, double weight, PersistenceRecords& records) {
  ++step_;
  keys_.begin_step();
  add_vertex(u, weight);
  add_vertex(v, weight);
  if (size_cap_ >= 2 && u != v && !graph_.adjacent(u, v)) add_edge(u, v, weight);
  keys_.close_step(weight, records);
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
  const std::size_t largest_k = static_cast<std::size_t>(size_cap_ - 2);
  common_.clear();
  if (largest_k >= 1) graph_.common_neighbours(u, v, common_, tick_);
  if (largest_k >= 2 && common_.size() >= 2) graph_.induced_subgraph(common_, common_graph_, scratch_mark_, tick_);
  const std::size_t deepest = std::min(largest_k, common_.size());
  // Level |K| + 1 gains {u, v} + K while it stays below the top.
  const std::size_t levels_needed = std::min(deepest + 2, largest_k + 1);
  while (levels_.size() < levels_needed) {
    levels_.emplace_back();
    levels_.back().width = levels_.size();
  }
  if (candidates_by_depth_.size() < deepest + 1) candidates_by_depth_.resize(deepest + 1);
  candidates_by_depth_[0].resize(common_.size());
  std::iota(candidates_by_depth_[0].begin(), candidates_by_depth_[0].end(), index_t{0});
  clique_.clear();
  clique_hash_.resize(deepest + 1);
  grown_node_.resize(deepest + 1);
  if (largest_k >= 2) pair_node_.resize(common_.size());
  clique_hash_[0] = keys_.vertex_hash(u) + keys_.vertex_hash(v);

  touched_levels_ = 0;
  extend(0, u, v, weight);
  graph_.insert_edge(u, v);
  for (index_t q = 0; q < touched_levels_; ++q) settle(q, weight);
}

// Visits K = clique_ (`depth` positions in C, descending) and every clique
// of C that extends it by earlier positions, up to S-2 vertices. This is
// colexicographic order: each subset of a clique comes before the clique.
void CappedLevels::extend(std::size_t depth, index_t u, index_t v, double weight) {
  visit(depth, u, v, weight);
  if (depth + 2 == size_cap_) return;
  const std::vector<index_t>& candidates = candidates_by_depth_[depth];
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    const index_t a = candidates[i];
    clique_.push_back(a);
    clique_hash_[depth + 1] = clique_hash_[depth] + keys_.vertex_hash(common_[a]);
    if (depth + 3 < size_cap_) {
      std::vector<index_t>& next = candidates_by_depth_[depth + 1];
      next.clear();
      if (i > 0) {
        std::set_intersection(candidates.begin(), candidates.begin() + static_cast<std::ptrdiff_t>(i),
                              common_graph_.neighbours_begin(a), common_graph_.neighbours_end(a),
                              std::back_inserter(next));
        tick_(i);
      }
    }
    extend(depth + 1, u, v, weight);
    clique_.pop_back();
  }
}

// M = {u, v} + K is a new node of level |K| + 1, or a top-level key when it
// has S vertices; at level |K| it joins its faces: {u} + K and {v} + K, which
// are old, and {u, v} + K - x for each x in K, visited before K.
void CappedLevels::visit(std::size_t depth, index_t u, index_t v, double weight) {
  const index_t low = std::min(u, v);
  const index_t high = std::max(u, v);
  members_.clear();
  for (auto a = clique_.rbegin(); a != clique_.rend(); ++a) {
    const index_t x = common_[*a];
    if (low < x && (members_.empty() || members_.back() < low)) members_.push_back(low);
    if (high < x && members_.back() < high) members_.push_back(high);
    members_.push_back(x);
  }
  if (members_.empty() || members_.back() < low) members_.push_back(low);
  if (members_.back() < high) members_.push_back(high);
  const std::uint64_t hash = clique_hash_[depth];
  if (depth + 2 == size_cap_) {
    keys_.add_top(static_cast<index_t>(size_cap_ - 1), members_.data(), members_.data() + members_.size(), weight);
  } else {
    grown_node_[depth] = new_clique(levels_[depth + 1], hash, members_);
    if (depth == 1) pair_node_[clique_[0]] = grown_node_[1];
  }
  touched_levels_ = std::max(touched_levels_, std::min<std::size_t>(depth + 2, size_cap_ - 1));

  Level& level = levels_[depth];
  const auto face = [&](index_t x) {
    face_.clear();
    for (const index_t y : members_)
      if (y != x) face_.push_back(y);
    return hash - keys_.vertex_hash(x);
  };
  index_t root;
  if (depth == 0) {
    root = meet(level, u);
    level.classes.unite(root, meet(level, v));
  } else {
    std::uint64_t face_hash = face(v);
    root = meet(level, find_clique(level, face_hash, face_));
    face_hash = face(u);
    level.classes.unite(root, meet(level, find_clique(level, face_hash, face_)));
    // Dropping the vertex added last gives the clique visited just above.
    level.classes.unite(root, meet(level, grown_node_[depth - 1]));
    if (depth == 2) {
      level.classes.unite(root, meet(level, pair_node_[clique_[1]]));
    } else {
      for (std::size_t i = 0; i + 1 < depth; ++i) {
        face_hash = face(common_[clique_[i]]);
        level.classes.unite(root, meet(level, find_clique(level, face_hash, face_)));
      }
    }
  }
  tick_(members_.size() * members_.size());
}

index_t CappedLevels::find_clique(Level& level, std::uint64_t hash, const std::vector<index_t>& clique) const {
  return level.index.find(scramble(hash), [&](index_t c) {
    const index_t* stored = level.cliques.data() + c * level.width;
    for (std::size_t i = 0; i < clique.size(); ++i)
      if (clique[i] != stored[i]) return false;
    return true;
  });
}

// A clique new in this step: a class of its own, met already.
index_t CappedLevels::new_clique(Level& level, std::uint64_t hash, const std::vector<index_t>& clique) {
  const index_t node = checked_index(level.classes.size());
  level.cliques.insert(level.cliques.end(), clique.begin(), clique.end());
  level.index.insert(scramble(hash), node);
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
        const auto first = level.cliques.begin() + static_cast<std::ptrdiff_t>(s.node * level.width);
        extra_.insert(extra_.end(), first, first + static_cast<std::ptrdiff_t>(level.width));
      }
    }
    level.class_key[sightings[begin].root] = keys_.merged(q, old_keys_, extra_, weight);
  }
  sightings.clear();
}

}  // namespace korvane
