#include "input/input.h"

#include <strings.h>

#include <cctype>
#include <cmath>
#include <string>

#include "foundation/charplex.h"
#include "foundation/error.h"
#include "input/filestack.h"
#include "input/line.h"
#include "input/units.h"

namespace {

/// Characters of a raw card kept per chunk.
constexpr int CardChunk = 48;

bool Same(const char* a, const char* b) { return strcasecmp(a, b) == 0; }

/// Character classes of bulk values: 1 white space, 2 a character a number can hold.
struct BulkClasses {
  unsigned char c[256] = {};
  constexpr BulkClasses() {
    for (char s : {' ', '\t', '\n', '\v', '\f', '\r'}) c[static_cast<unsigned char>(s)] = 1;
    for (char d = '0'; d <= '9'; ++d) c[static_cast<unsigned char>(d)] = 2;
    for (char s : {'.', 'e', 'E', '+', '-'}) c[static_cast<unsigned char>(s)] = 2;
  }
};
constexpr BulkClasses Bulk;

bool IsSpace(char c) { return Bulk.c[static_cast<unsigned char>(c)] == 1; }
bool InNumber(char c) { return Bulk.c[static_cast<unsigned char>(c)] == 2; }

/// A wrong block of values names the card they follow (in a restart file, the entry and its set)
/// and, when one stopped it, the word after the values read that is no number.
[[noreturn]] void WrongAscii(unsigned length, long found, CharPlex& card, const std::string& word = "") {
  OLVU_FATAL("Wrong data found in GetAsciiReaVec.\n\tVector length = "
             << length << " and found " << found << " in file"
             << (word.empty() ? std::string() : " before \"" + word + "\", which cannot be read as a number")
             << ".\n\tValues of the card: " << card << "\n");
}

/// The word that starts at p when it ends before e (its first 40 characters); empty when it may
/// go on past e.
std::string WordAt(const char* p, const char* e) {
  const char* t = p;
  while (t < e && !IsSpace(*t)) ++t;
  if (t == e) return "";
  return t - p > 40 ? std::string(p, 40) + "..." : std::string(p, t);
}

/// Reads n values (into out, or dropped when out is null) from the top file, right after the card.
/// Each value is the longest number the stream's conversion of a double takes, so values glued by
/// a sign ("1.5-2.5", as fixed-width writers leave them) read as two; a short or malformed block is
/// fatal.
void ReadValues(FileLink* top, double* out, int n, CharPlex& card) {
  if (n <= 0) return;
  FileBuf* b = top->Buffer();
  std::istream& is = *top->Stream();
  if (is.fail()) WrongAscii(unsigned(n), 0, card);
  for (;;) {  // what may stand between the card and its values
    int c = b->sgetc();
    if (c == EOF) WrongAscii(unsigned(n), 0, card);
    if (c != ' ' && c != ':' && c != '=' && c != '\n') break;
    b->sbumpc();
  }
  double scratch;
  int k = 0;
  while (k < n) {
    // In place, as long as whole runs of number characters lie in the buffer.
    const char* p = b->cur();
    const char* e = b->end();
    for (; k < n; ++k) {
      while (p < e && IsSpace(*p)) ++p;
      const char* t = p;
      while (t < e && InNumber(*t)) ++t;
      if (t == e) break;  // the value may go on in the next block
      const char* end;
      if (ReadDecimal(p, t, out ? out[k] : scratch, &end) != 1) {
        const std::string word = WordAt(p, e);
        if (!word.empty()) WrongAscii(unsigned(n), k, card, word);
        break;  // the word goes on in the next block: the stream reads it
      }
      p = end;
    }
    b->advance(p - b->cur());
    if (k == n) break;
    // The value that crosses the end of the buffer (or ends the file), through the stream.
    // A value it cannot convert is read again from its start, to be named.
    is >> std::ws;
    const std::streampos at = is.tellg();
    if (!(is >> (out ? out[k] : scratch))) {
      std::string word;
      is.clear();
      if (at != std::streampos(-1) && is.seekg(at)) is >> word;
      WrongAscii(unsigned(n), k, card, word.size() > 40 ? word.substr(0, 40) + "..." : word);
    }
    ++k;
  }
}

}  // namespace

