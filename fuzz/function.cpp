// Function compiler: the input is a function text, compiled by the base
// compiler or the checker's (first byte odd), then evaluated in every form.
#include <memory>

#include "fuzz/fuzz_target.h"
#include "input/functbl.h"
#include "input/function.h"
#include "input/line.h"

namespace olvu_fuzz {

void FuzzOne(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return;
  const std::string text = Text(data + 1, size - 1);
  Line line(text.c_str(), 1);
  if (data[0] & 1) {
    CompilerCheck check;
    delete check.compileFrom(line.FirstWord());
    return;
  }
  Compiler compiler;
  auto f = std::make_unique<Function>(compiler.compileFrom(line.FirstWord()));
  switch ((data[0] >> 1) % 3) {
    case 0: f->evaluate(0.25, 2, 0.5, 3, nullptr); break;
    case 1: {
      FuncData d;
      d.x = 1;
      d.y = -2;
      d.t = 0.5;
      f->evaluate(&d);
      f->valueAt(d);
      break;
    }
    default: f->isConstant(); break;
  }
}

}  // namespace olvu_fuzz
