// Which cliques the graph levels are built from.
#pragma once

#include "graph_q_components.hpp"

namespace korvane {

struct CliqueRoute {
  bool small_cliques = false;  // from the cliques of at most S vertices, not from the facets
  Groups<index_t> facets;      // the maximal cliques, listed when small_cliques is false
};

CliqueRoute choose_clique_route(const Graph& graph, std::uint64_t size_cap, Ticker& tick);

}  // namespace korvane