// ---- construction ----

Input::Input() = default;

Input::Input(const char* fileName)
    : text_(std::make_unique<CharPlex>(CardChunk)),
      line_(std::make_unique<Line>()),
      files_(std::make_unique<FileStack>(fileName)),
      ownUnits_(std::make_unique<Units>("[m]", "[s]", "[Kg]")),
      units_(ownUnits_.get()) {}

Input::~Input() = default;

InputT::InputT(Input* parent) {
  const FileLink* top = parent->files_->Top();
  files_ = std::make_unique<FileStack>(std::make_unique<FileLink>(top));
  text_ = std::make_unique<CharPlex>(CardChunk);
  line_ = std::make_unique<Line>();
  units_ = parent->units_;
}

// ---- cards ----

bool Input::CardStep(bool endOk) {
  if (held_) {
    held_ = 0;
    return true;
  }
  for (;;) {
    ClearLine();
    if (!line_->ReadAndDecode(files_.get(), text_.get(), endOk)) return false;
    if (line_->NWords() == 0) continue;  // nothing but empty literals: no card to hand out
    if (line_->NNumbers() == 0 && line_->NWords() == 2 && Exist("Include")) {
      Word* w = line_->Find("Include")->Next();
      if (!w) OLVU_FATAL("\"Include\" must be followed by a word\n");
      files_->include(w->text);
      continue;
    }
    return true;
  }
}

void Input::ReadCard(const char* keyword) {
  CardStep();
  if (!Same(FirstWord(), keyword)) OLVU_FATAL("Wrong \"" << keyword << "\" card\n");
}

int Input::ReadCardIfExists(const char* keyword) {
  CardStep();
  if (Same(FirstWord(), keyword)) return 1;
  held_ = 1;
  return 0;
}

void Input::ReadLine() { CardStep(); }

int Input::ReadLineOrEnd() { return CardStep(true) ? 1 : 0; }

void Input::ReadMathLine() {
  line_->MathModeOn();
  CardStep();
  line_->MathModeOff();
}

void Input::HoldLine() { held_ = 1; }

void Input::JumpLine() {
  text_->clear();
  line_->clear();
  held_ = 0;  // a dropped card cannot be handed out again
}

void Input::ClearLine() {
  VerifyUse();
  JumpLine();
}

void Input::VerifyUse() {
  if (line_->NotUsedAll())
    OLVU_FATAL("Bug found!\n Terms that don't have sense found in input file.\n\t" << *text_
                                                                                     << "\n");
}

int Input::SearchCard(const char* pattern, int next) {
  FileLink* top = files_->Top();
  if (top->Stream()->fail()) return 0;
  FileBuf* b = top->Buffer();
  for (;;) {
    int c;
    while ((c = b->sgetc()) != EOF && std::isspace(c)) b->sbumpc();
    if (c == EOF) return 0;
    search_.clear();
    while ((c = b->sgetc()) != EOF && !std::isspace(c)) {
      search_ += char(std::tolower(c));
      b->sbumpc();
    }
    if (c == EOF) return 0;  // the last word of the file, matched or not
    if (search_.find(pattern) != std::string::npos) break;
  }
  JumpLine();
  if (next) CardStep();
  return 1;
}

int Input::NWords() const { return line_->NWords(); }

int Input::NNumbers() const { return line_->NNumbers(); }

int Input::NNumbersIn(const char* name) {
  Word* w = line_->Find(name);
  return w ? w->nnumbers : 0;
}

int Input::Exist(const char* name) { return line_->Find(name) ? 1 : 0; }

const char* Input::FirstWord() {
  Word* w = line_->FirstWord();
  if (!w) return "";
  w->used = 1;
  return w->text;
}

