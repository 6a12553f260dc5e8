#include "graph_q_components.hpp"

#include <algorithm>
#include <utility>

#include "clique_levels.hpp"
#include "clique_route.hpp"
#include "dsu.hpp"
#include "facet_levels.hpp"
#include "hash_index.hpp"
#include "level_classes.hpp"
#include "maximal_cliques.hpp"
#include "q_levels.hpp"
#include "small_cliques.hpp"

namespace korvane {

// The clique is sorted into a buffer kept from call to call, so registering
// allocates nothing per clique; its hash chains the vertices in that order.
void CliqueManager::add_clique(const vertex_t* begin, const vertex_t* end) {
  sorted_.assign(begin, end);
  std::sort(sorted_.begin(), sorted_.end());
  sorted_.erase(std::unique(sorted_.begin(), sorted_.end()), sorted_.end());
  const std::size_t size = sorted_.size();
  const std::uint64_t hash = sequence_hash(sorted_.data(), sorted_.data() + size, 0x2545f4914f6cdd1dULL);
  const auto vertex = [&](std::size_t j) { return sorted_[j]; };
  if (registry_.find(hash, size, vertex) != none) return;
  const index_t id = registry_.add(hash, size, vertex);
  if (ids_by_size_.size() <= size) ids_by_size_.resize(size + 1);
  ids_by_size_[size].push_back(id);
}

const std::vector<index_t>& CliqueManager::cliques_by_size(std::size_t size) const {
  static const std::vector<index_t> empty;
  return size < ids_by_size_.size() ? ids_by_size_[size] : empty;
}

namespace {

// Every distinct `size`-vertex subset of the facets holding at least that many
// vertices: the cliques of exactly `size` vertices, each once. The subsets of a
// facet are walked in place instead of being listed first, so they cost no
// memory beyond the registry and the walk can be interrupted between any two.
// The registry holds dense ids, whose order is the caller ids' order.
Groups<index_t> cliques_of_size(const Groups<index_t>& facets, std::size_t size, Ticker& tick) {
  CliqueManager manager;
  Clique facet;
  for (std::size_t f = 0; f < facets.size(); ++f) {
    if (facets.length(f) < size) continue;
    facet.assign(facets.begin(f), facets.end(f));
    get_subcliques(facet.data(), facet.size(), size, [&](const vertex_t* subset) {
      manager.add_clique(subset, subset + size);
      tick(size);
    });
  }
  const Groups<vertex_t>& cliques = manager.cliques();
  std::vector<index_t> order(manager.cliques_by_size(size));
  std::sort(order.begin(), order.end(), [&cliques](index_t a, index_t b) {
    return std::lexicographical_compare(cliques.begin(a), cliques.end(a), cliques.begin(b), cliques.end(b));
  });
  Groups<index_t> level;
  level.items.reserve(cliques.items.size());
  for (const index_t id : order) {
    for (const vertex_t* v = cliques.begin(id); v != cliques.end(id); ++v) level.items.push_back(static_cast<index_t>(*v));
    level.close_group();
  }
  return level;
}

}  // namespace

// With S the size cap, omega the largest clique size and L = min(S, omega):
// at level q <= S-2 two (q+1)-cliques are joined exactly when they are linked
// through facets (maximal cliques) with >= q+1 vertices that pairwise share
// >= q+1 vertices, since all (q+1)-subsets of one facet are chained by its
// (q+2)-subsets. So those levels are the facet q-components. When S >= omega the
// top level follows the same rule; when S < omega it is every S-clique alone.
// Under a cap that binds, the levels may instead come from the cliques of at
// most S vertices, whichever enumeration choose_clique_route finds cheaper.
std::vector<Groups<index_t>> find_all_q_connected_components(const Graph& graph,
                                                             std::optional<std::uint64_t> size_cap) {
  std::vector<Groups<index_t>> levels;
  const std::size_t n = graph.vertex_count();
  if (n == 0) return levels;
  const std::uint64_t cap = size_cap.value_or(n);

  Ticker tick;
  CliqueRoute route = choose_clique_route(graph, cap, tick);
  if (route.small_cliques) return levels_from_small_cliques(*route.small_cliques, tick);
  const Groups<index_t>& facets = route.facets;
  std::size_t largest = 0;
  for (std::size_t f = 0; f < facets.size(); ++f) largest = std::max(largest, facets.length(f));

  const bool capped_top = cap < largest;
  const std::size_t level_count = capped_top ? static_cast<std::size_t>(cap) : largest;
  const std::size_t facet_levels = capped_top ? level_count - 1 : level_count;
  const std::vector<Groups<index_t>> classes = overlaps_are_cheap_to_count(facets, checked_index(n))
                                                   ? q_components_by_level(facets, checked_index(n), facet_levels)
                                                   : facet_components_by_level(graph, facets, facet_levels);
  levels.reserve(level_count);
  for (const Groups<index_t>& level : classes) {
    levels.push_back(class_vertices(
        graph, level, [&](const index_t* f) { return std::pair(facets.begin(*f), facets.end(*f)); }, tick));
  }
  if (capped_top) levels.push_back(cliques_of_size(facets, level_count, tick));
  return levels;
}

namespace {

// The classes of the facets (each of three or more vertices), two joined
// when they share an edge: each edge, known by its place in the neighbour list
// of its lower end, is noted with the first facet that holds it, and every
// later holder joins that one. The work is the facets' pairs of vertices, each
// found by binary search, against the levels engine's work per facet vertex.
Groups<index_t> classes_by_shared_edges(const Graph& graph, const Groups<index_t>& facets, Ticker& tick) {
  std::vector<index_t> first_holder(graph.neighbours.size(), none);
  Dsu classes(checked_index(facets.size()));
  for (std::size_t f = 0; f < facets.size(); ++f) {
    const index_t facet = static_cast<index_t>(f);
    for (const index_t* a = facets.begin(f); a != facets.end(f); ++a) {
      const index_t* place = graph.neighbours_begin(*a);
      for (const index_t* b = a + 1; b != facets.end(f); ++b) {
        place = std::lower_bound(place, graph.neighbours_end(*a), *b);
        index_t& holder = first_holder[static_cast<std::size_t>(place - graph.neighbours.data())];
        if (holder == none) holder = facet;
        else classes.unite(holder, facet);
      }
      tick(facets.length(f));
    }
  }
  return ClassLister(classes.size()).list_all(classes);
}

// The k-clique communities (k >= 3) from the k-cliques, each met once: the
// classes of their faces of k - 1 vertices, two faces joined when they lie in
// one k-clique, each community the vertices of a class. Faces are the edges,
// numbered by the search, for k = 3, and registered as they are met for a
// larger k. Nothing, and false, when the walk through the cliques of at most
// k vertices would weigh more than `budget`: the facets may then cost less.
bool small_clique_communities(const Graph& graph, std::size_t k, std::uint64_t budget, Ticker& tick,
                              Groups<index_t>& communities) {
  SmallCliqueSearch search(graph, k, tick);
  if (k > search.degeneracy() + 1) return true;  // no k-clique
  const bool edges = k == 3;
  Dsu classes(edges ? checked_index(search.edge_count()) : 0);
  std::vector<unsigned char> in_clique(edges ? search.edge_count() : 0, 0);
  CliqueRegistry<index_t> faces;
  // The walk passes every clique of at most k vertices: its weight (see
  // weight_within) is checked, by the bound from the later neighbours' counts
  // where that settles it, else by a count that stops at the budget.
  if (search.weight_bound() > static_cast<double>(budget) && !search.weight_within(budget)) return false;
  std::vector<index_t> face_ids(k);
  std::vector<index_t> face(k - 1);  // the clique less one vertex
  const auto face_id = [&](const index_t* clique, std::size_t skipped) {
    if (edges) {
      const index_t id = search.edge_id(clique[skipped == 0 ? 1 : 0], clique[skipped == 2 ? 1 : 2]);
      in_clique[id] = 1;
      return id;
    }
    std::copy(clique, clique + skipped, face.begin());
    std::copy(clique + skipped + 1, clique + k, face.begin() + static_cast<std::ptrdiff_t>(skipped));
    const std::uint64_t hash = sequence_hash(face.data(), face.data() + face.size(), 0x2545f4914f6cdd1dULL);
    const auto vertex = [&](std::size_t j) { return face[j]; };
    index_t id = faces.find(hash, k - 1, vertex);
    if (id == none) {
      id = faces.add(hash, k - 1, vertex);
      classes.grow(id + 1);
    }
    return id;
  };
  search.for_each_largest([&](const index_t* clique) {
    for (std::size_t skipped = 0; skipped < k; ++skipped) face_ids[skipped] = face_id(clique, skipped);
    for (std::size_t j = 1; j < k; ++j) classes.unite(face_ids[0], face_ids[j]);
  });
  std::vector<index_t> present;
  for (index_t f = 0; f < classes.size(); ++f)
    if (!edges || in_clique[f] != 0) present.push_back(f);
  const Groups<index_t> face_classes = ClassLister(classes.size()).list(present, classes);
  if (edges) {
    const std::vector<index_t> ends = search.edge_ends();
    const auto edge_ends = [&](const index_t* e) { return std::pair(ends.data() + 2 * *e, ends.data() + 2 * *e + 2); };
    communities = class_vertices(graph, face_classes, edge_ends, tick);
  } else {
    communities = class_vertices(
        graph, face_classes, [&](const index_t* f) { return std::pair(faces.begin(*f), faces.end(*f)); }, tick);
  }
  return true;
}

// True when the facets hold at most `budget` pairs of vertices.
bool pairs_within(const Groups<index_t>& facets, double budget) {
  double pairs = 0;
  for (std::size_t f = 0; f < facets.size(); ++f) {
    const double length = static_cast<double>(facets.length(f));
    pairs += length * (length - 1) / 2;
  }
  return pairs <= budget;
}

}  // namespace

// A component of level k-2 with at least k vertices holds a k-clique; the
// (k-1)-cliques in it are chained by k-cliques (a larger clique chains its
// own), so it is a class of k-cliques joined through shared faces, and that is
// how it is found while the k-cliques are few. Otherwise from the facets: such
// a component joins maximal cliques of at least k vertices, while a maximal
// clique of k-1 vertices shares k-1 vertices with no other (it would lie
// inside it) and stays a component of k-1 vertices. So the maximal cliques of
// at least k vertices, joined when they share k-1, give the communities: the
// top level of an engine of k-1 levels that stops there, or for k = 3 and
// small facets, the classes of facets that share an edge.
Groups<index_t> clique_communities(const Graph& graph, std::size_t k) {
  if (k < 2 || k > graph.vertex_count()) return {};
  Ticker tick;
  const index_t n = checked_index(graph.vertex_count());
  if (k == 2) {
    // The 2-clique communities are the connected components with an edge.
    Dsu components(n);
    std::vector<index_t> linked;
    for (index_t v = 0; v < n; ++v) {
      if (graph.degree(v) == 0) continue;
      linked.push_back(v);
      for (const index_t* u = graph.neighbours_begin(v); u != graph.neighbours_end(v); ++u) components.unite(v, *u);
      tick(graph.degree(v));
    }
    return ClassLister(n).list(linked, components);
  }
  // The walk weighs k squared per k-clique, and a k-clique costs k faces (some
  // 10 ns each for an edge, 100 for a registered face); a facet vertex costs
  // 100 to 800 ns in the levels engine. The cliques are taken while their
  // walk weighs little next to the edges.
  Groups<index_t> communities;
  if (small_clique_communities(graph, k, 16 * graph.neighbours.size() + (1 << 19), tick, communities))
    return communities;
  Groups<index_t> facets;
  for_each_maximal_clique(
      graph, tick,
      [&](const std::vector<index_t>& clique) {
        facets.items.insert(facets.items.end(), clique.begin(), clique.end());
        facets.close_group();
      },
      k);
  if (facets.size() == 0) return {};
  const auto vertices_of = [&](const index_t* f) { return std::pair(facets.begin(*f), facets.end(*f)); };
  // For k = 3 the facets share k - 1 vertices when they share an edge; where
  // they are small, finding their edges costs less than the engine (measured
  // on sparse, dense and geometric graphs: a pair costs some 40 ns, a facet
  // vertex in the engine 100 to 800 ns).
  if (k == 3 && pairs_within(facets, 4.0 * static_cast<double>(facets.items.size())))
    return class_vertices(graph, classes_by_shared_edges(graph, facets, tick), vertices_of, tick);
  const std::vector<Groups<index_t>> levels = q_components_by_level(facets, n, k - 1, k - 2);
  return class_vertices(graph, levels[k - 2], vertices_of, tick);
}

}  // namespace korvane
