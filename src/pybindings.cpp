// The Python module `korvane`: its table of functions, one row each, and its
// initialisation. A row names the function and its parameters and points to
// its body, which converts the arguments, runs the core without the
// interpreter lock and builds the result; the pieces it uses are in binding/
// (the parser, the converters, the builders, the call boundary and the PyPy
// route).
#include <array>
#include <cstdlib>
#include <cstdint>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "adjacency_rows.hpp"
#include "arguments.hpp"
#include "call_boundary.hpp"
#include "graph_q_components.hpp"
#include "lib.hpp"
#include "module_function.hpp"
#include "pypy_route.hpp"
#include "python.hpp"
#include "results.hpp"
#include "signals.hpp"
#include "tree_functions.hpp"

namespace korvane::binding {
namespace {

// ---------------------------------------------------------------------------
// The module functions

// For each level q, the q-components of the simplices as sets of their
// positions in py_simplices.
PyRef hierarchy_levels(const Arguments& arguments, Ticker& tick) {
  Groups<vertex_t> simplices;
  if (!convert_simplices(arguments[0], simplices, tick)) return {};
  const auto levels = without_interpreter_lock([&] { return find_hierarchical_q_components(simplices); });
  return build_position_levels(levels, simplices.size(), tick);
}

// ((q, vertices), birth, death) for every component met while the weighted
// edges are added by weight.
PyRef persistence_records(const Arguments& arguments, Ticker& tick) {
  std::vector<WeightedEdge> edges;
  std::optional<std::uint64_t> size_cap;
  if (!convert_edge_tuples(arguments[0], edges, tick) || !convert_size_cap(arguments[1], size_cap)) return {};
  const auto records =
      without_interpreter_lock([&] { return calculate_persistent_q_components(std::move(edges), size_cap); });
  return build_persistence(records, tick);
}

// For each level q, the q-components of the graph's clique complex as sets of
// vertex ids.
PyRef graph_levels(const Arguments& arguments, Ticker& tick) {
  std::vector<Edge> edges;
  std::optional<std::uint64_t> size_cap;
  if (!convert_edge_tuples(arguments[0], edges, tick) || !convert_size_cap(arguments[1], size_cap)) return {};
  Graph graph;
  const auto levels = without_interpreter_lock([&] {
    graph = build_graph(edges);
    return find_all_q_connected_components(graph, size_cap);
  });
  return build_vertex_levels(levels, graph.ids, tick);
}

// The k-clique communities of a graph given as compressed sparse rows, as
// lists of its vertex numbers.
PyRef clique_communities(const Arguments& arguments, Ticker& tick) {
  std::vector<vertex_t> offsets, neighbours;
  std::size_t k = 0;
  if (!convert_clique_size(arguments[2], k) ||
      !convert_adjacency(arguments[0], arguments[1], offsets, neighbours, tick))
    return {};
  Graph graph;
  const auto communities = without_interpreter_lock([&] {
    graph = build_graph_from_rows(offsets, neighbours);
    return korvane::clique_communities(graph, k);
  });
  return build_vertex_groups(communities, graph.ids, tick);
}

// ---------------------------------------------------------------------------
// The table, in the order of the module's __all__

constexpr ModuleFunction module_functions[] = {
    {"py_find_hierarchical_q_components", {"py_simplices"}, 1, hierarchy_levels},
    {"py_calculate_persistent_q_components", {"edges", "max_q"}, 2, persistence_records},
    {"py_find_hierarchical_q_components_within_graph", {"edges", "max_q"}, 2, graph_levels},
    // Beside the three, outside __all__: clique percolation for one k, and the
    // community tree and its queries.
    {"clique_communities", {"indptr", "indices", "k"}, 3, clique_communities, 0, {},
     "The k-clique communities (clique percolation, k >= 2) of the undirected graph\n"
     "whose vertex i has the neighbours indices[indptr[i]:indptr[i + 1]], the\n"
     "compressed sparse rows of scipy's CSR matrices (an edge may be listed from\n"
     "one end or both; repeats and self-loops are ignored). A community is the\n"
     "union of a class of k-cliques, two joined when they share k - 1 vertices:\n"
     "a component of level k - 2 of py_find_hierarchical_q_components_within_graph\n"
     "with at least k vertices, computed for this k alone. A list of ascending\n"
     "vertex lists, in ascending order."},
    {"adjacency_rows", {"adjacency"}, 1, adjacency_rows, 0, {},
     "A graph's adjacency mapping (each node to its neighbours, as a dict of dicts\n"
     "or of any iterables) as (labels, indptr, indices) for clique_communities:\n"
     "labels lists the mapping's nodes in its order, and node i has the neighbours\n"
     "labels[j] for j in indices[indptr[i]:indptr[i + 1]]. A neighbour that is\n"
     "not a node raises KeyError. Neighbours are found by identity first, and by\n"
     "equality only where they are not the very objects that are the nodes."},
    {"persistence_tree", {"edges", "max_q", "ties"}, 2, persistence_tree, 1, {nullptr, nullptr, "'separate'"},
     "The records of py_calculate_persistent_q_components(edges, max_q) as a\n"
     "community tree: a list of (q, birth, death, parents, added) tuples, in order\n"
     "of birth. A record's vertex set is the union of the vertex sets of the\n"
     "records its tuple `parents` names (indices of earlier records) and of its\n"
     "list `added` (ascending; vertices in none of the parents' sets). Expanding\n"
     "every record gives that function's records, as a multiset, in a result\n"
     "near linear in the edges instead of quadratic in the components' sizes.\n\n"
     "ties='separate' adds edges of equal weight one at a time, in input order, as\n"
     "that function does. ties='grouped' adds all edges of one weight in one step:\n"
     "no record is then born and gone at one weight (but those born at the last\n"
     "weight, which die there as every survivor does), and the tree does not\n"
     "depend on the order of equal weights.\n\n"
     "Read it with tree_vertices, tree_alive, tree_communities and tree_records."},
    {"tree_vertices", {"tree", "record"}, 2, tree_vertices, 0, {},
     "The vertex set of record `record` (an index, negative from the end) of a\n"
     "tree from persistence_tree, as an ascending list."},
    {"tree_alive", {"tree", "q", "weight"}, 3, tree_alive, 0, {},
     "The records of a tree from persistence_tree at level q that are alive at\n"
     "`weight` (birth <= weight < death), as (index, vertices) pairs in the tree's\n"
     "order, vertices ascending."},
    {"tree_communities", {"tree", "k", "weight"}, 3, tree_communities, 0, {},
     "The k-clique communities (clique percolation, k >= 2) of the graph of the\n"
     "edges of weight at most `weight`: the records of a tree from\n"
     "persistence_tree at level k - 2 alive at `weight` with at least k vertices,\n"
     "as (index, vertices) pairs in the tree's order, vertices ascending."},
    {"tree_records", {"tree"}, 1, tree_records, 0, {},
     "The records of py_calculate_persistent_q_components, ((q, vertices), birth,\n"
     "death), of a tree from persistence_tree: one per record, in the tree's order."},
};
constexpr std::size_t function_count = std::size(module_functions);
// The first rows are the module's public functions, its __all__.
constexpr std::size_t public_count = 3;

// The interpreter's entry to row `row`: fast calling convention with keywords.
template <std::size_t row>
PyObject* call_function(PyObject*, PyObject* const* args, Py_ssize_t positional_count, PyObject* keyword_names) {
  return call_module_function(module_functions[row], args, positional_count, keyword_names);
}

// The method table and the docstrings it points to, made from the rows once.
struct MethodTable {
  std::array<std::string, function_count> docstrings;
  std::array<PyMethodDef, function_count + 1> methods{};
};

template <std::size_t... rows>
MethodTable& method_table(std::index_sequence<rows...>) {
  static MethodTable table = [] {
    MethodTable made;
    made.docstrings = {text_signature(module_functions[rows])...};
    made.methods = {PyMethodDef{module_functions[rows].name,
                                reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(call_function<rows>)),
                                METH_FASTCALL | METH_KEYWORDS, made.docstrings[rows].c_str()}...,
                    PyMethodDef{nullptr, nullptr, 0, nullptr}};
    return made;
  }();
  return table;
}

// ---------------------------------------------------------------------------
// Initialisation

PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT, "korvane", "", -1, nullptr, nullptr, nullptr, nullptr, nullptr,
};

