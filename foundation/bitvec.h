// Packed vector of flags numbered from 1; marks fixed unknowns and node sets.
#pragma once

#include <climits>
#include <ostream>

#include "foundation/assert.h"

/// Value of one flag: 0 clear, 1 set.
using bit = int;

/// Bits per storage byte.
inline constexpr unsigned BITS_SZ = CHAR_BIT;

/// Packed set of flags numbered from 1; bit i lives in byte (i-1)/8 at position (i-1)%8, LSB first.
class BitVec {
 public:
  unsigned n = 0;               ///< number of bits
  unsigned char* data = nullptr;  ///< ceil(n/8) bytes, owned; null when n is 0

  /// Empty vector, no storage.
  BitVec() = default;
  /// n bits, all clear.
  explicit BitVec(unsigned n);
  /// Deep copy.
  BitVec(const BitVec& b);
  /// Copy of b's length and bits.
  BitVec& operator=(const BitVec& b);
  /// Every bit set to v (same as assign(v)).
  BitVec& operator=(bit v) {
    assign(v);
    return *this;
  }
  ~BitVec();

  /// Number of bits.
  unsigned length() const { return n; }
  /// Number of storage bytes.
  unsigned bytes() const { return (n + BITS_SZ - 1) / BITS_SZ; }

  /// Bit i, 1-based; checked only in checked builds.
  bit operator()(unsigned i) const {
    OLVU_ASSERT(i >= 1 && i <= n, "BitVec index " << i << " outside 1.." << n);
    return (data[(i - 1) / BITS_SZ] >> ((i - 1) % BITS_SZ)) & 1;
  }
  /// Bit i, 0-based; checked only in checked builds.
  bit operator[](unsigned i) const {
    OLVU_ASSERT(i < n, "BitVec index " << i << " outside 0.." << n << "-1");
    return (data[i / BITS_SZ] >> (i % BITS_SZ)) & 1;
  }

  /// New length n; old bits kept up to the shorter length, new bits take v; n = 0 releases storage.
  void resize(unsigned n, bit v);

  /// Sets or clears bit i (1-based; checked only in checked builds).
  void assign(unsigned i, bit v) {
    OLVU_ASSERT(i >= 1 && i <= n, "BitVec index " << i << " outside 1.." << n);
    unsigned char m = static_cast<unsigned char>(1u << ((i - 1) % BITS_SZ));
    if (v)
      data[(i - 1) / BITS_SZ] |= m;
    else
      data[(i - 1) / BITS_SZ] &= static_cast<unsigned char>(~m);
  }
  /// Sets bit i when 1 <= i <= n, else nothing.
  void bound_mark(unsigned i) {
    if (i >= 1 && i <= n) assign(i, 1);
  }
  /// Clears bit i when 1 <= i <= n, else nothing.
  void bound_unmark(unsigned i) {
    if (i >= 1 && i <= n) assign(i, 0);
  }
  /// Sets or clears bits first..last (1-based, inclusive, unchecked); nothing when last < first.
  void assign(int first, int last, bit v);

  /// Every bit set to v.
  void assign(bit v);
  /// Every bit set.
  void mark() { assign(1); }
  /// Every bit cleared.
  void unmark() { assign(0); }
  /// Inverts every bit.
  void opposite();
  /// Clears the bits of the last byte beyond bit n.
  void canonize();
  /// True when no bit is set.
  bool null() const;
  /// True when every bit is set.
  bool all_marked() const;

  /// this = a OR b over the bytes all three share.
  void or_vec(const BitVec& a, const BitVec& b);
  /// this = a OR b OR c over the bytes all four share.
  void or_vec(const BitVec& a, const BitVec& b, const BitVec& c);
  /// this = a AND b over the bytes all three share.
  void and_vec(const BitVec& a, const BitVec& b);
  /// this = a AND b AND c over the bytes all four share.
  void and_vec(const BitVec& a, const BitVec& b, const BitVec& c);
  /// this = this OR a over the bytes both share.
  void or_vec(const BitVec& a);
  /// this = this AND a over the bytes both share.
  void and_vec(const BitVec& a);
  /// this(i) = NOT a(i) for every bit of this vector; a must be at least as long.
  void not_vec(const BitVec& a);
  /// this(i) = this(i) AND NOT a(i); lengths must be equal.
  void andn_vec(const BitVec& a);
};

/// True when the bytes holding a's bits are equal in a and b (false when b has fewer bytes).
bool operator==(const BitVec& a, const BitVec& b);
/// A blank and the digit of every bit, no line end; flushes.
std::ostream& operator<<(std::ostream& out, const BitVec& b);
