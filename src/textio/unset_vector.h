#pragma once
// Vectors whose new elements are left unset: the size constructor and
// resize() allocate without writing, so the pages of a large array are first
// touched by the step that fills it, not by a zero fill that the step would
// overwrite anyway (a read buffer, the run's work arrays: each is written
// before anything reads it). assign(n, v) and the other constructors still
// write.
//
// A build with ORTHAXIS_POISON_UNSET (the sanitizer build) fills new floats
// and doubles with a quiet NaN instead, so that a value read before it is
// written shows in the results.

#include <cstddef>
#include <limits>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

namespace orthaxis::textio {

template <class T>
class UnsetAllocator : public std::allocator<T> {
 public:
  using value_type = T;
  template <class U>
  struct rebind {
    using other = UnsetAllocator<U>;
  };

  UnsetAllocator() noexcept = default;
  template <class U>
  UnsetAllocator(const UnsetAllocator<U>&) noexcept {}

  // Default construction: default-initialises, which writes nothing to an
  // arithmetic value.
  template <class U>
  void construct(U* p) noexcept(std::is_nothrow_default_constructible_v<U>) {
#ifdef ORTHAXIS_POISON_UNSET
    if constexpr (std::is_floating_point_v<U>) {
      ::new (static_cast<void*>(p)) U(std::numeric_limits<U>::quiet_NaN());
      return;
    }
#endif
    ::new (static_cast<void*>(p)) U;
  }
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
};

template <class T, class U>
bool operator==(const UnsetAllocator<T>&, const UnsetAllocator<U>&) noexcept {
  return true;
}

template <class T>
using UnsetVector = std::vector<T, UnsetAllocator<T>>;

}  // namespace orthaxis::textio
