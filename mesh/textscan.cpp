// Character-level list readers over the stream buffer: one virtual-free peek per character.
#include "mesh/textscan.h"

#include <cctype>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "foundation/error.h"
#include "input/line.h"

namespace {

using Traits = std::istream::traits_type;
constexpr int kEof = Traits::eof();

inline bool IsSpace(int c) { return c == ' ' || c == '\n' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }
inline bool IsDigit(int c) { return c >= '0' && c <= '9'; }

/// Peeks past white space; returns the first other character (not consumed) or EOF.
int SkipSpace(std::streambuf* sb) {
  int c = sb->sgetc();
  while (c != kEof && IsSpace(c)) c = sb->snextc();
  return c;
}

/// Appends the character to a token held in a fixed buffer, spilling into `big` when long.
struct Token {
  char small[64];
  int len = 0;
  std::string big;
  void push(int c) {
    if (len < static_cast<int>(sizeof small)) {
      small[len++] = static_cast<char>(c);
      return;
    }
    if (big.empty()) big.assign(small, sizeof small);
    big.push_back(static_cast<char>(c));
    ++len;
  }
  const char* data() const { return big.empty() ? small : big.data(); }
};

/// Consumes a run of digits into the token; returns their count.
int TakeDigits(std::streambuf* sb, Token& t) {
  int n = 0;
  int c = sb->sgetc();
  while (IsDigit(c)) {
    t.push(c);
    ++n;
    c = sb->snextc();
  }
  return n;
}

/// Reads the next word, lower-cased, as the card reader cuts it with the state `card` (a word in a
/// comment or a literal is none): "" at the end of the stream. The character that ends the word is
/// consumed unless it opens a comment or a literal: it then stays (`open` is set), so that the next
/// reader sees it open.
std::string CardWord(std::streambuf* sb, Line& card, bool& open) {
  std::string w;
  for (int c = sb->sgetc(); c != kEof; c = sb->sgetc()) {
    card.eol(static_cast<char>(c));
    if (card.InPlainToken()) {
      w.push_back(static_cast<char>(std::tolower(c)));
      sb->sbumpc();
      continue;
    }
    if (!w.empty() && card.InCommentOrLiteral()) {
      open = true;
      return w;
    }
    sb->sbumpc();
    if (!w.empty()) return w;
  }
  return w;
}

}  // namespace

SkipResult SkipSeparators(std::istream& in) {
  std::streambuf* sb = in.rdbuf();
  int c = sb->sgetc();
  while (c == ' ' || c == ':' || c == '=' || c == '\n') c = sb->snextc();
  if (c == kEof) return kSkipEnd;
  if (c == '#') {
    sb->sbumpc();
    return kSkipComment;
  }
  return kSkipOther;
}

void DiscardLine(std::istream& in) {
  std::streambuf* sb = in.rdbuf();
  int c = sb->sgetc();
  while (c != kEof && c != '\n') c = sb->snextc();
}

namespace {

/// Consumes a brace comment from its '{' to the matching '}' (braces nest; '!' inside is text),
/// or to the end of the stream when it is not closed.
void SkipBraces(std::streambuf* sb) {
  int depth = 0;
  for (int c = sb->sgetc(); c != kEof; c = sb->snextc()) {
    if (c == '{') ++depth;
    if (c == '}' && --depth == 0) {
      sb->sbumpc();
      return;
    }
  }
}

}  // namespace

void SkipToRecord(std::istream& in, WordKind kind) {
  std::streambuf* sb = in.rdbuf();
  const bool cards = kind == kCardWords;
  for (;;) {
    int c = sb->sgetc();
    while (IsSpace(c) || c == ':' || c == '=') c = sb->snextc();
    if (c == '#' || (cards && c == '!')) {
      DiscardLine(in);
    } else if (cards && c == '{') {
      SkipBraces(sb);
    } else {
      return;
    }
  }
}

void DropRestOfRecord(std::istream& in) {
  std::streambuf* sb = in.rdbuf();
  bool lineComment = false;  // after a '!' or a '#' a brace is comment text
  for (int c = sb->sgetc(); c != kEof && c != '\n'; c = sb->snextc()) {
    if (c == '!' || c == '#') lineComment = true;
    if (c == '{' && !lineComment) {
      SkipBraces(sb);
      return;
    }
  }
}

ScanStatus ScanInt(std::istream& in, int& value) {
  std::streambuf* sb = in.rdbuf();
  int c = SkipSpace(sb);
  bool neg = false;
  if (c == '+' || c == '-') {
    const int sign = c;
    c = sb->snextc();
    if (!IsDigit(c)) {
      sb->sputbackc(static_cast<char>(sign));  // leave the lone sign for the next reader
      return kScanNone;
    }
    neg = sign == '-';
  }
  if (!IsDigit(c)) return kScanNone;
  long long v = 0;
  bool big = false;
  while (IsDigit(c)) {
    if (!big) {
      v = v * 10 + (c - '0');
      big = v > static_cast<long long>(INT_MAX) + 1;
    }
    c = sb->snextc();
  }
  if (neg) v = -v;
  if (big || v > INT_MAX || v < INT_MIN) return kScanBad;
  value = static_cast<int>(v);
  return kScanOk;
}