// glibc hands a freed heap top of more than 128 KiB back to the system
// straight away, and the next call faults those pages in again: a call that
// frees a few hundred KiB of scratch spends up to a sixth of its time so. The
// first free of a block above that size (as most sessions make early on)
// raises glibc's trim threshold to twice the block. One block of 4 MiB,
// freed at import, keeps the scratch of calls up to 8 MiB in the process.
void raise_heap_trim_threshold() {
#ifdef __GLIBC__
  void* volatile block = std::malloc(std::size_t{4} << 20);
  std::free(block);
#endif
}

PyRef create_module() {
  raise_heap_trim_threshold();
  PyObject* panic = panic_exception();
  if (panic == nullptr) return {};
#ifdef PYPY_VERSION
  if (!make_pypy_route()) return {};
#endif
  module_definition.m_methods = method_table(std::make_index_sequence<function_count>{}).methods.data();
  PyRef module(PyModule_Create2(&module_definition, PYTHON_API_VERSION));
  if (!module) return {};
#ifdef PYPY_VERSION
  // PyPy leaves an empty module docstring unset, and `__doc__` would then read
  // the docstring of the module type.
  PyRef empty(PyUnicode_FromString(""));
  if (!empty || PyObject_SetAttrString(module.get(), "__doc__", empty.get()) != 0) return {};
#endif
  PyRef all(PyList_New(0));
  if (!all) return {};
  for (std::size_t row = 0; row < public_count; ++row) {
    if (!append_steal(all.get(), PyRef(PyUnicode_FromString(module_functions[row].name)))) return {};
  }
  if (PyObject_SetAttrString(module.get(), "__all__", all.get()) != 0 ||
      PyObject_SetAttrString(module.get(), "PanicException", panic) != 0)
    return {};
  // The package version, set by the build from the package metadata.
  if (PyModule_AddStringConstant(module.get(), "__version__", KORVANE_VERSION) != 0) return {};
  return module;
}

}  // namespace
}  // namespace korvane::binding

// The module is made once per process and kept; initialising again hands back
// the same object.
PyMODINIT_FUNC PyInit_korvane(void) {
  static PyObject* module = nullptr;
  if (module == nullptr) module = korvane::binding::create_module().release();
  Py_XINCREF(module);
  return module;
}
