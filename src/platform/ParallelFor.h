#pragma once
#include <algorithm>
#include <atomic>
#include <cstddef>
#include <exception>
#include <thread>
#include <vector>

namespace lumo {

// Runs fn(i) for i in [0, count) on up to one thread per core. Items are independent;
// each writes only its own result, so the outcome is that of a sequential run. The
// exception of the lowest failing index is rethrown after all threads have ended.
template <class Fn>
void parallelFor(size_t count, Fn&& fn) {
  const size_t threads = std::min<size_t>(count, std::max(1u, std::thread::hardware_concurrency()));
  if (threads <= 1) {
    for (size_t i = 0; i < count; ++i) fn(i);
    return;
  }
  std::vector<std::exception_ptr> errors(count);
  std::atomic<size_t> next{0};
  auto worker = [&] {
    for (size_t i; (i = next.fetch_add(1)) < count;) {
      try {
        fn(i);
      } catch (...) {
        errors[i] = std::current_exception();
      }
    }
  };
  std::vector<std::thread> pool;
  for (size_t t = 1; t < threads; ++t) pool.emplace_back(worker);
  worker();
  for (auto& t : pool) t.join();
  for (auto& e : errors)
    if (e) std::rethrow_exception(e);
}

}  // namespace lumo
