// The bodies of the module's community-tree functions: persistence_tree and
// the queries that read its result.
#pragma once

#include "module_function.hpp"
#include "python.hpp"

namespace korvane::binding {

PyRef persistence_tree(const Arguments& arguments, Ticker& tick);
PyRef tree_vertices(const Arguments& arguments, Ticker& tick);
PyRef tree_alive(const Arguments& arguments, Ticker& tick);
PyRef tree_communities(const Arguments& arguments, Ticker& tick);
PyRef tree_records(const Arguments& arguments, Ticker& tick);

}  // namespace korvane::binding
