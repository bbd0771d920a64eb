// The input reader's getters that compile a function text from the current card.

#include "foundation/error.h"
#include "input/compiler.h"
#include "input/fluidfunction.h"
#include "input/function.h"
#include "input/input.h"
#include "input/line.h"
#include "input/units.h"

namespace {

// Finds name on the card (marked) and gives the function text after it (marked).
Word* FunctionText(Line* card, const char* name) {
  Word* key = card->Find(name);
  if (!key) OLVU_FATAL("Function " << name << " not found.\n");
  Word* text = key->Next();
  if (!text) OLVU_FATAL("Input file error: Cannot read function " << name << "\n");
  return text;
}

// Compiles a function text with a fresh compiler, named `fname` in its messages when given.
InstructionList* CompileText(const char* text, const char* fname = nullptr) {
  Line cut(text, 1);
  Compiler compiler;
  if (fname) compiler.readInfo(fname);
  return compiler.compileFrom(cut.FirstWord());
}

// Units factor of the word after the function text for magnitude m (1 for Magnitude(-1)).
double UnitsAfter(Word* text, const char* name, Magnitude m, Units* units) {
  if (m == Magnitude(-1)) return 1;
  // No word after the text reads as a missing units word.
  Word* unit = text->Next();
  const char* w = unit ? unit->text : "";
  if (w[0] != '[' && m != Undimensional) OLVU_FATAL("You must specify units for function " << name << "\n");
  return units->GetTransFact(w, m);
}

}  // namespace

Function* Input::GetFunc(const char* name) {
  Word* text = FunctionText(line_.get(), name);
  return new Function(CompileText(text->text));
}

UFunction* Input::GetFunc(const char* name, Magnitude m, Units* u, const char* fname) {
  Units* own = CurrentUnits();
  Word* text = FunctionText(line_.get(), name);
  InstructionList* list = CompileText(text->text, fname);
  const double factor = UnitsAfter(text, name, m, u ? u : own);
  if (m != Magnitude(-1) && !(factor > 0)) OLVU_FATAL("Wrong units found in function " << name << "\n");
  return new UFunction(list, factor);
}

FluidFunction* Input::GetFluidFunc(const char* name, FunctionDomain* d, Magnitude m, const char* fname, Units* u) {
  Units* own = CurrentUnits();
  Word* text = FunctionText(line_.get(), name);
  InstructionList* list;
  {
    Line cut(text->text, 1);
    FluidCompiler compiler(d);
    compiler.readInfo(fname && *fname ? fname : name);
    list = compiler.compileFrom(cut.FirstWord());
  }
  // The factor is kept as it comes: a domain function may scale by any number.
  const double factor = UnitsAfter(text, name, m, u ? u : own);
  return new FluidFunction(list, d, factor, name);
}
