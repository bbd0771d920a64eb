// The data-file reader: cards by keyword, typed getters that mark what they
// consume and convert values with units into internal units, include files.
#pragma once

#include <iosfwd>
#include <memory>
#include <string>

#include "foundation/intvec.h"
#include "foundation/reavec.h"
#include "input/types.h"

class CharPlex;
class Line;
class Word;
class FileStack;
class FileLink;
class Units;
class Function;
class UFunction;
class FluidFunction;
class FunctionDomain;

/// Reader of data-file cards with typed, case-insensitive getters.
class Input {
 public:
  /// Opens the data file (fatal when it cannot be found or opened).
  explicit Input(const char* fileName);
  /// Frees the unit system (when owned), the card, the raw text and the file stack.
  virtual ~Input();
  Input(const Input&) = delete;
  Input& operator=(const Input&) = delete;

  // Card operations.

  /// Next card, whose first word must be keyword (ignoring case).
  void ReadCard(const char* keyword);
  /// Next card; 1 when its first word is keyword, else holds the card and returns 0.
  int ReadCardIfExists(const char* keyword);
  /// Next card.
  void ReadLine();
  /// Next card; 0, with no card, when only separators and comments are left of the data file.
  int ReadLineOrEnd();
  /// Next card, cut in math mode.
  void ReadMathLine();
  /// Makes the next card request return the current card again.
  void HoldLine();
  /// Drops the current card without the unmarked-terms check.
  void JumpLine();
  /// Unmarked-terms check, then drops the current card.
  void ClearLine();
  /// Unmarked-terms check alone.
  void VerifyUse();
  /// Skips ahead in the top file to a word containing pattern; 1 when found, 0 at end of file.
  int SearchCard(const char* pattern, int next);
  /// Count of words of the card.
  int NWords() const;
  /// Count of numbers of the card.
  int NNumbers() const;
  /// Count of numbers of name's word (word marked, numbers not); 0 when absent.
  int NNumbersIn(const char* name);
  /// 1 when name is on the card (and marks it), else 0.
  int Exist(const char* name);
  /// Text of the card's first word, marked.
  const char* FirstWord();
  /// The current card.
  Line* GetLine() { return line_.get(); }
  /// The unit system values are converted into.
  Units* GiveUnits() { return units_; }
  /// Stream of the top file, positioned after the current card (for bulk readers).
  std::istream* GiveStream();
  /// Frees the current unit system (when owned) and takes u over.
  void NewUnits(Units* u);
  /// Installs the unit system "[m]", "[s]", "[Kg]".
  void SetDefaultUnitsConverser();
  /// Factor of a units text to the reader's units for a magnitude.
  double GetFacToIU(const char* text, Magnitude m);
  /// Factor of a units text to the reader's units of the text's own dimension.
  double GetFacToIU(const char* text);
  /// Prints the file stack, the raw card and the cut card.
  void PrintLine(std::ostream& os);

  // Typed getters: each marks the terms it consumes.

  /// The one number of name, truncated toward zero.
  int GetInt(const char* name);
  /// As GetInt, def when name has no number (or is absent).
  int GetInt(const char* name, int def);
  /// min when absent or without number; below min is fatal.
  int GetIntIfExist(const char* name, int min);
  /// Numbers of name as integers (none is fatal).
  IntVecT GetIntVec(const char* name);
  /// The one number of name in internal units; u, when given, replaces the reader's units.
  double GetRea(const char* name, Magnitude m, Units* u = nullptr);
  /// As GetRea, def in the units text units when name has no number (or is absent).
  double GetRea(const char* name, double def, const char* units, Magnitude m);
  /// 0 when name is absent, else GetRea.
  double GetReal(const char* name, Magnitude m, Units* u = nullptr);
  /// min when name is absent, else GetRea; below min is fatal.
  double GetRealIfExist(const char* name, Magnitude m, double min);
  /// Numbers of name in internal units (none is fatal).
  ReaVecT GetReaVec(const char* name, Magnitude m, Units* u = nullptr);
  /// Numbers of name, each multiplied by f.
  ReaVecT GetReaVec(const char* name, double f);
  /// Fills v with the values written in the file after the card, their count the number of the
  /// word lenWord; 0, or -1 (mode -1).
  int GetAsciiReaVec(ReaVec& v, int mode, const char* lenWord = "len");
  /// Text of the word after name; def when there is none (fatal when def is null).
  const char* GetWord(const char* name, const char* def);
  /// Text of the word after name, "" when there is none.
  const char* GetWordIfExist(const char* name);
  /// "1" when name has numbers, else the word after it, else def (fatal when null).
  const char* GetWhatEver(const char* name, const char* def);

  // Function getters (defined with the function language).

  /// A new function compiled from the text after name.
  Function* GetFunc(const char* name);
  /// A new function of time compiled from the text after name, with its units factor; `fname`
  /// names it in the compiler's messages.
  UFunction* GetFunc(const char* name, Magnitude m, Units* u = nullptr, const char* fname = nullptr);
  /// A new function of domain d compiled from the text after name, with its units factor
  /// (compile errors name it fname, or name when fname is empty).
  FluidFunction* GetFluidFunc(const char* name, FunctionDomain* d, Magnitude m, const char* fname = "",
                              Units* u = nullptr);

 protected:
  /// Reader state for a reader made by a subclass: filled in by it.
  Input();

  /// Next card into the raw text and the line (held cards and include cards handled); with
  /// `endOk`, false at the end of the data file between cards.
  bool CardStep(bool endOk = false);
  /// The one number of name with the real getters' messages.
  double OneNumber(const char* name);
  /// Factor of a units word for m in u, or in the reader's units.
  double Factor(const char* word, Magnitude m, Units* u);
  /// The reader's unit system, installing the default one first when it holds none.
  Units* CurrentUnits();

  std::unique_ptr<CharPlex> text_;    ///< raw characters of the current card
  std::unique_ptr<Line> line_;        ///< the current card, cut
  std::unique_ptr<FileStack> files_;  ///< open data file and include files
  std::unique_ptr<Units> ownUnits_;   ///< the unit system this reader owns (null when it shares one)
  Units* units_ = nullptr;            ///< unit system of the values read: ownUnits_, or another reader's
  int held_ = 0;                      ///< 1: the next card request returns the current card
  std::string search_;          ///< word buffer of SearchCard

  friend class InputT;
};

/// A second reader on the same data file, opened afresh at its start, sharing the units.
class InputT : public Input {
 public:
  /// Opens parent's top file again with its own card buffers; parent's units are shared.
  explicit InputT(Input* parent);
  ~InputT() override = default;
};
