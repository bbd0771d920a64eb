// Packed upper Hessenberg matrix of the restarted GMRES.
#include "solvers/hessenberg.h"

#include <ostream>

#include "foundation/error.h"

HMatrix::HMatrix(int m_, int layout_) : m(m_), layout(layout_) {
  if (m < 1) OLVU_FATAL("Can't create a hmatrix of " << m << " columns\n");
  values.assign(static_cast<std::size_t>(m) * (m + 1) / 2 + 1, 0.0);
}

void HMatrix::printTo(std::ostream& os) const {
  const int base = layout == 0 ? 1 : 0;
  for (int r = 1; r <= m; ++r) {
    os << "\n";
    for (int c = 1; c <= m; ++c) {
      os << " (" << r << "," << c << ") = ";
      if (c < r)
        os << 0;
      else
        os << values[Index(r - base, c - base)];
    }
  }
  os << "\n";
}

std::ostream& operator<<(std::ostream& os, const HMatrix& h) {
  h.printTo(os);
  return os;
}
