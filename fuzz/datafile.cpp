// Data-file reader: the input is a data file; the reader walks its cards and
// asks each for values of every kind (the choice comes from the card count
// and the first byte, so one input always takes the same path).
#include "foundation/reavec.h"
#include "fuzz/fuzz_target.h"
#include "input/function.h"
#include "input/input.h"

namespace olvu_fuzz {

void FuzzOne(const std::uint8_t* data, std::size_t size) {
  ScratchFile file("fuzz_case.dat", Text(data, size));
  const unsigned pick = size ? data[0] : 0;
  Input in(file.name());
  for (unsigned card = 0; card < 64; ++card) {
    if ((pick + card) % 7 == 6) in.ReadMathLine();
    else in.ReadLine();
    const char* w = in.FirstWord();
    switch ((pick + card) % 7) {
      case 0: in.GetRea(w, Magnitude(int((pick + card) % 61) - 1)); break;
      case 1: in.GetInt(w, 0); break;
      case 2: in.GetWhatEver(w, "d"); break;
      case 3: {
        ReaVec v;
        if (in.Exist("len")) in.GetAsciiReaVec(v, int(card % 3) - 1);
        break;
      }
      case 4: in.GetReaVec(w, 2.0); break;
      case 5: in.GetWordIfExist(w); break;
      default: delete in.GetFunc(w); break;
    }
    if ((pick >> 3) & 1) in.JumpLine();
  }
}

}  // namespace olvu_fuzz
