// Saved-result reader: the input is a saved result file, whose VELOCITY,
// PRESSURE and TEMPERATURE blocks are read as the tools read them.
#include <sstream>

#include "driver/savedresults.h"
#include "fuzz/fuzz_target.h"

namespace olvu_fuzz {

void FuzzOne(const std::uint8_t* data, std::size_t size) {
  std::istringstream in(Text(data, size));
  SavedResults blocks(in);
  SavedField field;
  while (blocks.Next()) {
    const int n = blocks.Is("VELOCITY") ? 3 : blocks.Is("PRESSURE") || blocks.Is("TEMPERATURE") ? 1 : 0;
    if (n == 0) continue;
    blocks.Time();
    blocks.Values(n, field);
  }
}

}  // namespace olvu_fuzz