std::istream* Input::GiveStream() { return files_->Top()->Stream(); }

void Input::NewUnits(Units* u) {
  ownUnits_.reset(u);
  units_ = u;
}

void Input::SetDefaultUnitsConverser() { NewUnits(new Units("[m]", "[s]", "[Kg]")); }

Units* Input::CurrentUnits() {
  if (!units_) SetDefaultUnitsConverser();
  return units_;
}

double Input::GetFacToIU(const char* text, Magnitude m) {
  return CurrentUnits()->GetTransFact(text, m);
}

double Input::GetFacToIU(const char* text) { return CurrentUnits()->GetTransFact(text); }

void Input::PrintLine(std::ostream& os) {
  files_->PrintName(os);
  if (text_->nextPos > 1) os << " Last line read:\n\n\t" << *text_ << "\n\n";
  line_->PrintTo(os);
}

// ---- integer getters ----

namespace {

/// v truncated toward zero; a value beyond the int range is refused, as the node and element
/// readers refuse such a number, rather than saturated into a count that never ends.
int IntOf(double v, const char* name) {
  if (v >= 2147483648.0) OLVU_FATAL("Wrong maximum " << name << " given\n");
  if (v <= -2147483649.0) OLVU_FATAL("Wrong minimum " << name << " given\n");
  return static_cast<int>(v);
}

/// The one number of an integer getter's word, marked.
int OneInt(Word* w, const char* name) {
  if (!w || w->nnumbers == 0)
    OLVU_FATAL("Don't exist any number after a word \"" << name << "\"\n");
  if (w->nnumbers > 1)
    OLVU_FATAL("The word \"" << name << "\" must be followed by 1 number, not by " << w->nnumbers
                             << "\n");
  w->first->used = 1;
  return IntOf(w->first->value, name);
}

/// x, refused when it lies beyond the range of a double: a literal that overflowed when the
/// card was cut, or a value that overflowed in its conversion to internal units.
double Finite(double x, const char* name) {
  if (!std::isfinite(x)) OLVU_FATAL("Wrong " << (x > 0 ? "maximum " : "minimum ") << name << " given\n");
  return x;
}

/// v after Finite, entry by entry.
void Finite(const ReaVec& v, const char* name) {
  const double* p = v.GivePointer();
  for (unsigned i = 0; i < v.length(); ++i) Finite(p[i], name);
}

}  // namespace

int Input::GetInt(const char* name) { return OneInt(line_->Find(name), name); }

int Input::GetInt(const char* name, int def) {
  Word* w = line_->Find(name);
  if (!w || w->nnumbers == 0) return def;
  return OneInt(w, name);
}

int Input::GetIntIfExist(const char* name, int min) {
  Word* w = line_->Find(name);
  if (!w || w->nnumbers == 0) return min;
  int v = OneInt(w, name);
  if (v < min) OLVU_FATAL("Wrong minimum " << name << " given\n");
  return v;
}

IntVecT Input::GetIntVec(const char* name) {
  Word* w = line_->Find(name);
  if (!w || w->nnumbers == 0) OLVU_FATAL("Don't exist any number after a word \"" << name << "\"\n");
  for (const Number* n = w->first; n; n = n->next) IntOf(n->value, name);
  return line_->GetIntVec(w);
}

// ---- real getters ----

double Input::OneNumber(const char* name) {
  Word* w = line_->Find(name);
  if (!w || w->nnumbers == 0)
    OLVU_FATAL("Don't exist any number after a word \"" << name << "\"\n");
  if (w->nnumbers > 1)
    OLVU_FATAL(name << " must be followed by 1 number, not by " << w->nnumbers << "\n");
  w->first->used = 1;
  return Finite(w->first->value, name);
}

double Input::Factor(const char* word, Magnitude m, Units* u) {
  return (u ? u : CurrentUnits())->GetTransFact(word, m);
}

