// Units: the input is a units word checked and converted for a magnitude
// (first byte), and read as the length unit of a new system.
#include "fuzz/fuzz_target.h"
#include "input/units.h"

namespace olvu_fuzz {

void FuzzOne(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return;
  const std::string word = Text(data + 1, size - 1);
  const Magnitude m = Magnitude(int(data[0] % 61) - 1);
  static const Units si("[m]", "[s]", "[Kg]");
  switch (data[0] % 3) {
    case 0: si.GetTransFact(word.c_str(), m); break;
    case 1: si.CheckUnits(word.c_str(), m); break;
    default: Units(word.c_str(), "[s]", "[Kg]"); break;
  }
}

}  // namespace olvu_fuzz
