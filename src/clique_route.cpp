#include "clique_route.hpp"

#include <algorithm>
#include <limits>

#include "small_cliques.hpp"

namespace korvane {

namespace {

struct FacetBudgetSpent {};

// C(f, s) for s <= f, as a floating estimate: it is only compared with a budget.
double binomial(std::size_t f, std::size_t s) {
  const std::size_t r = std::min(s, f - s);
  double c = 1;
  for (std::size_t i = 1; i <= r; ++i) c = c * static_cast<double>(f - r + i) / static_cast<double>(i);
  return c;
}

// Lists the facets into `facets`, or returns false as soon as the estimated
// cost of building the levels from them exceeds `budget`: their vertices, the
// pairs of facets that share a vertex (the sum over vertices of the square of
// the number of facets holding it), and, under a cap S, the S-subsets of the
// larger facets that the top level lists and deduplicates.
bool facets_within(const Graph& graph, std::uint64_t size_cap, double budget, Ticker& tick, Groups<index_t>& facets) {
  facets = Groups<index_t>();
  // Without triangles the facets are the edges, 2 ids each.
  facets.items.reserve(graph.neighbours.size());
  const bool bounded = budget < std::numeric_limits<double>::infinity();
  std::vector<std::uint64_t> holding(bounded ? graph.vertex_count() : 0, 0);
  double cost = 0;
  try {
    for_each_maximal_clique(graph, tick, [&](const std::vector<index_t>& clique) {
      facets.items.insert(facets.items.end(), clique.begin(), clique.end());
      facets.close_group();
      if (!bounded) return;
      cost += static_cast<double>(clique.size());
      for (const index_t v : clique) cost += 2.0 * static_cast<double>(holding[v]++) + 1;
      if (clique.size() > size_cap) cost += 2 * binomial(clique.size(), static_cast<std::size_t>(size_cap));
      if (cost > budget) throw FacetBudgetSpent{};
    });
  } catch (const FacetBudgetSpent&) {
    facets = Groups<index_t>();
    return false;
  }
  return true;
}

}  // namespace

// Both routes pay for the top level's output; they differ in the rest. From
// the cliques of at most S vertices the work is W = sum of k * (number of
// k-cliques) for k <= S; from the facets it is the estimate of facets_within,
// which grows with the square of the number of facets per vertex on dense
// graphs and explodes when S is close to the clique number. Neither is known
// in advance, so the two race: each gets a budget, the budget is multiplied by
// 4 until one finishes within it, and the first to finish is taken, so the
// route taken costs at most about 4 times the cheaper one, and the abandoned
// attempts about as much again. The small cliques go first in each round, and
// the first budget is linear in the graph, so a capped sparse graph never
// lists its facets. When S exceeds the degeneracy d the cap cannot bind
// (a clique has at most d + 1 vertices) and the facets are taken at once;
// so are they for an uncapped call, whose S is at least the largest degree.
CliqueRoute choose_clique_route(const Graph& graph, std::uint64_t size_cap, Ticker& tick) {
  CliqueRoute route;
  const std::size_t n = graph.vertex_count();
  std::size_t largest_degree = 0;
  for (index_t v = 0; v < n; ++v) largest_degree = std::max(largest_degree, graph.degree(v));
  if (size_cap <= largest_degree) {
    SmallCliqueSearch search(graph, static_cast<std::size_t>(size_cap), tick);
    if (size_cap <= search.degeneracy()) {
      constexpr std::uint64_t most = std::numeric_limits<std::uint64_t>::max() / 4;
      for (std::uint64_t budget = 4 * (n + graph.neighbours.size()) + (1 << 16);; budget = std::min(4 * budget, most)) {
        if (search.weight_within(budget)) {
          route.small_cliques = true;
          return route;
        }
        if (facets_within(graph, size_cap, static_cast<double>(budget), tick, route.facets)) return route;
      }
    }
  }
  facets_within(graph, size_cap, std::numeric_limits<double>::infinity(), tick, route.facets);
  return route;
}

}  // namespace korvane
