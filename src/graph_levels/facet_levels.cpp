#include "facet_levels.hpp"

#include <cstdint>
#include <numeric>

#include "dsu.hpp"
#include "facet_adjacency_join.hpp"
#include "level_classes.hpp"
#include "pairs_by_level.hpp"
#include "q_levels.hpp"

namespace korvane {

namespace {

// The facets with at least 3 vertices, and their vertices, grouped into
// blocks: the components of the graph those facets span. Two facets sharing
// two vertices lie in one block, so every join above level 0 stays inside a
// block. Vertices and facets are ascending within a block.
struct Blocks {
  Groups<index_t> vertices;
  Groups<index_t> facets;
};

Blocks blocks_of(const Groups<index_t>& facets, index_t vertex_count, Ticker& tick) {
  Dsu spanned(vertex_count);
  std::vector<unsigned char> covered(vertex_count, 0);
  for (std::size_t f = 0; f < facets.size(); ++f) {
    if (facets.length(f) < 3) continue;
    const index_t* first = facets.begin(f);
    for (const index_t* v = first; v != facets.end(f); ++v) {
      spanned.unite(*first, *v);
      covered[*v] = 1;
    }
    tick(facets.length(f));
  }
  // Blocks in order of their smallest vertex; then the facets, by the block
  // of their first vertex.
  std::vector<index_t> spanning;
  for (index_t v = 0; v < vertex_count; ++v)
    if (covered[v] != 0) spanning.push_back(v);
  Blocks blocks;
  blocks.vertices = ClassLister(vertex_count).list(spanning, spanned);
  const std::size_t block_count = blocks.vertices.size();
  std::vector<index_t> block_of(vertex_count, none);
  for (std::size_t b = 0; b < block_count; ++b) {
    for (const index_t* v = blocks.vertices.begin(b); v != blocks.vertices.end(b); ++v)
      block_of[*v] = static_cast<index_t>(b);
  }
  const auto block_of_facet = [&](std::size_t f) { return facets.length(f) < 3 ? none : block_of[*facets.begin(f)]; };
  Groups<index_t>& grouped = blocks.facets;
  grouped.starts.assign(block_count + 1, 0);
  for (std::size_t f = 0; f < facets.size(); ++f)
    if (block_of_facet(f) != none) ++grouped.starts[block_of_facet(f) + 1];
  std::partial_sum(grouped.starts.begin(), grouped.starts.end(), grouped.starts.begin());
  grouped.items.resize(grouped.starts.back());
  std::vector<std::size_t> fill(grouped.starts.begin(), grouped.starts.end() - 1);
  for (std::size_t f = 0; f < facets.size(); ++f)
    if (block_of_facet(f) != none) grouped.items[fill[block_of_facet(f)]++] = static_cast<index_t>(f);
  tick(vertex_count + facets.size());
  return blocks;
}

// Joins the facets of one block by counting overlaps, through the generic engine
// run on the block alone with local vertex ids.
void join_by_overlap_counts(const Groups<index_t>& facets, const index_t* block_facets, std::size_t facet_count,
                            const std::vector<index_t>& local_of, index_t vertex_count, PairsByLevel& joins) {
  Groups<index_t> local;
  for (std::size_t i = 0; i < facet_count; ++i) {
    for (const index_t* v = facets.begin(block_facets[i]); v != facets.end(block_facets[i]); ++v)
      local.items.push_back(local_of[*v]);
    local.close_group();
  }
  const std::vector<Groups<index_t>> classes = q_components_by_level(local, vertex_count, joins.level_count());
  for (std::size_t q = 1; q < classes.size(); ++q) {
    for (std::size_t c = 0; c < classes[q].size(); ++c)
      for (const index_t* s = classes[q].begin(c) + 1; s < classes[q].end(c); ++s)
        joins.add(q, block_facets[*classes[q].begin(c)], block_facets[*s]);
  }
}

// Sum over vertices of d(v)^2, d(v) = sets holding v.
std::uint64_t overlap_count_cost(const Groups<index_t>& sets, const index_t* set_ids, std::size_t set_count,
                                 std::vector<index_t>& holding) {
  std::uint64_t cost = 0;
  for (std::size_t i = 0; i < set_count; ++i)
    for (const index_t* v = sets.begin(set_ids[i]); v != sets.end(set_ids[i]); ++v) cost += 2 * holding[*v]++ + 1;
  for (std::size_t i = 0; i < set_count; ++i)
    for (const index_t* v = sets.begin(set_ids[i]); v != sets.end(set_ids[i]); ++v) holding[*v] = 0;
  return cost;
}

// The adjacency route costs about (words + 1) per facet and block vertex and
// keeps one bitset row per block vertex; take it when that is cheaper than the
// overlap counts and the rows stay small next to the facets.
bool prefers_adjacency(std::size_t vertex_count, std::size_t facet_count, std::size_t facet_items,
                       std::uint64_t overlap_cost) {
  const std::uint64_t words = (vertex_count + 63) / 64;
  const std::uint64_t row_words = vertex_count * words;
  return row_words <= 4 * facet_items + (1 << 16) && facet_count * vertex_count * (words + 1) < overlap_cost;
}

}  // namespace

bool overlaps_are_cheap_to_count(const Groups<index_t>& facets, index_t vertex_count) {
  std::vector<index_t> holding(vertex_count, 0);
  std::uint64_t cost = 0;
  for (const index_t v : facets.items) cost += 2 * holding[v]++ + 1;
  return cost <= 16 * std::uint64_t{facets.items.size()};
}

std::vector<Groups<index_t>> facet_components_by_level(const Graph& graph, const Groups<index_t>& facets,
                                                       std::size_t level_count) {
  if (level_count == 0) return {};
  Ticker tick;
  const index_t vertex_count = checked_index(graph.vertex_count());
  PairsByLevel joins(level_count);
  if (level_count > 1) {
    const Blocks blocks = blocks_of(facets, vertex_count, tick);
    std::vector<index_t> local_of(vertex_count, none);
    std::vector<index_t> holding(vertex_count, 0);
    AdjacencyJoiner joiner(graph, facets, local_of, tick);
    for (std::size_t b = 0; b < blocks.facets.size(); ++b) {
      const index_t* block_facets = blocks.facets.begin(b);
      const std::size_t facet_count = blocks.facets.length(b);
      const index_t* vertices = blocks.vertices.begin(b);
      const std::size_t block_size = blocks.vertices.length(b);
      std::size_t facet_items = 0;
      for (std::size_t i = 0; i < facet_count; ++i) facet_items += facets.length(block_facets[i]);
      const std::uint64_t overlap_cost = overlap_count_cost(facets, block_facets, facet_count, holding);
      if (prefers_adjacency(block_size, facet_count, facet_items, overlap_cost)) {
        joiner.join_block(vertices, block_size, block_facets, facet_count, joins);
      } else {
        for (std::size_t l = 0; l < block_size; ++l) local_of[vertices[l]] = static_cast<index_t>(l);
        join_by_overlap_counts(facets, block_facets, facet_count, local_of, checked_index(block_size), joins);
        for (std::size_t l = 0; l < block_size; ++l) local_of[vertices[l]] = none;
      }
    }
  }
  return top_down_levels(facets, vertex_count, level_count, 0, tick,
                         [&](std::size_t q, Dsu& classes) { joins.unite(q, classes); });
}

}  // namespace korvane
