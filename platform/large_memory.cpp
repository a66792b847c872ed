// Memory for the large lists a store's load fills.
#include "platform/large_memory.h"

#include <sys/mman.h>

namespace {

size_t Rounded(size_t bytes) { return (bytes + kLargeBlock - 1) & ~(kLargeBlock - 1); }

}  // namespace

void* AllocateLarge(size_t bytes) {
  if (bytes < kLargeBlock) return ::operator new(bytes);
  if (bytes > SIZE_MAX - 2 * kLargeBlock) throw std::bad_alloc();
  // Mapped with 2 MB to spare, to start at a multiple of 2 MB; the spare
  // parts before and after are given back.
  const size_t size = Rounded(bytes), mapped = size + kLargeBlock;
  void* start = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (start == MAP_FAILED) throw std::bad_alloc();
  const auto from = reinterpret_cast<uintptr_t>(start);
  const uintptr_t aligned = Rounded(from), end = from + mapped;
  if (aligned > from) munmap(start, aligned - from);
  if (end > aligned + size) munmap(reinterpret_cast<void*>(aligned + size), end - aligned - size);
  auto* block = reinterpret_cast<void*>(aligned);
  madvise(block, size, MADV_HUGEPAGE);  // a wish: refused where huge pages are off
  return block;
}

void FreeLarge(void* block, size_t bytes) noexcept {
  if (block == nullptr) return;
  if (bytes < kLargeBlock) {
    ::operator delete(block);
  } else {
    munmap(block, Rounded(bytes));
  }
}
