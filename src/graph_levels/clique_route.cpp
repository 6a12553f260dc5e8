#include "clique_route.hpp"

#include <algorithm>
#include <cstddef>
#include <limits>
#include <vector>

#include "maximal_cliques.hpp"

namespace korvane {

namespace {

struct FacetBudgetSpent {};

// C(f, s) for s <= f, as a floating estimate: it is only compared with budgets.
double binomial(std::size_t f, std::size_t s) {
  const std::size_t r = std::min(s, f - s);
  double c = 1;
  for (std::size_t i = 1; i <= r; ++i) c = c * static_cast<double>(f - r + i) / static_cast<double>(i);
  return c;
}

// The estimated cost of the levels from the facets, in the units of
// SmallCliqueSearch::weight_within (measured to cost alike, some 20 ns): two
// per facet vertex and one per 8 pairs of facets that share a vertex (the sum
// over vertices of the square of the number of facets holding it), which is
// what listing the facets and joining them costs; and 8S per S-subset of the
// facets with more than S vertices, which the top level lists and deduplicates.
struct FacetCost {
  double listing = 0;
  double top = 0;
};

// Lists the facets into `facets` and returns their cost, or nothing as soon as
// the cost of listing and joining them exceeds `budget`. Without a budget the
// cost is not counted.
std::optional<FacetCost> facets_within(const Graph& graph, std::uint64_t size_cap, double budget, Ticker& tick,
                                       Groups<index_t>& facets) {
  facets = Groups<index_t>();
  // Without triangles the facets are the edges, 2 ids each.
  facets.items.reserve(graph.neighbours.size());
  const bool bounded = budget < std::numeric_limits<double>::infinity();
  std::vector<std::uint64_t> holding(bounded ? graph.vertex_count() : 0, 0);
  FacetCost cost;
  try {
    for_each_maximal_clique(graph, tick, [&](const std::vector<index_t>& clique) {
      facets.items.insert(facets.items.end(), clique.begin(), clique.end());
      facets.close_group();
      if (!bounded) return;
      cost.listing += 2.0 * static_cast<double>(clique.size());
      for (const index_t v : clique) cost.listing += (2.0 * static_cast<double>(holding[v]++) + 1) / 8;
      if (clique.size() > size_cap) {
        cost.top += 8.0 * static_cast<double>(size_cap) * binomial(clique.size(), static_cast<std::size_t>(size_cap));
      }
      if (cost.listing > budget) throw FacetBudgetSpent{};
    });
  } catch (const FacetBudgetSpent&) {
    facets = Groups<index_t>();
    return std::nullopt;
  }
  return cost;
}

}  // namespace

// The two routes both pay for the top level's output and differ in the rest:
// from the cliques of at most S vertices the work is W, their weight (see
// SmallCliqueSearch::weight_within); from the facets it is FacetCost, which
// grows with the square of the number of facets per vertex on dense graphs,
// and with the S-subsets of the facets when S is close to the clique number.
// Neither is known in advance, so they race under a budget that starts linear
// in the graph and grows 4 times a round: the cliques are counted up to the
// budget, and the facets are listed while listing and joining them stays
// within it. The first count that ends takes the small cliques; once the
// facets are listed, their whole cost C is known, and the cliques are counted
// up to C to settle the choice. So the route taken costs at most about 4
// times the cheaper one, plus the abandoned attempts, which cost about as
// much again, and a capped sparse graph is settled by a bound on W without
// counting or listing anything.
// When S exceeds d + 1, d the degeneracy, the cap cannot bind (no clique has
// more vertices) and the facets are taken at once, as for an uncapped call.
CliqueRoute choose_clique_route(const Graph& graph, std::uint64_t size_cap, Ticker& tick) {
  CliqueRoute route;
  const std::size_t n = graph.vertex_count();
  std::size_t largest_degree = 0;
  for (index_t v = 0; v < n; ++v) largest_degree = std::max(largest_degree, graph.degree(v));
  if (size_cap <= largest_degree + 1) {
    SmallCliqueSearch& search = route.small_cliques.emplace(graph, static_cast<std::size_t>(size_cap), tick);
    if (size_cap <= search.degeneracy() + 1) {
      std::uint64_t budget = 8 * (n + graph.neighbours.size()) + (1 << 16);
      if (search.weight_bound() <= static_cast<double>(budget)) return route;
      constexpr std::uint64_t most = std::numeric_limits<std::uint64_t>::max() / 4;
      for (;; budget = std::min(4 * budget, most)) {
        if (search.weight_within(budget)) return route;
        if (const auto cost = facets_within(graph, size_cap, static_cast<double>(budget), tick, route.facets)) {
          const double whole = cost->listing + cost->top;
          if (whole > static_cast<double>(budget) && whole < static_cast<double>(most) &&
              search.weight_within(static_cast<std::uint64_t>(whole))) {
            route.facets = Groups<index_t>();
            return route;
          }
          break;
        }
      }
    }
  }
  route.small_cliques.reset();
  if (route.facets.size() == 0) facets_within(graph, size_cap, std::numeric_limits<double>::infinity(), tick, route.facets);
  return route;
}

}  // namespace korvane
