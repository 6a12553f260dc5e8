// Running pending signal handlers from the core's polls.
#include "signals.hpp"

#ifdef PYPY_VERSION
#include "pypy_route.hpp"
#endif

namespace korvane::binding {
namespace {

// True when a handler raised, its exception then being set.
#ifdef PYPY_VERSION
// PyPy's PyErr_CheckSignals does not run pending signal handlers: PyPy runs
// them between bytecodes, so calling a Python function that does nothing gives
// them their turn.
bool run_pending_signal_handlers() { return !PyRef(PyObject_CallNoArgs(pypy.signal_checkpoint)); }
#else
bool run_pending_signal_handlers() { return PyErr_CheckSignals() != 0; }
#endif

}  // namespace

bool SignalsPolled::poll_signals(void* context) {
  return static_cast<SignalsPolled*>(context)->interval_.due() && run_pending_signal_handlers();
}

bool InterpreterLockReleased::poll_signals(void* context) {
  auto* self = static_cast<InterpreterLockReleased*>(context);
  if (!self->interval_.due()) return false;
  PyEval_RestoreThread(self->thread_);
  const bool raised = run_pending_signal_handlers();
  self->thread_ = PyEval_SaveThread();
  return raised;
}

}  // namespace korvane::binding