ScanStatus ScanReal(std::istream& in, double& value) {
  std::streambuf* sb = in.rdbuf();
  int c = SkipSpace(sb);
  if (!(IsDigit(c) || c == '.' || c == '+' || c == '-')) return kScanNone;
  Token t;
  if (c == '+' || c == '-') {
    if (c == '-') t.push(c);
    c = sb->snextc();
  }
  int digits = TakeDigits(sb, t);
  c = sb->sgetc();
  if (c == '.') {
    t.push(c);
    sb->sbumpc();
    digits += TakeDigits(sb, t);
    c = sb->sgetc();
  }
  if (digits == 0) return kScanBad;
  if (c == 'e' || c == 'E') {
    t.push(c);
    c = sb->snextc();
    if (c == '+' || c == '-') {
      t.push(c);
      sb->sbumpc();
    }
    if (TakeDigits(sb, t) == 0) return kScanBad;
  }
  const char* s = t.data();
  auto res = std::from_chars(s, s + t.len, value);
  if (res.ec == std::errc()) return kScanOk;
  if (res.ec != std::errc::result_out_of_range) return kScanBad;
  // Underflow gives 0 or a subnormal as the C conversion does; overflow is an error.
  std::string z(s, t.len);
  value = std::strtod(z.c_str(), nullptr);
  return std::isfinite(value) ? kScanOk : kScanBad;
}

std::string ReadWord(std::istream& in) {
  std::streambuf* sb = in.rdbuf();
  std::string w;
  int c = SkipSpace(sb);
  while (c != kEof && !IsSpace(c)) {
    w.push_back(static_cast<char>(c));
    c = sb->snextc();
  }
  return w;
}

std::string ReadLowerWord(std::istream& in) {
  std::string w = ReadWord(in);
  for (char& c : w) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return w;
}

bool SeekLowerWord(std::istream& in, const char* word, WordKind kind) {
  if (kind == kPlainWords) {
    for (;;) {
      const std::string w = ReadLowerWord(in);
      if (w.empty()) return false;
      if (w.find(word) != std::string::npos) return true;
    }
  }
  Line card;
  for (;;) {
    bool open = false;
    const std::string w = CardWord(in.rdbuf(), card, open);
    if (w.empty()) return false;
    if (w.find(word) != std::string::npos) return true;
    if (open) in.rdbuf()->sbumpc();  // the search goes on: the card state has taken the character
  }
}

std::string ReadCardWord(std::istream& in) {
  Line card;
  bool open = false;
  return CardWord(in.rdbuf(), card, open);
}

void FindLowerWord(std::istream& in, const char* word, WordKind kind) {
  if (!SeekLowerWord(in, word, kind))
    OLVU_FATAL("can't find word ***" << word << "*** in " << FileOf(in, "input file") << "\n");
}

void SkipToDigit(std::istream& in) {
  std::streambuf* sb = in.rdbuf();
  int c = sb->sgetc();
  while (c != kEof && !IsDigit(c)) c = sb->snextc();
  if (c == kEof) OLVU_FATAL("end of file and no digit found\n");
}

int ReadIntAfterWord(std::istream& in) {
  SkipToDigit(in);
  int v = 0;
  if (ScanInt(in, v) != kScanOk) OLVU_FATAL("Number out of range " << PlaceIn(in) << "\n");
  return v;
}

long long StreamOffset(std::istream& in) {
  return static_cast<long long>(in.rdbuf()->pubseekoff(0, std::ios_base::cur, std::ios_base::in));
}

namespace {

// The stream's slot that holds its StreamName's text (null: none).
int NameSlot() {
  static const int slot = std::ios_base::xalloc();
  return slot;
}

}  // namespace

StreamName::StreamName(std::istream& in, std::string name) : in_(in), name_(std::move(name)) {
  in_.pword(NameSlot()) = &name_;
}

StreamName::~StreamName() { in_.pword(NameSlot()) = nullptr; }

std::string FileOf(std::istream& in, const char* unnamed) {
  const auto* name = static_cast<const std::string*>(in.pword(NameSlot()));
  return name ? *name : unnamed;
}

std::string PlaceIn(std::istream& in) { return "at byte " + std::to_string(StreamOffset(in)) + " of " + FileOf(in); }

namespace {

/// The 1-based number of the line that holds byte `offset` of `in`, and that line's text; the read
/// position is restored. Line 0 when the stream cannot be repositioned.
std::pair<long long, std::string> LineOf(std::istream& in, long long offset) {
  std::streambuf* sb = in.rdbuf();
  const auto back = sb->pubseekoff(0, std::ios_base::cur, std::ios_base::in);
  if (offset < 0 || back == std::streampos(-1) || sb->pubseekpos(0, std::ios_base::in) != std::streampos(0))
    return {0, ""};
  long long line = 1;
  std::string text;
  int c = sb->sgetc();
  for (long long at = 0; at < offset && c != kEof; ++at, c = sb->snextc()) {
    if (c == '\n') {
      ++line;
      text.clear();
    } else {
      text.push_back(static_cast<char>(c));
    }
  }
  for (; c != kEof && c != '\n'; c = sb->snextc()) text.push_back(static_cast<char>(c));
  sb->pubseekpos(back, std::ios_base::in);
  if (!text.empty() && text.back() == '\r') text.pop_back();
  return {line, text};
}

}  // namespace

std::string RecordPlaceIn(std::istream& in) {
  const long long at = StreamOffset(in);
  return "at byte " + std::to_string(at) + " (line " + std::to_string(LineOf(in, at).first) + ") of " + FileOf(in);
}

std::string LineAt(std::istream& in, long long offset) {
  const auto [line, text] = LineOf(in, offset);
  return "line " + std::to_string(line) + " of " + FileOf(in) + ": \"" + text + "\"";
}
