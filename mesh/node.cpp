// Mesh nodes: creation, the node line reader and writer, distances.
#include "mesh/node.h"

#include <iomanip>

#include "foundation/error.h"
#include "mesh/textscan.h"

Node::Node(unsigned ncoord) : ReaVec(ncoord) {
  for (unsigned i = 0; i < n; ++i) data[i] = 0.0;
}

int Node::ReadFromAscii(std::istream& in) {
  int number = 0;
  switch (ScanInt(in, number)) {
    case kScanOk: break;
    case kScanNone: in.clear(); return 0;
    case kScanBad: OLVU_FATAL("Wrong node number " << RecordPlaceIn(in) << "\n");
  }
  num[0] = number;
  for (unsigned i = 0; i < n && i < 3; ++i)
    if (ScanReal(in, data[i]) != kScanOk)
      OLVU_FATAL("Wrong coordinates in node " << number << " " << RecordPlaceIn(in) << "\n");
  DropRestOfRecord(in);
  return 1;
}

std::istream& operator>>(std::istream& in, Node& nd) {
  nd.ReadFromAscii(in);
  return in;
}

std::ostream& operator<<(std::ostream& out, const Node& nd) {
  out << std::setw(5) << nd.num[0];
  for (unsigned i = 1; i <= nd.length() && i <= 3; ++i) out << std::setw(15) << nd(i);
  return out << '\n';
}

double dist2(const Node* a, const Node* b) {
  const double* p = a->GivePointer();
  const double* q = b->GivePointer();
  const double dx = p[0] - q[0], dy = p[1] - q[1], dz = p[2] - q[2];
  return dx * dx + dy * dy + dz * dz;
}
