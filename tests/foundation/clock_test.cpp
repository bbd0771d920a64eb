#include "foundation/clock.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cctype>
#include <cstdio>
#include <cstdint>
#include <ctime>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/threads.h"
#include "tests/support/child.h"

using olvu_test::RunInChild;

namespace {

// Sections are told apart by the address of their name, so the names are arrays.
const char kOuter[] = "Outer";
const char kInner[] = "Inner";
const char kSameA[] = "Same";
const char kSameB[] = "Same";
const char kBusy[] = "Busy";

// The table head; the thread-count line shows the count of this process.
std::string Header() {
  return "\n Time Table: ............... " " cputime[s] (percent[%]) Uses\n Threads: " + std::to_string(Threads()) +
         (Threads() > 1 ? " (cputime summed over the threads)" : "") + "\n\n";
}

// A processor clock the test moves by hand, so the table's figures are exact.
std::int64_t fakeTicks = 0;
std::int64_t FakeTicks() { return fakeTicks; }
void Spend(double seconds) { fakeTicks += std::int64_t(seconds * CLOCKS_PER_SEC); }

std::vector<std::string> Lines(const std::string& s) {
  std::vector<std::string> v;
  std::istringstream in(s);
  for (std::string l; std::getline(in, l);) v.push_back(l);
  return v;
}

// True for blanks, then digits, a point and one digit.
bool IsFixedOne(const std::string& f) {
  size_t k = f.find_first_not_of(' ');
  if (k == std::string::npos || f.size() < k + 3) return false;
  size_t point = f.size() - 2;
  if (f[point] != '.' || !std::isdigit(static_cast<unsigned char>(f.back())) || point == k) return false;
  for (size_t i = k; i < point; ++i)
    if (!std::isdigit(static_cast<unsigned char>(f[i]))) return false;
  return true;
}

// Checks a row's fixed part (indentation, name, dots), its field widths and its
// use count, and gives its seconds.
double CheckRow(const std::string& row, int level, const std::string& name, int uses) {
  std::string label = "   ";
  for (int k = 1; k < level; ++k) label += " . ";
  int dots = 34 - static_cast<int>(name.size());
  label += name + " " + std::string(dots > 0 ? dots : 0, '.') + " ";
  EXPECT_EQ(row.substr(0, label.size()), label) << row;
  std::string rest = row.substr(label.size());
  std::string tail = uses ? " " + std::to_string(uses) : "";
  size_t close = rest.find("[%])");
  if (rest.size() < 16 || close == std::string::npos || close < 16) {
    ADD_FAILURE() << row;
    return -1;
  }
  EXPECT_TRUE(IsFixedOne(rest.substr(0, 7))) << row;  // seconds right-aligned in 7
  EXPECT_EQ(rest.substr(7, 5), "[s] (") << row;
  EXPECT_TRUE(IsFixedOne(rest.substr(12, close - 12))) << row;  // percent in at least 4
  EXPECT_EQ(rest.substr(close + 4), tail) << row;
  return std::stod(rest.substr(0, 7));
}

TEST(Clock, RowLayout) {
  std::ostringstream s;
  Print(&s, 3, "Assembling System Matrixes", 12.34, 56.78, 7);
  Print(&s, 1, "Total Time", 0, 100, 1);
  Print(&s, 2, "Other operations", 0.26, 3.0, 0);
  Print(&s, 1, std::string(33, 'a').c_str(), 1, 1, 1);
  Print(&s, 1, std::string(34, 'b').c_str(), 1, 1, 1);
  Print(&s, 1, std::string(40, 'c').c_str(), 1234.5, 0.05, 2);
  EXPECT_EQ(s.str(),
            "    .  . Assembling System Matrixes ........    12.3[s] (56.8[%]) 7\n"
            "   Total Time ........................     0.0[s] (100.0[%]) 1\n"
            "    . Other operations ..................     0.3[s] ( 3.0[%])\n"
            "   " + std::string(33, 'a') + " .     1.0[s] ( 1.0[%]) 1\n"
            "   " + std::string(34, 'b') + "      1.0[s] ( 1.0[%]) 1\n"
            "   " + std::string(40, 'c') + "   1234.5[s] ( 0.1[%]) 2\n");
}

TEST(Clock, NestedAndRepeatedSectionsMakeTheTable) {
  auto r = RunInChild([&] {
    SetTickSource(FakeTicks);
    {
      Clock root("case");
      for (int round = 0; round < 2; ++round) {
        Clock outer(kOuter);
        for (int k = 0; k < 20; ++k) {
          Clock inner(kInner);
          Spend(0.01);
        }
        Clock a(kSameA);
      }
      {
        Clock outer(kOuter);
        { Clock b(kSameB); }
        for (int k = 0; k < 20; ++k) Clock inner(kInner);
      }
      {
        Clock busy(kBusy);
        Spend(0.8);
      }
      Spend(0.3);
    }
  });
  ASSERT_EQ(r.status, 0);
  std::string tim = r.file("case.tim");
  ASSERT_EQ(tim.substr(0, Header().size()), Header());
  ASSERT_EQ(tim.substr(tim.size() - 3), "\n\n\n");  // last row's end, then "\n\n"
  std::vector<std::string> rows = Lines(tim.substr(Header().size(), tim.size() - Header().size() - 3));
  ASSERT_EQ(rows.size(), 7u) << tim;
  EXPECT_DOUBLE_EQ(CheckRow(rows[0], 1, "Total Time", 1), 1.5);
  EXPECT_DOUBLE_EQ(CheckRow(rows[1], 2, "Outer", 3), 0.4);
  EXPECT_DOUBLE_EQ(CheckRow(rows[2], 3, "Inner", 60), 0.4);
  EXPECT_DOUBLE_EQ(CheckRow(rows[3], 3, "Same", 2), 0.0);
  EXPECT_DOUBLE_EQ(CheckRow(rows[4], 3, "Same", 1), 0.0);
  EXPECT_DOUBLE_EQ(CheckRow(rows[5], 2, "Busy", 1), 0.8);
  EXPECT_DOUBLE_EQ(CheckRow(rows[6], 2, "Other operations", 0), 0.3);
  // Percentages are of the total: 0.8 of 1.5 seconds.
  EXPECT_NE(rows[5].find("(53.3[%])"), std::string::npos) << rows[5];
}

TEST(Clock, ShortRootHasNoOtherOperationsAndALaterRootWritesAnotherFile) {
  auto r = RunInChild([] {
    { Clock root("first"); }
    {
      Clock root("second");
      Clock s(kOuter);
    }
  });
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(r.file("first.tim"), Header() + "   Total Time ........................     0.0[s] (100.0[%]) 1\n\n\n");
  std::string second = r.file("second.tim");
  ASSERT_EQ(Lines(second).size(), 8u) << second;  // blank, header, threads, blank, two rows, two blanks
  CheckRow(Lines(second)[5], 2, "Outer", 1);
}

TEST(Clock, FileIsReadWriteForOwnerAndGroup) {
  auto r = RunInChild([] {
    umask(0);
    Clock root("case");
  });
  struct stat st {};
  ASSERT_EQ(stat((r.dir + "/case.tim").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0664u);
}

TEST(Clock, StackListingAbandonsTheTable) {
  auto r = RunInChild([] {
    Clock root("case");
    Clock s(kOuter);
    TimeTable::printCurrentStackNames(std::cout);
  });
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(r.out, " Current time table stack:\n\n\tOuter\n\tTotal Time\n\n");
  EXPECT_EQ(r.file("case.tim"), "\n\n *** Time Table not produced due to error ***\n\n");
}

TEST(ClockFatal, UnopenableFileNamesIt) {
  auto r = RunInChild([] { Clock root("no/such/dir/case"); });
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "\n\nCannot open output file \"no/such/dir/case.tim\"\n");
}

}  // namespace
