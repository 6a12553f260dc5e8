// The call boundary: the failures of a module function's call mapped to
// Python exceptions.
#include "call_boundary.hpp"

#include <cstdio>
#include <exception>
#include <new>
#include <stdexcept>

#include "signals.hpp"

namespace korvane::binding {
namespace {

// A failure of the native code's own invariants: said on stderr, where it is
// seen even if the exception is swallowed, and raised as PanicException.
void raise_panic(const char* function_name, const char* what) {
  std::fprintf(stderr, "korvane: internal failure in %s(): %s\n", function_name, what);
  std::fflush(stderr);
  if (PyObject* panic = panic_exception()) PyErr_SetString(panic, what);
}

}  // namespace

PyObject* panic_exception() {
  static PyObject* made = nullptr;
  if (made == nullptr) {
    made = PyErr_NewExceptionWithDoc("korvane.PanicException", "An internal invariant of korvane's native code failed.",
                                     PyExc_BaseException, nullptr);
  }
  return made;
}

PyObject* call_module_function(const ModuleFunction& function, PyObject* const* args, Py_ssize_t positional_count,
                               PyObject* keyword_names) {
  PyRef result;
  try {
    const SignalsPolled signals;
    Ticker tick;
    Arguments arguments;
    if (parse_arguments(function, args, positional_count, keyword_names, arguments))
      result = function.body(arguments, tick);
  } catch (const Interrupted&) {
    // The signal handler's exception is already set.
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const std::length_error& failure) {
    PyErr_SetString(PyExc_MemoryError, failure.what());
  } catch (const std::exception& failure) {
    raise_panic(function.name, failure.what());
  } catch (...) {
    raise_panic(function.name, "unknown exception");
  }
  if (!result && !PyErr_Occurred()) {
    PyErr_SetString(PyExc_SystemError, "attempted to fetch exception but none was set");
  }
  return result.release();
}

}  // namespace korvane::binding
