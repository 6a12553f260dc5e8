// Ctrl-C during a call, and the core run without the interpreter lock. The
// core polls through its Ticker; the hooks here answer those polls by running
// pending signal handlers, so that a handler that raised (KeyboardInterrupt)
// stops the call, its exception left set for the caller.
#pragma once

#include <chrono>

#include "core.hpp"
#include "python.hpp"

namespace korvane::binding {

// Looking for signals costs a call into the interpreter, and in the core the
// interpreter lock taken back from other threads: polls that come within a
// millisecond of the last look are answered from the clock.
class PollInterval {
 public:
  bool due() {
    const auto now = std::chrono::steady_clock::now();
    if (now - last_ < std::chrono::milliseconds(1)) return false;
    last_ = now;
    return true;
  }

 private:
  std::chrono::steady_clock::time_point last_{};
};

// For the lifetime of the scope, polls run pending signal handlers while the
// interpreter lock is held: the hook in force outside the core (argument
// conversion and result building).
class SignalsPolled {
 public:
  SignalsPolled() : hook_(&poll_signals, this) {}
  SignalsPolled(const SignalsPolled&) = delete;
  SignalsPolled& operator=(const SignalsPolled&) = delete;

 private:
  static bool poll_signals(void* context);

  PollInterval interval_;
  ScopedInterruptHook hook_;
};

// The core runs without the interpreter lock so that other Python threads keep
// going. For the lifetime of the scope the lock is released, and polls take it
// back just long enough to run pending signal handlers.
class InterpreterLockReleased {
 public:
  InterpreterLockReleased() : thread_(PyEval_SaveThread()), hook_(&poll_signals, this) {}
  ~InterpreterLockReleased() { PyEval_RestoreThread(thread_); }
  InterpreterLockReleased(const InterpreterLockReleased&) = delete;
  InterpreterLockReleased& operator=(const InterpreterLockReleased&) = delete;

 private:
  static bool poll_signals(void* context);

  PyThreadState* thread_;
  PollInterval interval_;
  ScopedInterruptHook hook_;
};

// compute() without the interpreter lock: it must not touch Python objects.
template <class Compute>
auto without_interpreter_lock(Compute&& compute) {
  InterpreterLockReleased released;
  return compute();
}

}  // namespace korvane::binding
