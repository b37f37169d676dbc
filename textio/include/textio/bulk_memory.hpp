// Memory for large arrays.
//
// Filling a large array costs a page fault for every page it touches, and on
// a virtual machine a fault can cost microseconds: more than the work done
// on the page. On Linux an array of 2 MiB or more is therefore placed on
// transparent huge pages where the system offers them (madvise), one fault
// per 2 MiB instead of one per 4 KiB. Elsewhere, and for smaller arrays, it
// is ordinary memory. What the arrays hold, and every result, is the same
// either way.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace textio {

namespace detail {

inline constexpr std::size_t kHugePage = std::size_t{1} << 21;

inline bool on_huge_pages(std::size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  return bytes >= kHugePage;
#else
  (void)bytes;
  return false;
#endif
}

inline void* allocate_bulk(std::size_t bytes) {
  if (on_huge_pages(bytes)) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    const std::size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    void* memory = std::aligned_alloc(kHugePage, rounded);
    if (memory == nullptr) throw std::bad_alloc();
    madvise(memory, rounded, MADV_HUGEPAGE);  // a hint: refused, it is ordinary memory
    return memory;
#endif
  }
  return ::operator new(bytes);
}

inline void free_bulk(void* memory, std::size_t bytes) noexcept {
  if (on_huge_pages(bytes)) {
    std::free(memory);
  } else {
    ::operator delete(memory);
  }
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
