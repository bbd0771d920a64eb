#include "foundation/bitvec.h"

#include <algorithm>
#include <cstring>

#include "foundation/error.h"

namespace {

// Bytes needed for n bits.
unsigned ByteCount(unsigned n) { return (n + BITS_SZ - 1) / BITS_SZ; }

// Zeroed storage for n bits, or null for n = 0.
unsigned char* NewBytes(unsigned n) { return n == 0 ? nullptr : new unsigned char[ByteCount(n)](); }

}  // namespace

BitVec::BitVec(unsigned len) : n(len), data(NewBytes(len)) {}

BitVec::BitVec(const BitVec& b) : n(b.n), data(NewBytes(b.n)) {
  if (n) std::memcpy(data, b.data, ByteCount(n));
}

BitVec& BitVec::operator=(const BitVec& b) {
  if (this == &b) return *this;
  if (n != b.n) {
    delete[] data;
    n = b.n;
    data = NewBytes(n);
  }
  if (n) std::memcpy(data, b.data, ByteCount(n));
  return *this;
}

BitVec::~BitVec() { delete[] data; }

void BitVec::resize(unsigned len, bit v) {
  if (len == 0) {
    delete[] data;
    data = nullptr;
    n = 0;
    return;
  }
  unsigned char* p = NewBytes(len);
  unsigned keep = std::min(n, len);
  if (keep) std::memcpy(p, data, ByteCount(keep));
  delete[] data;
  unsigned old = n;
  data = p;
  n = len;
  // The copied last byte may carry bits beyond keep when shrinking.
  unsigned tail = keep % BITS_SZ;
  if (tail) data[(keep - 1) / BITS_SZ] &= static_cast<unsigned char>((1u << tail) - 1);
  if (v && len > old) assign(static_cast<int>(old + 1), static_cast<int>(len), 1);
}

void BitVec::assign(int first, int last, bit v) {
  for (int i = first; i <= last; ++i) assign(static_cast<unsigned>(i), v);
}

void BitVec::assign(bit v) {
  if (n) std::memset(data, v ? 0xFF : 0, ByteCount(n));
  canonize();
}

void BitVec::opposite() {
  for (unsigned i = 1; i <= n; ++i) assign(i, !(*this)(i));
}

void BitVec::canonize() {
  unsigned tail = n % BITS_SZ;
  if (tail) data[n / BITS_SZ] &= static_cast<unsigned char>((1u << tail) - 1);
}

bool BitVec::null() const {
  for (unsigned k = 0, e = ByteCount(n); k < e; ++k)
    if (data[k]) return false;
  return true;
}

bool BitVec::all_marked() const {
  unsigned full = n / BITS_SZ;
  for (unsigned k = 0; k < full; ++k)
    if (data[k] != 0xFF) return false;
  unsigned tail = n % BITS_SZ;
  return tail == 0 || data[full] == static_cast<unsigned char>((1u << tail) - 1);
}

void BitVec::or_vec(const BitVec& a, const BitVec& b) {
  unsigned e = std::min({ByteCount(a.n), ByteCount(b.n), ByteCount(n)});
  for (unsigned k = 0; k < e; ++k) data[k] = a.data[k] | b.data[k];
  canonize();
}

void BitVec::or_vec(const BitVec& a, const BitVec& b, const BitVec& c) {
  unsigned e = std::min({ByteCount(a.n), ByteCount(b.n), ByteCount(c.n), ByteCount(n)});
  for (unsigned k = 0; k < e; ++k) data[k] = a.data[k] | b.data[k] | c.data[k];
  canonize();
}

void BitVec::and_vec(const BitVec& a, const BitVec& b) {
  unsigned e = std::min({ByteCount(a.n), ByteCount(b.n), ByteCount(n)});
  for (unsigned k = 0; k < e; ++k) data[k] = a.data[k] & b.data[k];
  canonize();
}

void BitVec::and_vec(const BitVec& a, const BitVec& b, const BitVec& c) {
  unsigned e = std::min({ByteCount(a.n), ByteCount(b.n), ByteCount(c.n), ByteCount(n)});
  for (unsigned k = 0; k < e; ++k) data[k] = a.data[k] & b.data[k] & c.data[k];
  canonize();
}

void BitVec::or_vec(const BitVec& a) {
  unsigned e = std::min(ByteCount(a.n), ByteCount(n));
  for (unsigned k = 0; k < e; ++k) data[k] |= a.data[k];
  canonize();
}

void BitVec::and_vec(const BitVec& a) {
  unsigned e = std::min(ByteCount(a.n), ByteCount(n));
  for (unsigned k = 0; k < e; ++k) data[k] &= a.data[k];
  canonize();
}

void BitVec::not_vec(const BitVec& a) {
  if (a.n < n) OLVU_FATAL("Different lenght bit vectors " << a.n << " != " << n << "\n");
  for (unsigned i = 1; i <= n; ++i) assign(i, !a(i));
}

void BitVec::andn_vec(const BitVec& a) {
  if (a.n != n) OLVU_FATAL("Different lenght bit vectors " << a.n << " != " << n << "\n");
  for (unsigned i = 1; i <= n; ++i)
    if (a(i)) assign(i, 0);
}

bool operator==(const BitVec& a, const BitVec& b) {
  unsigned e = ByteCount(a.n);
  if (ByteCount(b.n) < e) return false;
  return e == 0 || std::memcmp(a.data, b.data, e) == 0;
}

std::ostream& operator<<(std::ostream& out, const BitVec& b) {
  for (unsigned i = 1; i <= b.n; ++i) out << ' ' << (b(i) ? '1' : '0');
  return out.flush();
}
