// Graph levels from the cliques of at most S vertices.
#pragma once

#include "graph_q_components.hpp"

namespace korvane {

// The levels of find_all_q_connected_components for a size cap S >= 1, built
// from the cliques of at most S vertices alone. At level q <= S-2 two
// (q+1)-cliques are joined exactly when a chain of (q+2)-cliques links them: a
// larger clique chains its (q+1)-subsets through its own (q+2)-subsets, so it
// adds nothing. The top level, L-1 with L the largest clique size up to S,
// lists each L-clique alone. The work is about S times the number of cliques
// of at most S vertices.
std::vector<Groups<vertex_t>> levels_from_small_cliques(const Graph& graph, std::uint64_t size_cap, Ticker& tick);

}  // namespace korvane
