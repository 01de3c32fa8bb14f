#pragma once
#include <algorithm>
#include <atomic>
#include <cstddef>
#include <exception>
#include <thread>
#include <type_traits>
#include <vector>

namespace lumo {

// How many threads parallelFor uses for `count` items.
inline size_t parallelWorkers(size_t count) {
  return std::max<size_t>(1, std::min<size_t>(count, std::max(1u, std::thread::hardware_concurrency())));
}

// Runs fn(i) for i in [0, count) on up to one thread per core; fn(i, worker) also gets
// the number (below parallelWorkers(count)) of the thread it runs on, for scratch memory
// of its own. Items are independent; each writes only its own result, so the outcome is
// that of a sequential run. The exception of the lowest failing index is rethrown after
// all threads have ended.
template <class Fn>
void parallelFor(size_t count, Fn&& fn) {
  auto call = [&fn](size_t i, size_t worker) {
    if constexpr (std::is_invocable_v<Fn&, size_t, size_t>)
      fn(i, worker);
    else
      fn(i);
  };
  const size_t threads = parallelWorkers(count);
  if (threads <= 1) {
    for (size_t i = 0; i < count; ++i) call(i, 0);
    return;
  }
  std::vector<std::exception_ptr> errors(count);
  std::atomic<size_t> next{0};
  auto worker = [&](size_t t) {
    for (size_t i; (i = next.fetch_add(1)) < count;) {
      try {
        call(i, t);
      } catch (...) {
        errors[i] = std::current_exception();
      }
    }
  };
  std::vector<std::thread> pool;
  for (size_t t = 1; t < threads; ++t) pool.emplace_back(worker, t);
  worker(0);
  for (auto& t : pool) t.join();
  for (auto& e : errors)
    if (e) std::rethrow_exception(e);
}

}  // namespace lumo
