// The card tokenizer: a card (text up to ';') cut into words, each carrying the
// numbers that follow it, with comments, literals and math mode.
#pragma once

#include <memory>
#include <ostream>
#include <string>

#include "foundation/intvec.h"
#include "foundation/reavec.h"

class CharPlex;
class FileStack;

/// One number of a word, with its used mark.
class Number {
 public:
  explicit Number(double v) : value(v) {}

  /// 1 if this number or a later one of the same word lacks its used mark.
  int NotUsed() const;
  /// Prints this number and the later ones of its word.
  void Print(std::ostream& os) const;

  double value;            ///< the number
  int used = 0;            ///< 1 once a getter consumed it
  Number* next = nullptr;  ///< next number of the same word
};

/// One word of a card with the numbers that follow it.
class Word {
 public:
  /// Takes the NUL-terminated text over (freed with delete[]).
  explicit Word(char* text);
  /// Frees the text, the numbers and every word after this one.
  ~Word();
  Word(const Word&) = delete;
  Word& operator=(const Word&) = delete;

  /// Adds a number (unmarked) after the word's last.
  void Append(double v);
  /// First word from this one on whose text equals name ignoring case (marked), or null.
  Word* Find(const char* name, int length);
  /// The next word, marked, or null.
  Word* Next();
  /// 1 if this word, one of its numbers or a later word or number lacks its used mark.
  int NotUsed() const;
  /// Prints this word with its numbers and the later words.
  void Print(std::ostream& os) const;
  /// The numbers in order, each marked.
  ReaVecT ReaVec();
  /// The numbers truncated toward zero, each marked.
  IntVecT IntVec();

  char* text;              ///< NUL-terminated text, owned
  int length;              ///< characters of text
  int used = 0;            ///< 1 once a getter consumed it
  int nnumbers = 0;        ///< count of numbers
  Number* first = nullptr; ///< first number
  Number* last = nullptr;  ///< last number
  Word* next = nullptr;    ///< next word of the line
};

/// A cut card: its words in order and the state of the cutting.
class Line {
 public:
  /// Empty line.
  Line() = default;
  /// Cuts text (math mode as given); numbers before the first word belong to the word "MyLine".
  Line(const char* text, int math);
  /// Frees all words.
  ~Line() = default;
  Line(const Line&) = delete;
  Line& operator=(const Line&) = delete;

  /// Reads the next card of the top file into raw and cuts it into this (cleared) line. With
  /// `endOk`, nothing but separators and comments left before the end of the data file is no fault:
  /// false then, with no card read.
  bool ReadAndDecode(FileStack* files, CharPlex* raw, bool endOk = false);
  /// Classifies one character against the cutting state; 1 when it ends the card.
  int eol(char c);
  /// After eol: 1 when the character belongs to a word or number outside comments and literals
  /// (not a separator nor the card's end).
  int InPlainToken() const { return !comment_ && !literal_ && !separator_ && !endCard_; }
  /// After eol: 1 when the character opened or lies in a comment or a literal.
  int InCommentOrLiteral() const { return comment_ || literal_; }

  /// Adds a word taking the text over.
  void Append(char* text);
  /// Adds a number to the last word (fatal when the line has no word).
  void Append(double v);

  /// The first word, or null.
  Word* FirstWord() const { return first_.get(); }
  /// First word whose text equals name ignoring case (marked), or null.
  Word* Find(const char* name);
  /// Numbers of name's word (word and numbers marked); empty when absent.
  ReaVecT GetReaVec(const char* name);
  /// Numbers of name's word as integers (word and numbers marked); empty when absent.
  IntVecT GetIntVec(const char* name);
  /// Numbers of w (marked); empty for null.
  ReaVecT GetReaVec(Word* w);
  /// Numbers of w as integers (marked); empty for null.
  IntVecT GetIntVec(Word* w);

  /// Sets math mode.
  void MathModeOn() { mathMode_ = 1; }
  /// Clears math mode.
  void MathModeOff() { mathMode_ = 0; }

  /// 1 if any word or number lacks its used mark.
  int NotUsedAll() const;
  /// Frees every word; keeps math mode.
  void clear();
  /// Count of words.
  int NWords() const { return nwords_; }
  /// Count of numbers of all words.
  int NNumbers() const { return nnumbers_; }

  /// Prints the cut card ("Decoded line", words and numbers with their marks).
  void PrintTo(std::ostream& os) const;

 private:
  /// Cuts the characters given one by one by src (-1 at the end).
  template <class Source>
  void Cut(Source& src, bool literals);
  /// Turns the collected token into a number or a word.
  void EndToken(bool literal, bool mathToken);

  std::unique_ptr<Word> first_;  ///< first word; its destruction frees the chain after it
  Word* last_ = nullptr;   ///< last word, which takes the numbers
  int nwords_ = 0;         ///< count of words
  int nnumbers_ = 0;       ///< count of numbers of all words
  // Cutting state.
  int comment_ = 0;      ///< inside a comment
  int literal_ = 0;      ///< inside a literal
  int separator_ = 0;    ///< the character was a separator
  int prevDigit_ = 0;    ///< the previous character was a digit or '.'
  int bracket_ = 0;      ///< the character was '['
  int mathToken_ = 0;    ///< the character was a math token
  int mathMode_ = 0;     ///< math mode
  int endCard_ = 0;      ///< the character ended the card
  int lineComment_ = 0;  ///< inside a '!' comment
  int braces_ = 0;       ///< nesting depth of '{' comments
  std::string token_;    ///< characters of the token being cut
};

/// Reads s..e as a decimal number when all of it is one and it starts with a digit, or with a
/// sign or '.' followed by one ("inf", "nan", "0x1A" are not numbers); 1 done, 0 not a number,
/// -1 a number beyond the range of a double (v then untouched). With end, the number need only
/// open s..e: *end is set past it.
int ReadDecimal(const char* s, const char* e, double& v, const char** end = nullptr);

/// Prints a cut card (Line::PrintTo).
std::ostream& operator<<(std::ostream& os, const Line& line);
