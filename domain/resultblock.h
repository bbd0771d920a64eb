// Writer of the result blocks of the .res file, shared by every writer of results (the problem-wide
// writer, the fluid and solid domains, bodies and free surfaces): one layout, one number format.
#pragma once

#include <ostream>
#include <string>

#include "input/types.h"

/// The factor from internal to output units of magnitude m (ExternalUnits against InternalUnits).
double OutputFactor(Magnitude m);

/// Kind of a result block: its word on the "Result" line and the count of values per node line.
enum class ResultKind { Scalar, Vector, Matrix };

/// The first non-finite value handed to a result block: where it stood and what it was.
struct NonFiniteResult {
  std::string block;  ///< the block's name
  double time = 0;    ///< the block's time
  int node = 0;       ///< the node of its line
  double value = 0;   ///< the value (an infinity or a NaN)
};

/// One result block: the "Result" line, the optional "ComponentNames" line, "Values", one line per
/// node and "End Values", written when the block goes away. Numbers are written as a stream writes
/// them by default (six significant digits, general notation), through a buffer of the block's own,
/// so a block of a million nodes costs no formatted-stream call per value. Every value is also
/// tested for being finite: the first one that is not is kept for the writer of the file to ask.
class ResultBlock {
 public:
  /// Starts the block `name` ("VELOCITY") with the analysis label `label` ("QUELMA") at `time`;
  /// `components`, when not null, is written verbatim after "ComponentNames " (e.g. "\"Vx\",\"Vy\"").
  ResultBlock(std::ostream& out, const char* name, const char* label, double time, ResultKind kind,
              const char* components = nullptr);
  /// Writes "End Values" and hands the rest of the buffer to the stream.
  ~ResultBlock();
  ResultBlock(const ResultBlock&) = delete;
  ResultBlock& operator=(const ResultBlock&) = delete;

  /// Node line with one value.
  void Write(int node, double v) { Write(node, &v, 1); }
  /// Node line with three values.
  void Write(int node, double a, double b, double c) {
    const double v[3] = {a, b, c};
    Write(node, v, 3);
  }
  /// Node line with the n values of v (n at most 6).
  void Write(int node, const double* v, int n);

  /// True when a block wrote a non-finite value since the last call; `first` then holds the first
  /// one. Forgets it.
  static bool TakeNonFinite(NonFiniteResult& first);

 private:
  static constexpr int kSize = 1 << 16;  ///< buffer bytes
  static constexpr int kLine = 256;      ///< room kept for one node line
  /// Appends a text.
  void Text(const char* s);
  /// Appends a number in the stream's default format.
  void Number(double v);
  /// Hands the buffer to the stream when less than one line of room is left.
  void Room() {
    if (used_ > kSize - kLine) Flush();
  }
  /// Hands the buffer to the stream.
  void Flush();
  /// Keeps value v of `node` unless an earlier non-finite value is kept already.
  void NoteNonFinite(int node, double v) const;

  std::ostream& out_;  ///< the result file
  const char* name_;   ///< the block's name (the caller's text, alive as long as the block)
  double time_;        ///< the block's time
  int used_ = 0;       ///< bytes in the buffer
  char buf_[kSize];    ///< pending text
};

/// Number in the stream's default format (printf "%g"): into s, returns the end of the text.
char* FormatGeneral(char* s, char* end, double v);
