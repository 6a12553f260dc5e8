// Checks of the graph core that need no Python: the worked examples of the
// union-find, the clique registry and graph building, and a filter that lists
// maximal cliques for comparison with another implementation.
//
//   graph_core_check examples  run the built-in checks; prints "ok"
//   graph_core_check kernels   run the checks of the shared kernels; prints "ok"
//   graph_core_check cliques   read "u v" lines, print each maximal clique
//   graph_core_check small S   read "u v" lines, print each clique of at most S vertices
//   graph_core_check sized S   read "u v" lines, print each clique of exactly S vertices
//   graph_core_check count S N read "u v" lines, print the counting walk's tally per size 1 .. S,
//                              after "stopped N" when the N-th call stops it
//   graph_core_check hubs B    read one set of vertex ids per line, print the
//                              levels of the hub-aware join whose spanning
//                              forests may weigh B pairs per vertex occurrence
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>

#include "check.hpp"
#include "dsu.hpp"
#include "graph_q_components.hpp"
#include "level_classes.hpp"
#include "maximal_cliques.hpp"
#include "prefix_join.hpp"
#include "q_levels.hpp"
#include "small_cliques.hpp"

using namespace korvane;

int run_kernel_checks();  // kernel_checks.cpp

namespace {

using Ids = std::vector<index_t>;

std::vector<Clique> groups_of(const Groups<vertex_t>& groups) {
  std::vector<Clique> result;
  for (std::size_t g = 0; g < groups.size(); ++g) result.emplace_back(groups.begin(g), groups.end(g));
  return result;
}

// The cliques' classes and the vertices they cover, read out as the levels do.
std::vector<Clique> components(const Graph& graph, Dsu& dsu, const Groups<index_t>& cliques) {
  Ticker tick;
  const Groups<index_t> classes = ClassLister(dsu.size()).list_all(dsu);
  const Groups<index_t> dense = class_vertices(
      graph, classes, [&](const index_t* c) { return std::pair(cliques.begin(*c), cliques.end(*c)); }, tick);
  std::vector<Clique> result(dense.size());
  for (std::size_t g = 0; g < dense.size(); ++g)
    for (const index_t* v = dense.begin(g); v != dense.end(g); ++v) result[g].push_back(graph.ids[*v]);
  return result;
}

void dsu_worked_example() {
  // Cliques 0 = {1, 2}, 1 = {2, 3}, 2 = {5, 6}; caller ids 1, 2, 3, 5, 6 are dense 0 .. 4.
  const Graph graph = build_graph({{1, 2}, {2, 3}, {5, 6}});
  Groups<index_t> cliques;
  for (const auto& [a, b] : {std::pair(0u, 1u), std::pair(1u, 2u), std::pair(3u, 4u)}) {
    cliques.items.insert(cliques.items.end(), {a, b});
    cliques.close_group();
  }
  Dsu dsu(3);
  CHECK(dsu.unite(0, 1));  // equal sizes: the first argument's root wins
  CHECK(dsu.find(1) == 0);
  CHECK(components(graph, dsu, cliques) == (std::vector<Clique>{{1, 2, 3}, {5, 6}}));
  CHECK(dsu.unite(2, 1));  // the class of 1 is larger, so its root 0 wins
  CHECK(dsu.find(2) == 0);
  CHECK(components(graph, dsu, cliques) == (std::vector<Clique>{{1, 2, 3, 5, 6}}));
}

// Classes come in order of their smallest id whatever their roots, ids
// ascending; one lister serves successive listings of one Dsu.
void class_listing() {
  Dsu dsu(5);
  dsu.unite(3, 1);  // root 3
  dsu.unite(4, 0);  // root 4
  ClassLister lister(dsu.size());
  const Groups<index_t> all = lister.list_all(dsu);
  CHECK(all.items == (Ids{0, 4, 1, 3, 2}) && all.starts == (std::vector<std::size_t>{0, 2, 4, 5}));
  const Groups<index_t> some = lister.list(Ids{1, 2, 3}, dsu);
  CHECK(some.items == (Ids{1, 3, 2}) && some.starts == (std::vector<std::size_t>{0, 2, 3}));
  dsu.unite(2, 3);
  const Groups<index_t> merged = lister.list(Ids{0, 1, 2, 3, 4}, dsu);
  CHECK(merged.items == (Ids{0, 4, 1, 2, 3}) && merged.starts == (std::vector<std::size_t>{0, 2, 5}));
  CHECK(lister.list(Ids{}, dsu).size() == 0);
}

// Union by size, the first argument's root winning ties.
void dsu_tie_break() {
  Dsu dsu(5);
  CHECK(dsu.unite(1, 2) && dsu.find(2) == 1);
  CHECK(dsu.unite(3, 4) && dsu.find(4) == 3);
  CHECK(dsu.unite(1, 3));  // sizes 2 and 2
  CHECK(dsu.find(4) == 1 && dsu.find(3) == 1);
  CHECK(dsu.find(0) == 0);

  // The second argument wins when its class is strictly larger.
  Dsu larger_second(3);
  larger_second.unite(1, 2);
  larger_second.unite(0, 2);
  CHECK(larger_second.find(0) == 1);
}

void dsu_no_ops() {
  Dsu dsu(3);
  CHECK(dsu.unite(1, 2) && dsu.unite(0, 1));
  CHECK(!dsu.unite(1, 1));
  CHECK(!dsu.unite(2, 0));  // already one class
  CHECK(dsu.find(0) == 1 && dsu.find(2) == 1);
  dsu.grow(2);  // never shrinks
  CHECK(dsu.size() == 3);
  dsu.grow(5);  // new ids are singletons
  CHECK(dsu.size() == 5 && dsu.find(3) == 3 && dsu.find(4) == 4 && dsu.find(0) == 1);
}

void clique_manager_registration() {
  CliqueManager manager;
  CHECK(manager.cliques_by_size(1).empty());
  manager.add_clique({1, 2});
  manager.add_clique({3});
  manager.add_clique({1, 2});
  manager.add_clique({3, 2});  // stored as {2, 3}
  CHECK(manager.clique_count() == 3);
  CHECK(groups_of(manager.cliques()) == (std::vector<Clique>{{1, 2}, {3}, {2, 3}}));
  CHECK(manager.cliques_by_size(2) == (Ids{0, 2}));
  CHECK(manager.cliques_by_size(1) == (Ids{1}));
  CHECK(manager.cliques_by_size(3).empty());

  // Many cliques force the index to grow; every repeat must still be found.
  CliqueManager many;
  for (vertex_t a = 0; a < 60; ++a) {
    for (vertex_t b = a + 1; b < 60; ++b) many.add_clique({a, b});
  }
  for (vertex_t a = 0; a < 60; ++a) many.add_clique({a + 1, a});
  CHECK(many.clique_count() == 60 * 59 / 2 + 1);
  CHECK(many.cliques_by_size(2).size() == 60 * 59 / 2 + 1);
}

std::vector<Clique> subcliques_of(const Clique& clique, std::size_t size) {
  std::vector<Clique> listed;
  get_subcliques(clique.data(), clique.size(), size,
                 [&](const vertex_t* subset) { listed.emplace_back(subset, subset + size); });
  return listed;
}

void subcliques() {
  CHECK(subcliques_of({1, 2, 3, 4}, 2) == (std::vector<Clique>{{1, 2}, {1, 3}, {1, 4}, {2, 3}, {2, 4}, {3, 4}}));
  CHECK(subcliques_of({4, 9, 12}, 1) == (std::vector<Clique>{{4}, {9}, {12}}));
  CHECK(subcliques_of({5, 7, 9}, 3) == (std::vector<Clique>{{5, 7, 9}}));
  CHECK(subcliques_of({5, 7, 9}, 0).empty());
  CHECK(subcliques_of({5, 7, 9}, 4).empty());
  for (std::size_t size = 0; size < 3; ++size) CHECK(subcliques_of({}, size).empty());

  // C(12, 5) subsets, each once, strictly ascending lexicographically.
  const std::vector<Clique> listed = subcliques_of({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}, 5);
  CHECK(listed.size() == 792);
  bool ascending = true;
  for (std::size_t i = 1; i < listed.size(); ++i) ascending = ascending && listed[i - 1] < listed[i];
  CHECK(ascending);
}

void graph_building() {
  const Graph graph = build_graph({{30, 10}, {10, 30}, {20, 20}, {10, 40}, {40, 10}});
  CHECK(graph.ids == (std::vector<vertex_t>{10, 20, 30, 40}));
  CHECK(graph.degree(0) == 2 && graph.neighbours_begin(0)[0] == 2 && graph.neighbours_begin(0)[1] == 3);
  CHECK(graph.degree(1) == 0);  // a self-loop only adds its vertex
  CHECK(graph.degree(2) == 1 && graph.degree(3) == 1);
  CHECK(build_graph({}).vertex_count() == 0);

  // Ids spread far apart are numbered by sorting rather than by table: same shape.
  const vertex_t far = vertex_t{1} << 60;
  const Graph spread = build_graph({{3 * far, far}, {far, 3 * far}, {2 * far, 2 * far}, {far, 4 * far}, {4 * far, far}});
  CHECK(spread.ids == (std::vector<vertex_t>{far, 2 * far, 3 * far, 4 * far}));
  CHECK(spread.offsets == graph.offsets && spread.neighbours == graph.neighbours);
}

int run_examples() {
  dsu_worked_example();
  dsu_tie_break();
  dsu_no_ops();
  class_listing();
  clique_manager_registration();
  subcliques();
  graph_building();
  if (checks::failures() != 0) return 1;
  std::puts("ok");
  return 0;
}

std::vector<Edge> read_edges() {
  std::vector<Edge> edges;
  vertex_t u = 0;
  vertex_t v = 0;
  while (std::cin >> u >> v) edges.emplace_back(u, v);
  return edges;
}

int print_cliques() {
  const Graph graph = build_graph(read_edges());
  Ticker tick;
  for_each_maximal_clique(graph, tick, [&](const std::vector<index_t>& clique) {
    std::string line;
    for (const index_t v : clique) line += std::to_string(graph.ids[v]) + ' ';
    std::puts(line.c_str());
  });
  return 0;
}

void print_clique(const Graph& graph, const index_t* clique, std::size_t size) {
  std::string line;
  for (std::size_t i = 0; i < size; ++i) line += std::to_string(graph.ids[clique[i]]) + ' ';
  std::puts(line.c_str());
}

int print_small_cliques(std::size_t max_size) {
  const Graph graph = build_graph(read_edges());
  Ticker tick;
  SmallCliqueSearch search(graph, max_size, tick);
  search.run([&](const index_t* clique, std::size_t size, index_t, index_t, bool) {
    print_clique(graph, clique, size);
    return SmallCliqueSearch::no_tag;
  });
  return 0;
}

int print_cliques_of_size(std::size_t size) {
  const Graph graph = build_graph(read_edges());
  Ticker tick;
  SmallCliqueSearch search(tick);
  for_each_clique_of_size(search, graph, size, [&](const index_t* clique) { print_clique(graph, clique, size); });
  return 0;
}

// Prints the number of cliques of each size 1 .. max_size, as the counting
// walk tallies them, and "stopped N" when the walk is stopped after `stop_after` calls.
int print_clique_counts(std::size_t max_size, std::size_t stop_after) {
  const Graph graph = build_graph(read_edges());
  Ticker tick;
  SmallCliqueSearch search(graph, max_size, tick);
  std::vector<std::size_t> counts(max_size + 1, 0);
  std::size_t calls = 0;
  const bool finished = search.count([&](std::size_t size, std::size_t cliques) {
    counts[size] += cliques;
    return ++calls < stop_after;
  });
  if (!finished) std::printf("stopped %zu\n", calls);
  for (std::size_t size = 1; size <= max_size; ++size) std::printf("%zu\n", counts[size]);
  return 0;
}

// The levels of the sets read, one class per "; "-separated field of a level's
// line, through the hub-aware join under the given forest budget: with a small
// budget the lists the forests would cover are paired one by one instead.
int print_hub_levels(std::uint64_t budget) {
  Groups<index_t> sets;
  index_t vertex_count = 0;
  std::size_t largest = 0;
  for (std::string line; std::getline(std::cin, line);) {
    std::istringstream fields(line);
    const std::size_t first = sets.items.size();
    for (index_t v; fields >> v;) {
      sets.items.push_back(v);
      vertex_count = std::max(vertex_count, v + 1);
    }
    std::sort(sets.items.begin() + first, sets.items.end());
    sets.items.erase(std::unique(sets.items.begin() + first, sets.items.end()), sets.items.end());
    largest = std::max(largest, sets.items.size() - first);
    sets.close_group();
  }
  Ticker tick;
  PrefixJoin join(sets, vertex_count, largest, tick, budget);
  const std::vector<Groups<index_t>> levels = top_down_levels(
      sets, vertex_count, largest, 0, tick, [&](std::size_t q, Dsu& classes) { join.join(q, classes, tick); });
  for (const Groups<index_t>& level : levels) {
    std::string line;
    for (std::size_t c = 0; c < level.size(); ++c) {
      if (c > 0) line += "; ";
      for (const index_t* s = level.begin(c); s != level.end(c); ++s) line += std::to_string(*s) + ' ';
    }
    std::puts(line.c_str());
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "examples") == 0) return run_examples();
  if (argc >= 2 && std::strcmp(argv[1], "kernels") == 0) return run_kernel_checks();
  if (argc >= 2 && std::strcmp(argv[1], "cliques") == 0) return print_cliques();
  if (argc >= 3 && std::strcmp(argv[1], "small") == 0) return print_small_cliques(std::stoul(argv[2]));
  if (argc >= 3 && std::strcmp(argv[1], "sized") == 0) return print_cliques_of_size(std::stoul(argv[2]));
  if (argc >= 4 && std::strcmp(argv[1], "count") == 0)
    return print_clique_counts(std::stoul(argv[2]), std::stoul(argv[3]));
  if (argc >= 3 && std::strcmp(argv[1], "hubs") == 0) return print_hub_levels(std::stoull(argv[2]));
  std::fputs("usage: graph_core_check examples | kernels | cliques | small S | sized S | count S STOP | hubs B\n", stderr);
  return 2;
}
