// One converter per argument shape: Python data into the core's flat
// containers. Each returns false with a Python exception set, the messages and
// exception types being those the module has always raised. On PyPy the common
// shapes go through the PyPy route; anything else, and all on CPython, is read
// object by object here.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "core.hpp"
#include "graph.hpp"
#include "persistence_records.hpp"
#include "python.hpp"

namespace korvane::binding {

// A sequence of vertex sequences; simplex i is group i.
bool convert_simplices(PyObject* object, Groups<vertex_t>& simplices, Ticker& tick);

// A sequence of (u, v) tuples.
bool convert_edge_tuples(PyObject* object, std::vector<Edge>& edges, Ticker& tick);

// A sequence of (u, v, weight) tuples.
bool convert_edge_tuples(PyObject* object, std::vector<WeightedEdge>& edges, Ticker& tick);

// A graph as compressed sparse rows, as scipy's CSR matrices hold it: vertex
// i (0 <= i < len(indptr) - 1) has the neighbours indices[indptr[i] ..
// indptr[i + 1]). Checked to be such rows, for build_graph_from_rows.
bool convert_adjacency(PyObject* indptr, PyObject* indices, std::vector<vertex_t>& offsets,
                       std::vector<vertex_t>& neighbours, Ticker& tick);

// max_q caps the number of vertices of the cliques taken (None: no cap); a cap
// of 0 counts as 1. This is the one place the cap is normalised.
bool convert_size_cap(PyObject* object, std::optional<std::uint64_t>& size_cap);

// k of clique percolation: an int (through __index__) of at least 2; one too
// large for 64 bits reads as the largest size, which no clique reaches.
bool convert_clique_size(PyObject* object, std::size_t& k);

// A weight: a float, or anything float() takes.
bool convert_weight(PyObject* object, double& weight);

// A level q, or another int that fits in 64 signed bits (through __index__).
bool convert_level(PyObject* object, std::int64_t& value);

// `ties`, 'separate' (also when left out: null) or 'grouped'.
bool convert_ties(PyObject* object, bool& grouped);

// A community tree as persistence_tree returns it: a sequence of
// (q, birth, death, parents, added) tuples, each parent before its record.
// The added vertices become dense ids into tree.ids, in the caller's order.
bool convert_tree(PyObject* object, CommunityTree& tree, Ticker& tick);

}  // namespace korvane::binding