double Input::GetRea(const char* name, Magnitude m, Units* u) {
  CurrentUnits();
  double x = OneNumber(name);
  if (m == Magnitude(-1)) return x;
  const char* w = GetWord(name, "");
  if (x == 0 && w[0] != '[') return 0;  // a zero needs no units
  if (w[0] != '[' && m != Undimensional) OLVU_FATAL("You must specify units for " << name << "\n");
  return Finite(x * Factor(w, m, u), name);
}

double Input::GetRea(const char* name, double def, const char* units, Magnitude m) {
  CurrentUnits();
  Word* wd = line_->Find(name);
  double x = def;
  const char* w = units ? units : "";
  if (wd && wd->nnumbers > 0) {
    x = OneNumber(name);
    w = GetWord(name, "");
  }
  if (m == Magnitude(-1)) return x;
  if (x == 0 && w[0] != '[') return 0;
  if (w[0] != '[' && m != Undimensional) OLVU_FATAL("You must specify units for " << name << "\n");
  return Finite(x * Factor(w, m, nullptr), name);
}

double Input::GetReal(const char* name, Magnitude m, Units* u) {
  if (!line_->Find(name)) return 0;
  return GetRea(name, m, u);
}

double Input::GetRealIfExist(const char* name, Magnitude m, double min) {
  if (!line_->Find(name)) return min;
  double v = GetRea(name, m);
  if (v < min) OLVU_FATAL("Wrong minimum " << name << " given\n");
  return v;
}

ReaVecT Input::GetReaVec(const char* name, Magnitude m, Units* u) {
  CurrentUnits();
  ReaVecT v = line_->GetReaVec(name);
  if (v.length() == 0) OLVU_FATAL("Don't exist any number after a word \"" << name << "\"\n");
  Finite(v, name);
  if (m == Magnitude(-1)) return v;
  const char* w = GetWord(name, "");
  if (w[0] != '[' && m != Undimensional) OLVU_FATAL("You must specify units for " << name << "\n");
  double f = Factor(w, m, u);
  if (f != 1) v *= f;
  Finite(v, name);
  return v;
}

ReaVecT Input::GetReaVec(const char* name, double f) {
  ReaVecT v = line_->GetReaVec(name);
  if (f != 1 && v.length() > 0) v *= f;
  Finite(v, name);
  return v;
}

int Input::GetAsciiReaVec(ReaVec& v, int mode, const char* lenWord) {
  int n = GetInt(lenWord);
  unsigned len = v.length();
  if (n < 0) WrongAscii(len, n, *text_);
  if (len != unsigned(n) && mode == 1) {
    // A length the rest of the file cannot hold is a short block: report it before
    // taking storage for it.
    if (n > (1 << 20) && files_->Top()->Remaining() < 2LL * n - 1)
      ReadValues(files_->Top(), nullptr, n, *text_);
    v.resize(unsigned(n), 0.0);
  } else if (len == 0 && mode == -1) {
    ReadValues(files_->Top(), nullptr, n, *text_);  // nowhere to put them: skip
    return 0;
  } else if (len != unsigned(n)) {
    if (mode == -1) return -1;
    WrongAscii(len, n, *text_);
  }
  ReadValues(files_->Top(), v.GivePointer(), n, *text_);
  return 0;
}

// ---- word getters ----

const char* Input::GetWord(const char* name, const char* def) {
  Word* w = line_->Find(name);
  Word* after = w ? w->Next() : nullptr;
  if (after) return after->text;
  if (def) return def;
  OLVU_FATAL("\"" << name << "\" must be followed by a word\n");
}

const char* Input::GetWordIfExist(const char* name) { return GetWord(name, ""); }

const char* Input::GetWhatEver(const char* name, const char* def) {
  Word* w = line_->Find(name);
  if (w && w->nnumbers > 0) {
    for (Number* k = w->first; k; k = k->next) k->used = 1;
    return "1";
  }
  Word* after = w ? w->Next() : nullptr;
  if (after) return after->text;
  if (def) return def;
  OLVU_FATAL("\"" << name << "\" must be followed by a word or a number\n");
}
