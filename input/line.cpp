#include "input/line.h"

#include <strings.h>

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "foundation/charplex.h"
#include "foundation/error.h"
#include "input/filestack.h"

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

/// Puts node at the end of the chain first .. last.
template <class T>
void Chain(T*& first, T*& last, T* node) {
  (last ? last->next : first) = node;
  last = node;
}

/// Copy of a text on the heap, as words own it.
char* Copy(const char* s, std::size_t n) {
  char* c = new char[n + 1];
  std::memcpy(c, s, n);
  c[n] = '\0';
  return c;
}

/// Truncation toward zero, saturated to the int range.
int ToInt(double v) {
  if (!(v == v)) return 0;
  if (v >= double(INT_MAX)) return INT_MAX;
  if (v <= double(INT_MIN)) return INT_MIN;
  return int(v);
}

/// The characters of a raw card, positions 1 .. nextPos-1, through the chunk cache.
struct PlexSource {
  CharPlex* raw;
  int pos = 1;
  CharChunk* chunk = raw->head;
  int operator()() {
    if (pos >= raw->nextPos) return -1;
    if (pos < chunk->lo || pos >= chunk->hi) {
      raw->cache(pos);
      chunk = raw->cached;
    }
    return static_cast<unsigned char>(chunk->data[pos++ - chunk->lo]);
  }
};

/// The characters of a NUL-terminated text.
struct TextSource {
  const char* p;
  int operator()() { return *p ? static_cast<unsigned char>(*p++) : -1; }
};

}  // namespace

int ReadDecimal(const char* s, const char* e, double& v, const char** end) {
  if (s == e) return 0;
  const char* q = (*s == '+') ? s + 1 : s;  // the conversion takes no '+'
  const char* d = (q == s && *q == '-') ? q + 1 : q;
  if (d < e && *d == '.') ++d;
  if (d == e || !IsDigit(*d)) return 0;
  auto r = std::from_chars(q, e, v);
  if (end)
    *end = r.ptr;
  else if (r.ptr != e)
    return 0;
  return r.ec == std::errc::result_out_of_range ? -1 : 1;
}

// ---- Number ----

int Number::NotUsed() const {
  for (const Number* n = this; n; n = n->next)
    if (!n->used) return 1;
  return 0;
}

void Number::Print(std::ostream& os) const {
  for (const Number* n = this; n; n = n->next) {
    os << "\t" << n->value;
    if (!n->used) os << "?";
  }
}

// ---- Word ----

Word::Word(char* t) : text(t), length(int(std::strlen(t))) {}

Word::~Word() {
  for (Number* n = first; n;) {
    Number* k = n->next;
    delete n;
    n = k;
  }
  delete[] text;
  // The words after this one go iteratively, so a card of any length cannot exhaust the stack.
  Word* w = next;
  next = nullptr;
  while (w) {
    Word* k = w->next;
    w->next = nullptr;
    delete w;
    w = k;
  }
}

void Word::Append(double v) {
  Chain(first, last, new Number(v));
  ++nnumbers;
}

Word* Word::Find(const char* name, int len) {
  for (Word* w = this; w; w = w->next) {
    if (w->length == len && strncasecmp(w->text, name, len) == 0) {
      w->used = 1;
      return w;
    }
  }
  return nullptr;
}

Word* Word::Next() {
  if (next) next->used = 1;
  return next;
}

int Word::NotUsed() const {
  for (const Word* w = this; w; w = w->next) {
    if (!w->used) return 1;
    if (w->first && w->first->NotUsed()) return 1;
  }
  return 0;
}

void Word::Print(std::ostream& os) const {
  for (const Word* w = this; w; w = w->next) {
    os << "\n\t" << w->text << (w->used ? " " : "?");
    if (w->length <= 6) os << "\t";
    if (w->first) w->first->Print(os);
  }
}

ReaVecT Word::ReaVec() {
  ReaVecT v(static_cast<unsigned>(nnumbers));
  double* d = v.GivePointer();
  for (Number* n = first; n; n = n->next) {
    *d++ = n->value;
    n->used = 1;
  }
  return v;
}

IntVecT Word::IntVec() {
  IntVecT v(nnumbers, 0);
  unsigned i = 0;
  for (Number* n = first; n; n = n->next) {
    v[i++] = ToInt(n->value);
    n->used = 1;
  }
  return v;
}

// ---- Line ----

Line::Line(const char* text, int math) {
  mathMode_ = math;
  if (!text || !*text) return;
  Append(Copy("MyLine", 6));
  TextSource src{text};
  Cut(src, false);
}


