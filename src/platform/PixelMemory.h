#pragma once
#include <cstddef>

namespace lumo {

// Memory for pixel planes and other large buffers. Large blocks are mapped with
// transparent huge pages where the system offers them, so that filling a plane of
// tens of megabytes costs few page faults. Throws std::bad_alloc.
void* allocatePixelMemory(size_t bytes);
void freePixelMemory(void* p, size_t bytes) noexcept;

}  // namespace lumo
