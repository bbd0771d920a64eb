#include "foundation/charplex.h"

void CharPlex::cache(int p) {
  if (!locate(p)) OLVU_FATAL("Attempt to access invalid index " << p << "\n\tCharPlex = " << *this << "\n");
}

std::ostream& operator<<(std::ostream& out, CharPlex& buffer) {
  CharChunk* c = buffer.head;
  do {
    out.write(c->data, c->hi - c->lo);
    c = c->next;
  } while (c != buffer.head);
  return out;
}