int Line::eol(char c) {
  endCard_ = separator_ = bracket_ = mathToken_ = 0;
  const bool plain = !literal_ && !comment_;  // neither in a literal nor in a comment
  switch (c) {
    case ';':
      if (plain) endCard_ = 1;
      break;
    case '\n':
      if (literal_) OLVU_FATAL("'\"' expected. (You must close literal before end of line)\n");
      if (braces_ == 0) {
        comment_ = lineComment_ = 0;
        separator_ = 1;
      }
      break;
    case ' ':
    case '\t':
    case '\r':  // CR LF line ends read as LF
    case ':':
      if (plain) separator_ = 1;
      break;
    case ',':
    case '=':
      if (plain) (mathMode_ ? mathToken_ : separator_) = 1;
      break;
    case '!':
      if (braces_ == 0 && !literal_) comment_ = lineComment_ = 1;
      break;
    case '{':
      if (!lineComment_ && !literal_) {
        ++braces_;
        comment_ = 1;
      }
      break;
    case '}':
      if (!lineComment_ && !literal_) {
        if (--braces_ < 0) OLVU_FATAL("End of comment '}' found without being in a comment\n");
        if (braces_ == 0) {
          comment_ = 0;
          separator_ = 1;
        }
      }
      break;
    case '"':
      if (!lineComment_ && braces_ == 0) {
        literal_ = !literal_;
        separator_ = 1;
      }
      break;
    case '#':
      if (plain) {
        if (mathMode_) {
          mathMode_ = 0;
          separator_ = 1;
        } else {
          mathMode_ = 1;
          mathToken_ = 1;
        }
      }
      break;
    case '&': case '(': case ')': case '*': case '+': case '-': case '/':
    case '<': case '>': case '^': case '|': case '~':
      if (mathMode_ && plain) mathToken_ = 1;
      break;
    case 'e':
    case 'E':
      if (mathMode_ && plain && prevDigit_) mathToken_ = 1;
      break;
    case '[':
      bracket_ = 1;
      break;
    default:
      break;
  }
  prevDigit_ = (c == '.' || IsDigit(c));
  return endCard_;
}

bool Line::ReadAndDecode(FileStack* files, CharPlex* raw, bool endOk) {
  // Pass 1: collect the card's characters, skipping what leads up to it.
  FileLink* top = files->Top();
  bool started = false;
  for (;;) {
    int c = top->Stream()->fail() ? EOF : top->Buffer()->sbumpc();
    if (c == EOF) {
      // An unclosed brace comment is an unexpected end, as within a card.
      if (endOk && !started && braces_ == 0 && !top->Below()) return false;
      files->Pop();
      top = files->Top();
      continue;
    }
    eol(char(c));
    if (!started) {
      if (!literal_ && (endCard_ || comment_ || separator_)) continue;
      started = true;
    }
    raw->add(char(c));
    if (endCard_) break;
  }
  // Pass 2: cut the stored card, in the math mode left after its last character.
  PlexSource src{raw};
  Cut(src, true);
  return true;
}

template <class Source>
void Line::Cut(Source& src, bool literals) {
  comment_ = literal_ = lineComment_ = braces_ = 0;
  auto fetch = [&] {
    int c = src();
    if (c >= 0) eol(char(c));
    return c;
  };
  int c = fetch();
  for (;;) {
    while (c >= 0 && !endCard_ && (comment_ || separator_)) c = fetch();
    if (c < 0 || endCard_) return;
    token_.assign(1, char(c));
    if (mathToken_) {  // a math token is a word of one character
      EndToken(false, true);
      c = fetch();
      continue;
    }
    const bool literal = literals && literal_;
    for (;;) {
      c = fetch();
      if (c < 0 || endCard_ || comment_ || separator_ || bracket_ || mathToken_) break;
      token_ += char(c);
    }
    EndToken(literal, false);
    if (c < 0 || endCard_) return;
    // A '[' or a math token that ended the token starts the next one.
  }
}

void Line::EndToken(bool literal, bool mathToken) {
  double v = 0;
  int r = (literal || mathToken) ? 0 : ReadDecimal(token_.data(), token_.data() + token_.size(), v);
  if (r == 0) {
    Append(Copy(token_.data(), token_.size()));
    return;
  }
  if (r < 0) v = std::strtod(token_.c_str(), nullptr);  // +-inf, or the nearest tiny value
  Append(v);
}

void Line::Append(char* text) {
  Word* w = new Word(text);
  if (last_)
    last_->next = w;
  else
    first_.reset(w);
  last_ = w;
  ++nwords_;
}

void Line::Append(double v) {
  if (!last_) OLVU_FATAL("Every line must start with some word\n");
  last_->Append(v);
  ++nnumbers_;
}

Word* Line::Find(const char* name) {
  return first_ ? first_->Find(name, int(std::strlen(name))) : nullptr;
}

ReaVecT Line::GetReaVec(const char* name) { return GetReaVec(Find(name)); }

IntVecT Line::GetIntVec(const char* name) { return GetIntVec(Find(name)); }

ReaVecT Line::GetReaVec(Word* w) { return w ? w->ReaVec() : ReaVecT(); }

IntVecT Line::GetIntVec(Word* w) { return w ? w->IntVec() : IntVecT(); }

int Line::NotUsedAll() const { return first_ ? first_->NotUsed() : 0; }

void Line::clear() {
  first_.reset();
  last_ = nullptr;
  nwords_ = nnumbers_ = 0;
  comment_ = literal_ = separator_ = bracket_ = mathToken_ = endCard_ = 0;
  lineComment_ = braces_ = 0;
  prevDigit_ = 1;
}

void Line::PrintTo(std::ostream& os) const {
  if (!first_) return;
  os << " Decoded line:  (" << nwords_ << " words, " << nnumbers_ << " numbers.)\n\n"
     << "\tWORDS\t\tNUMBERS ";
  os << (NotUsedAll() ? "\t'?' => Unknown term.\n" : "\n");
  first_->Print(os);
  os << "\n\n";
}

std::ostream& operator<<(std::ostream& os, const Line& line) {
  line.PrintTo(os);
  return os;
}
