// A row of the module's table: a function's name, its parameters and the body
// that runs it; and the one parser that binds a call's arguments to a row's
// parameters, with the interpreter's own messages.
#pragma once

#include <array>
#include <cstddef>
#include <string>

#include "core.hpp"
#include "python.hpp"

namespace korvane::binding {

// Every argument of a call, borrowed, in parameter order; unused slots stay null.
constexpr std::size_t max_parameters = 3;
using Arguments = std::array<PyObject*, max_parameters>;

// Runs the function on parsed arguments: its result, or null with an exception
// set. Native failures may be thrown; the call boundary maps them.
using Body = PyRef (*)(const Arguments& arguments, Ticker& tick);

// One row per module function. Its first `parameter_count` parameters are
// required and may be passed by position or by keyword; the next
// `keyword_only_count` may only be passed by keyword and may be left out
// (their slots stay null), `defaults` giving their defaults as the signature
// shows them. The row yields the method table entry, the text signature and
// docstring, and the parser's messages.
struct ModuleFunction {
  const char* name;
  std::array<const char*, max_parameters> parameters;
  std::size_t parameter_count;
  Body body;
  std::size_t keyword_only_count = 0;
  std::array<const char*, max_parameters> defaults{};
  const char* doc = "";
};

// "NAME(a, b, *, c=DEFAULT)\n--\n\n" and the row's doc: the interpreter's
// text-signature convention.
std::string text_signature(const ModuleFunction& function);

// Fills `bound` with borrowed references, one per parameter, from a call made
// with the fast calling convention. Checks, in order: too many positional
// arguments; each keyword in call order; missing parameters. False with a
// TypeError set on the first that fails.
bool parse_arguments(const ModuleFunction& function, PyObject* const* args, Py_ssize_t positional_count,
                     PyObject* keyword_names, Arguments& bound);

}  // namespace korvane::binding
