// Character-level readers of the node, element and value lists written after a card:
// separators, comments, keywords and numbers, read straight from the stream buffer.
#pragma once

#include <istream>
#include <string>

/// What SkipSeparators stopped at.
enum SkipResult {
  kSkipOther,    ///< another character, left in the stream
  kSkipComment,  ///< a '#', consumed
  kSkipEnd       ///< end of the stream
};

/// Outcome of reading one number.
enum ScanStatus {
  kScanOk,    ///< a number was read
  kScanNone,  ///< no number starts here; only white space was consumed
  kScanBad    ///< a malformed or out-of-range number was consumed
};

/// How a word search or a list reader takes the text.
enum WordKind {
  kCardWords,  ///< as the card reader cuts a card; comments and literals hold no keyword
  kPlainWords  ///< at white space only (files the program writes, which have no comments)
};

/// Skips blanks, colons, equals signs and line ends (tabs are not separators).
SkipResult SkipSeparators(std::istream& in);
/// Drops the rest of the current line, whatever its length; the line end stays in the stream.
void DiscardLine(std::istream& in);
/// Skips what may stand between two records of a list: white space, colons, equals signs and
/// comments, a "#" to the end of its line and, among card words, the card reader's own too ("!" to
/// the end of its line, nested braces over any number of lines). An unclosed brace runs to the end.
void SkipToRecord(std::istream& in, WordKind kind = kCardWords);
/// Drops the rest of a record's line; a brace comment opened there runs on to its close, so that
/// the lines it spans are not taken for records.
void DropRestOfRecord(std::istream& in);
/// Skips white space and reads a decimal integer (optional sign).
ScanStatus ScanInt(std::istream& in, int& value);
/// Skips white space and reads a floating-point number (sign, digits, point, exponent).
ScanStatus ScanReal(std::istream& in, double& value);
/// Reads the next white-space-separated word as written ("" at end of stream).
std::string ReadWord(std::istream& in);
/// Reads the next white-space-separated word, turned to lower case ("" at end of stream).
std::string ReadLowerWord(std::istream& in);
/// Reads lower-cased words until one contains `word`; false when the stream ends first. Card
/// words: the word's end stays in the stream when it opens a comment or a literal.
bool SeekLowerWord(std::istream& in, const char* word, WordKind kind = kCardWords);
/// SeekLowerWord; end of stream first is fatal.
void FindLowerWord(std::istream& in, const char* word, WordKind kind = kCardWords);
/// Reads the next word as the card reader cuts it, lower-cased ("" at end of stream).
std::string ReadCardWord(std::istream& in);
/// Skips up to the first decimal digit, left in the stream; end of stream first is fatal.
void SkipToDigit(std::istream& in);
/// Skips up to the first decimal digit (end of stream first is fatal) and reads the digits.
int ReadIntAfterWord(std::istream& in);
/// Byte offset of the stream's read position, for messages (-1 when unknown).
long long StreamOffset(std::istream& in);

/// Names the file a stream reads in the readers' messages, for as long as it lives.
class StreamName {
 public:
  /// `name` as messages say it (`the saved result file "box.res.bak"`).
  StreamName(std::istream& in, std::string name);
  ~StreamName();
  StreamName(const StreamName&) = delete;
  StreamName& operator=(const StreamName&) = delete;

 private:
  std::istream& in_;
  std::string name_;
};
/// The file `in` reads as messages name it: its StreamName, else `unnamed`.
std::string FileOf(std::istream& in, const char* unnamed = "the input file");
/// "at byte N of" the file `in` reads, the read position for messages.
std::string PlaceIn(std::istream& in);
/// "at byte N (line L) of" the file `in` reads: the read position for messages about a record.
std::string RecordPlaceIn(std::istream& in);
/// `line L of FILE: "TEXT"`, the line of `in` that holds byte `offset`, for messages.
std::string LineAt(std::istream& in, long long offset);
