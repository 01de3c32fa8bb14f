#include "platform/PixelMemory.h"

#include <cstdlib>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace lumo {

namespace {
// Below this, the ordinary heap is as fast.
constexpr size_t kLargeBlock = size_t(4) << 20;
}  // namespace

void* allocatePixelMemory(size_t bytes) {
#if defined(__linux__)
  if (bytes >= kLargeBlock) {
    void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
    madvise(p, bytes, MADV_HUGEPAGE);  // a hint: without huge pages the block still works
    return p;
  }
#endif
  void* p = std::malloc(bytes ? bytes : 1);
  if (!p) throw std::bad_alloc();
  return p;
}

void freePixelMemory(void* p, size_t bytes) noexcept {
  if (!p) return;
#if defined(__linux__)
  if (bytes >= kLargeBlock) {
    munmap(p, bytes);
    return;
  }
#endif
  std::free(p);
}

}  // namespace lumo
