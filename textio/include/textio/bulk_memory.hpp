// Memory for large arrays.
//
// An array of 2 MiB or more is mapped from the system on its own and given
// back whole when freed, so that a structure that grows, shrinks and grows
// again holds only what it uses, never a heap's scattered leftovers.
//
// Filling a large array also costs a page fault for every page it touches,
// and on a virtual machine a fault can cost microseconds: more than the work
// done on the page. On Linux such arrays are therefore placed on transparent
// huge pages where the system offers them (madvise), one fault per 2 MiB
// instead of one per 4 KiB. What the arrays hold, and every result, is the
// same either way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>

#if defined(_WIN32)
#include "windows_api.hpp"
#elif defined(__unix__) || defined(__APPLE__)
#include <sys/mman.h>
#endif

namespace textio {

namespace detail {

inline constexpr std::size_t kHugePage = std::size_t{1} << 21;

inline bool is_bulk(std::size_t bytes) { return bytes >= kHugePage; }

inline std::size_t bulk_size(std::size_t bytes) {
  return (bytes + kHugePage - 1) / kHugePage * kHugePage;
}

inline void* allocate_bulk(std::size_t bytes) {
  if (!is_bulk(bytes)) return ::operator new(bytes);
  const std::size_t size = bulk_size(bytes);
#if defined(_WIN32)
  void* memory = VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  if (memory == nullptr) throw std::bad_alloc();
  return memory;
#elif defined(__unix__) || defined(__APPLE__)
  // Mapped with room to spare, so that a 2 MiB boundary can be kept and the
  // rest given back.
  void* mapped =
      mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) throw std::bad_alloc();
  char* const base = static_cast<char*>(mapped);
  const std::size_t past = reinterpret_cast<std::uintptr_t>(base) % kHugePage;
  const std::size_t head = past == 0 ? 0 : kHugePage - past;
  char* const memory = base + head;
  if (head > 0) munmap(base, head);
  if (head < kHugePage) munmap(memory + size, kHugePage - head);
#if defined(MADV_HUGEPAGE)
  madvise(memory, size, MADV_HUGEPAGE);  // a hint: refused, it is ordinary memory
#endif
  return memory;
#else
  return ::operator new(bytes);
#endif
}

inline void free_bulk(void* memory, std::size_t bytes) noexcept {
  if (!is_bulk(bytes)) {
    ::operator delete(memory);
    return;
  }
#if defined(_WIN32)
  VirtualFree(memory, 0, MEM_RELEASE);
#elif defined(__unix__) || defined(__APPLE__)
  munmap(memory, bulk_size(bytes));
#else
  ::operator delete(memory);
#endif
}

}  // namespace detail

// An allocator for containers that may grow large.
template <class T>
struct BulkAllocator {
  using value_type = T;

  BulkAllocator() = default;
  template <class U>
  explicit BulkAllocator(const BulkAllocator<U>&) noexcept {}

  T* allocate(std::size_t count) {
    if (count > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_alloc();
    return static_cast<T*>(detail::allocate_bulk(count * sizeof(T)));
  }
  void deallocate(T* memory, std::size_t count) noexcept {
    detail::free_bulk(memory, count * sizeof(T));
  }

  template <class U>
  bool operator==(const BulkAllocator<U>&) const noexcept {
    return true;
  }
  template <class U>
  bool operator!=(const BulkAllocator<U>&) const noexcept {
    return false;
  }
};

// A fixed number of uninitialised elements of a trivial type, in bulk
// memory: unlike a resized vector, nothing is written before it is used.
template <class T>
class BulkArray {
 public:
  BulkArray() = default;
  explicit BulkArray(std::size_t size) : data_(BulkAllocator<T>().allocate(size)), size_(size) {}
  BulkArray(BulkArray&& other) noexcept : data_(other.data_), size_(other.size_) {
    other.data_ = nullptr;
    other.size_ = 0;
  }
  BulkArray& operator=(BulkArray&& other) noexcept {
    if (this != &other) {
      release();
      data_ = other.data_;
      size_ = other.size_;
      other.data_ = nullptr;
      other.size_ = 0;
    }
    return *this;
  }
  BulkArray(const BulkArray&) = delete;
  BulkArray& operator=(const BulkArray&) = delete;
  ~BulkArray() { release(); }

  T* get() const { return data_; }
  std::size_t size() const { return size_; }
  T& operator[](std::size_t at) const { return data_[at]; }

 private:
  void release() {
    if (data_ != nullptr) BulkAllocator<T>().deallocate(data_, size_);
  }

  T* data_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace textio
