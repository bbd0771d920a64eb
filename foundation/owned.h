// An owning pointer that reads as the plain pointer it holds, for members that many kernels and
// solvers take by pointer: the member owns its object, and no use of it needs `.get()`.
#pragma once

#include <memory>
#include <utility>

/// Sole owner of a T (or of nothing), deleted with the holder; converts to T* for its users.
template <class T>
class Owned {
 public:
  Owned() = default;
  /// Takes the object of `p`.
  Owned(std::unique_ptr<T> p) : p_(std::move(p)) {}  // NOLINT: converting, as unique_ptr's own move
  /// Takes the object of `p`, deleting the one held before.
  Owned& operator=(std::unique_ptr<T> p) {
    p_ = std::move(p);
    return *this;
  }
  /// Takes the object that `p` points to (null: nothing), deleting the one held before.
  void reset(T* p = nullptr) { p_.reset(p); }
  /// The object (null when none).
  T* get() const { return p_.get(); }
  /// The object, for the functions that take it by pointer (null when none).
  operator T*() const { return p_.get(); }
  /// The object itself.
  T& operator*() const { return *p_; }
  /// A member of the object.
  T* operator->() const { return p_.get(); }

 private:
  std::unique_ptr<T> p_;  ///< the object
};
