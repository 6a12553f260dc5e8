// Types and helpers shared by the native core. Nothing here knows about Python.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <vector>

namespace korvane {

using vertex_t = std::uint64_t;  // a caller's vertex id: only equality and order mean anything
using index_t = std::uint32_t;   // a dense id inside one call (simplex, facet, vertex)

// A list of groups stored flat: group g is items[starts[g] .. starts[g + 1]).
template <class T>
struct Groups {
  std::vector<std::size_t> starts{0};
  std::vector<T> items;

  std::size_t size() const { return starts.size() - 1; }
  const T* begin(std::size_t g) const { return items.data() + starts[g]; }
  const T* end(std::size_t g) const { return items.data() + starts[g + 1]; }
  std::size_t length(std::size_t g) const { return starts[g + 1] - starts[g]; }
  void close_group() { starts.push_back(items.size()); }
  void clear() {
    starts.assign(1, 0);
    items.clear();
  }
};

// Dense ids are 32-bit, the largest value marking "none"; a call with more
// objects than that is refused as too large.
constexpr index_t none = std::numeric_limits<index_t>::max();

inline index_t checked_index(std::size_t n) {
  if (n >= std::numeric_limits<index_t>::max()) throw std::length_error("more than 2**32-2 objects in one call");
  return static_cast<index_t>(n);
}

// Cooperative interruption. The host installs a poll function for the current
// thread; long loops charge their work to a Ticker, which calls the poll every
// `stride` units. A poll that returns true makes the core throw Interrupted,
// and the stack unwinds freeing everything it holds.
struct Interrupted {};

using interrupt_poll_fn = bool (*)(void* context);

struct InterruptHook {
  interrupt_poll_fn poll = nullptr;
  void* context = nullptr;
};

inline InterruptHook& current_interrupt_hook() {
  thread_local InterruptHook hook;
  return hook;
}

// Installs a hook for the lifetime of the scope, restoring the previous one.
class ScopedInterruptHook {
 public:
  ScopedInterruptHook(interrupt_poll_fn poll, void* context) : saved_(current_interrupt_hook()) {
    current_interrupt_hook() = InterruptHook{poll, context};
  }
  ~ScopedInterruptHook() { current_interrupt_hook() = saved_; }
  ScopedInterruptHook(const ScopedInterruptHook&) = delete;
  ScopedInterruptHook& operator=(const ScopedInterruptHook&) = delete;

 private:
  InterruptHook saved_;
};

// Every Ticker of a thread draws on one budget, so work handed from one
// routine's Ticker to another's never starts a fresh count between two polls.
inline std::ptrdiff_t& thread_tick_budget() {
  thread_local std::ptrdiff_t budget = 0;
  return budget;
}

class Ticker {
 public:
  // About 65 thousand cheap steps between polls, well under a millisecond of
  // work even where a step costs tens of nanoseconds; the host answers polls
  // that come sooner than it cares to look from a clock.
  static constexpr std::ptrdiff_t stride = 1 << 16;

  void operator()(std::size_t work = 1) {
    budget_ -= static_cast<std::ptrdiff_t>(work);
    if (budget_ < 0) poll();
  }
  void poll() {
    budget_ = stride;
    const InterruptHook& hook = current_interrupt_hook();
    if (hook.poll != nullptr && hook.poll(hook.context)) throw Interrupted{};
  }

 private:
  std::ptrdiff_t& budget_ = thread_tick_budget();
};

// Appends [first, last) to `items`. Growing a large array copies all of it in
// one go, seconds for a result of a few hundred megabytes on a loaded machine;
// here that copy goes in slices charged to `tick`, so Ctrl-C is polled within it.
template <class T>
void append_polling(std::vector<T>& items, const T* first, const T* last, Ticker& tick) {
  constexpr std::size_t slice = std::size_t{1} << 20;
  const std::size_t needed = items.size() + static_cast<std::size_t>(last - first);
  if (needed > items.capacity() && items.size() > slice) {
    std::vector<T> grown;
    grown.reserve(std::max(needed, 2 * items.capacity()));
    for (std::size_t at = 0; at < items.size(); at += slice) {
      const std::size_t end = std::min(items.size(), at + slice);
      grown.insert(grown.end(), items.begin() + static_cast<std::ptrdiff_t>(at),
                   items.begin() + static_cast<std::ptrdiff_t>(end));
      tick(end - at);
    }
    items.swap(grown);
  }
  items.insert(items.end(), first, last);
}

}  // namespace korvane
