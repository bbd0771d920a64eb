// Nested timing table: scoped sections accumulate processor time into a tree
// that is written to NAME.tim when the root section closes.
#pragma once

#include <cstdint>
#include <fstream>
#include <memory>
#include <ostream>

/// Source of the processor clock in ticks, CLOCKS_PER_SEC to the second.
using TickSource = std::int64_t (*)();
/// Makes `source` the clock of every section (null: the process's processor clock).
void SetTickSource(TickSource source);

/// One section of the timing tree; identified by the address of its name.
class TimeTable {
 public:
  TimeTable* parent = nullptr;  ///< enclosing section; null for the root
  TimeTable* next = nullptr;    ///< next sibling, in order of first opening
  TimeTable* first = nullptr;   ///< first child
  TimeTable* last = nullptr;    ///< last child
  const char* name;             ///< the opener's name, not copied; also the section's identity
  std::int64_t clockTicks = 0;  ///< processor-clock ticks over all openings
  double childSeconds = 0;      ///< children's seconds, summed while the table is written
  int uses = 0;                 ///< number of openings

  static TimeTable* current;     ///< the open section (null when none)
  static int level;              ///< print depth
  static std::unique_ptr<std::ofstream> report;  ///< the .tim stream while a root is open

  /// A section with the given name and parent, all else zero.
  TimeTable(const char* name, TimeTable* parent) : parent(parent), name(name) {}
  /// Writes "\t", the name and an end of line for this section and each ancestor.
  void printName(std::ostream& out) const;
  /// Lists the open sections on out and abandons the .tim table.
  static void printCurrentStackNames(std::ostream& out);
  /// Drops the whole table unwritten and closes the .tim stream: the start state (no section open).
  static void abandon();
};

/// Scoped timing section: construction opens it, destruction closes it.
class Clock {
 public:
  /// Opens the section name under the current one; the first of a run opens NAME.tim and is "Total Time".
  explicit Clock(const char* name);
  /// Adds the elapsed processor time; the root's closing writes the table.
  ~Clock();
  Clock(const Clock&) = delete;
  Clock& operator=(const Clock&) = delete;

  /// Opens NAME.tim (truncated, rw-rw-r-- through the umask) as the report stream.
  static void openTimeFile(const char* name);

 private:
  TimeTable* parent;   ///< section current at construction; null for the root
  std::int64_t start;  ///< processor clock at construction
};

/// Writes one row of the table: indentation by level, name, dots, seconds, percent and uses.
void Print(std::ostream* out, int level, const char* name, double seconds, double percent, int uses);
