// The input reader's getters that compile a function text from the current card.
#include "foundation/error.h"
#include "input/compiler.h"
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

// Compiles a function text with a fresh unnamed compiler.
InstructionList* CompileText(const char* text) {
  Line cut(text, 1);
  Compiler compiler;
  return compiler.compileFrom(cut.FirstWord());
}

}  // namespace

Function* Input::GetFunc(const char* name) {
  Word* text = FunctionText(line_, name);
  return new Function(CompileText(text->text));
}

UFunction* Input::GetFunc(const char* name, Magnitude m, Units* u) {
  Units* own = CurrentUnits();
  Word* text = FunctionText(line_, name);
  InstructionList* list = CompileText(text->text);
  double factor = 1;
  if (m != Magnitude(-1)) {
    // No word after the text reads as a missing units word.
    Word* unit = text->Next();
    const char* w = unit ? unit->text : "";
    if (w[0] != '[' && m != Undimensional) OLVU_FATAL("You must specify units for function " << name << "\n");
    factor = (u ? u : own)->GetTransFact(w, m);
    if (!(factor > 0)) OLVU_FATAL("Wrong units found in function " << name << "\n");
  }
  return new UFunction(list, factor);
}
