#include "foundation/intplex.h"

void IntPlex::cache(int p) {
  if (!locate(p)) OLVU_FATAL("Attempt to access invalid index " << p << "\n\tIntPlex = " << *this << "\n");
}

std::ostream& operator<<(std::ostream& out, IntPlex& values) {
  IntChunk* c = values.head;
  do {
    for (int p = c->lo; p < c->hi; ++p) {
      if (p % 12 == 0) out << "\n\t";
      out << c->data[p - c->lo] << "\t";
    }
    c = c->next;
  } while (c != values.head);
  return out;
}
