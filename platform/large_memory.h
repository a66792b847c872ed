// Memory for the large lists a store's load fills.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>

// A block of 2 MB or more is mapped on its own, aligned to 2 MB and offered
// to the system for transparent huge pages: filling it when it is fresh then
// costs a page fault for each 2 MB instead of each 4 KB (about 2 µs a fault:
// 7 ms for the lists of a hundred thousand records). Where the system gives
// no huge pages it is an ordinary mapping. A smaller block comes from
// operator new. AllocateLarge throws std::bad_alloc when there is no memory.
inline constexpr size_t kLargeBlock = size_t{2} << 20;
void* AllocateLarge(size_t bytes);
void FreeLarge(void* block, size_t bytes) noexcept;

template <typename T>
struct LargeAllocator {
  using value_type = T;
  static_assert(alignof(T) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__);
  LargeAllocator() = default;
  template <typename U>
  LargeAllocator(const LargeAllocator<U>&) noexcept {}
  T* allocate(size_t n) {
    if (n > SIZE_MAX / sizeof(T)) throw std::bad_array_new_length();
    return static_cast<T*>(AllocateLarge(n * sizeof(T)));
  }
  void deallocate(T* block, size_t n) noexcept { FreeLarge(block, n * sizeof(T)); }
  friend bool operator==(const LargeAllocator&, const LargeAllocator&) { return true; }
};

// Frees a block of AllocateLarge, for a unique_ptr.
struct LargeFree {
  size_t bytes = 0;
  void operator()(void* block) const noexcept { FreeLarge(block, bytes); }
};
