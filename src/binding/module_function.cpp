// Text signatures and the argument parser of the module's rows.
#include "module_function.hpp"

#include <algorithm>
#include <vector>

namespace korvane::binding {
namespace {

// 'a' / 'a' and 'b' / 'a', 'b', and 'c'
std::string quoted_list(const std::vector<const char*>& names) {
  std::string text;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) text += names.size() == 2 ? " and " : (i + 1 == names.size() ? ", and " : ", ");
    text += '\'';
    text += names[i];
    text += '\'';
  }
  return text;
}

}  // namespace

std::string text_signature(const ModuleFunction& function) {
  std::string text = function.name;
  text += '(';
  for (std::size_t p = 0; p < function.parameter_count + function.keyword_only_count; ++p) {
    if (p > 0) text += ", ";
    if (p == function.parameter_count) text += "*, ";
    text += function.parameters[p];
    if (p >= function.parameter_count) {
      text += '=';
      text += function.defaults[p];
    }
  }
  return text + ")\n--\n\n" + function.doc;
}

bool parse_arguments(const ModuleFunction& function, PyObject* const* args, Py_ssize_t positional_count,
                     PyObject* keyword_names, Arguments& bound) {
  const std::size_t n = function.parameter_count;
  const std::size_t all = n + function.keyword_only_count;
  bound.fill(nullptr);
  const auto given = static_cast<std::size_t>(positional_count);
  if (given > n) {
    PyErr_Format(PyExc_TypeError, "%s() takes %zu positional arguments but %zu %s given", function.name, n, given,
                 given == 1 ? "was" : "were");
    return false;
  }
  std::copy(args, args + given, bound.begin());

  const Py_ssize_t keyword_count = keyword_names == nullptr ? 0 : PyTuple_Size(keyword_names);
  for (Py_ssize_t k = 0; k < keyword_count; ++k) {
    PyObject* key = PyTuple_GetItem(keyword_names, k);
    if (key == nullptr) return false;
    // Parameter names are ASCII, so a non-str key or one that is not valid
    // UTF-8 (lone surrogates) can match none of them.
    std::size_t slot = all;
    if (PyUnicode_Check(key)) {
      for (std::size_t p = 0; p < all; ++p) {
        if (PyUnicode_CompareWithASCIIString(key, function.parameters[p]) == 0) {
          slot = p;
          break;
        }
      }
    }
    if (slot == all) {
      PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%S'", function.name, key);
      return false;
    }
    if (bound[slot] != nullptr) {
      PyErr_Format(PyExc_TypeError, "%s() got multiple values for argument '%s'", function.name,
                   function.parameters[slot]);
      return false;
    }
    bound[slot] = args[positional_count + k];
  }

  std::vector<const char*> missing;
  for (std::size_t p = 0; p < n; ++p) {
    if (bound[p] == nullptr) missing.push_back(function.parameters[p]);
  }
  if (!missing.empty()) {
    PyErr_Format(PyExc_TypeError, "%s() missing %zu required positional argument%s: %s", function.name,
                 missing.size(), missing.size() == 1 ? "" : "s", quoted_list(missing).c_str());
    return false;
  }
  return true;
}

}  // namespace korvane::binding
