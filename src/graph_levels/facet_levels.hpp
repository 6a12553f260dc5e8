// The q-components of a graph's maximal cliques, found through the graph's
// adjacency instead of by counting the overlap of every pair of facets.
#pragma once

#include <cstddef>
#include <vector>

#include "core.hpp"
#include "graph.hpp"

namespace korvane {

// True when counting the overlap of every pair of facets that share a vertex
// (about the sum over vertices of d(v)^2, d(v) = facets holding v) costs no
// more than a few passes over the facets: then that is the cheaper route.
bool overlaps_are_cheap_to_count(const Groups<index_t>& facets, index_t vertex_count);

// The contract of q_components_by_level, for `facets` = every maximal clique of
// `graph` (dense ids, each ascending): entry q partitions the facets with at
// least q+1 vertices, two joined when they share at least q+1 vertices; classes
// list their facet ids ascending, in ascending order of their smallest id.
std::vector<Groups<index_t>> facet_components_by_level(const Graph& graph, const Groups<index_t>& facets,
                                                       std::size_t level_count);

}  // namespace korvane
