// Which cliques the graph levels are built from.
#pragma once

#include <cstdint>
#include <optional>

#include "core.hpp"
#include "graph.hpp"
#include "small_cliques.hpp"

namespace korvane {

struct CliqueRoute {
  std::optional<SmallCliqueSearch> small_cliques;  // set when the levels come from the cliques of at most S vertices
  Groups<index_t> facets;                          // otherwise the maximal cliques
};

CliqueRoute choose_clique_route(const Graph& graph, std::uint64_t size_cap, Ticker& tick);

}  // namespace korvane
