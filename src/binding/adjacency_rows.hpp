// The body of adjacency_rows: a graph library's adjacency mapping as labels
// and compressed sparse rows.
#pragma once

#include "module_function.hpp"
#include "python.hpp"

namespace korvane::binding {

PyRef adjacency_rows(const Arguments& arguments, Ticker& tick);

}  // namespace korvane::binding
