#include "foundation/clock.h"


#include <cstring>
#include <ctime>
#include <iomanip>
#include <string>
#include <utility>

#include "foundation/assert.h"
#include "foundation/error.h"
#include "foundation/threads.h"

TimeTable* TimeTable::current = nullptr;
int TimeTable::level = 1;
std::unique_ptr<std::ofstream> TimeTable::report;

namespace {

// The root's name: one address, so every root is the same row kind.
const char kTotalTime[] = "Total Time";
const char kOtherOperations[] = "Other operations";

// Processor time of the process in clock ticks, 64 bits wide.
std::int64_t ProcessTicks() { return static_cast<std::int64_t>(std::clock()); }

TickSource tickSource = ProcessTicks;

std::int64_t Ticks() { return tickSource(); }

double Seconds(const TimeTable* t) { return static_cast<double>(t->clockTicks) / CLOCKS_PER_SEC; }

// Writes t, its children and its later siblings, freeing each node once written.
void WriteTree(TimeTable* t, std::ostream* out) {
  while (t) {
    double seconds = Seconds(t);
    double percent = 100;
    if (t->parent) {
      t->parent->childSeconds += seconds;
      double ps = Seconds(t->parent);
      percent = ps != 0 ? seconds * 100 / ps : 100;
    }
    Print(out, TimeTable::level, t->name, seconds, percent, t->uses);
    ++TimeTable::level;
    WriteTree(t->first, out);
    t->first = t->last = nullptr;
    if (seconds > 1 && t->childSeconds != 0) {
      double rest = seconds - t->childSeconds;
      double share = rest * 100 / seconds;
      if (rest > 0.1 && share > 0.1) Print(out, TimeTable::level, kOtherOperations, rest, share, 0);
    }
    --TimeTable::level;
    TimeTable* n = t->next;
    delete t;
    t = n;
  }
}

// Frees a subtree without writing it.
void FreeTree(TimeTable* t) {
  while (t) {
    FreeTree(t->first);
    TimeTable* n = t->next;
    delete t;
    t = n;
  }
}

}  // namespace

void Print(std::ostream* out, int level, const char* name, double seconds, double percent, int uses) {
  std::ostream& o = *out;
  o << std::fixed << std::setprecision(1) << "   ";
  for (int k = 1; k < level; ++k) o << " . ";
  int len = static_cast<int>(std::strlen(name));
  o << name << " " << std::setfill('.') << std::setw(35 - len > 0 ? 35 - len : 0) << std::right << " "
    << std::setfill(' ') << std::setw(7) << seconds << "[s] (" << std::setw(4) << percent << "[%])";
  if (uses != 0) o << " " << uses;
  o << std::endl;
}

void TimeTable::printName(std::ostream& out) const {
  for (const TimeTable* t = this; t; t = t->parent) out << "\t" << t->name << std::endl;
}

void TimeTable::printCurrentStackNames(std::ostream& out) {
  if (!current) return;
  out << " Current time table stack:\n\n";
  current->printName(out);
  out << std::endl;
  if (report) {
    *report << "\n\n *** Time Table not produced due to error ***\n\n";
    report.reset();
  }
}

void TimeTable::abandon() {
  TimeTable* root = current;
  while (root && root->parent) root = root->parent;
  FreeTree(root);
  current = nullptr;
  level = 1;
  report.reset();
}

void Clock::openTimeFile(const char* name) {
  std::string path = std::string(name) + ".tim";
  auto f = std::make_unique<std::ofstream>();
  OpenOutputFile(*f, path.c_str());
  TimeTable::report = std::move(f);
}

Clock::Clock(const char* name) : parent(TimeTable::current) {
  OLVU_ASSERT_SERIAL("Clock " << name);
  TimeTable* cur = TimeTable::current;
  if (!cur) {
    openTimeFile(name);
    name = kTotalTime;
  }
  TimeTable* t = cur ? cur->first : nullptr;
  while (t && t->name != name) t = t->next;
  if (!t) {
    t = new TimeTable(name, cur);
    if (cur) {
      if (cur->last)
        cur->last->next = t;
      else
        cur->first = t;
      cur->last = t;
    }
  }
  TimeTable::current = t;
  ++t->uses;
  start = Ticks();
}

Clock::~Clock() {
  OLVU_ASSERT_SERIAL("Clock");
  TimeTable* t = TimeTable::current;
  t->clockTicks += Ticks() - start;
  if (parent) {
    TimeTable::current = parent;
    return;
  }
  std::ofstream* out = TimeTable::report.get();
  if (out) {
    *out << "\n Time Table: " << std::string(15, '.') << " " << " cputime[s] (percent[%]) Uses\n";
    // Processor time adds up over the threads (their waits included): with several it exceeds
    // the time that passed.
    *out << " Threads: " << Threads() << (Threads() > 1 ? " (cputime summed over the threads)" : "") << "\n\n";
    TimeTable::level = 1;
    WriteTree(t, out);
    *out << "\n\n";
    TimeTable::report.reset();
  } else {
    FreeTree(t);
  }
  TimeTable::current = nullptr;
}

void SetTickSource(TickSource source) { tickSource = source ? source : ProcessTicks; }
