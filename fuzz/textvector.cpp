// Text-vector reader: the input is the text form of a vector, read into an
// empty vector that takes its length (first byte even) or into one of fixed
// length 3.
#include <sstream>

#include "foundation/reavec.h"
#include "fuzz/fuzz_target.h"

namespace olvu_fuzz {

void FuzzOne(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return;
  std::istringstream in(Text(data + 1, size - 1));
  ReaVec v((data[0] & 1) ? 3u : 0u);
  v.ReadAscii(in, "Vx", (data[0] & 1) ? 0 : 1);
}

}  // namespace olvu_fuzz
