// A table that owns its entries: what it adopts it deletes, once, and only that.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "foundation/plex.h"

namespace {

// Counts its own destructions into *deaths.
struct Counted {
  explicit Counted(int* deaths) : deaths(deaths) {}
  ~Counted() { ++*deaths; }
  int* deaths;
};

TEST(OwningPlex, DeletesEveryAdoptedEntryOnceWithTheTable) {
  struct Case {
    const char* what;
    std::vector<int> at;  // indices adopted at, in order; 0 appends
  };
  const Case cases[] = {
      {"appended", {0, 0, 0}},
      {"within one chunk", {2, 1, 3}},
      {"across chunks with gaps", {7, 1, 250, 40}},
      {"at indices, then appended after the highest", {5, 9, 0, 0}},
  };
  for (const Case& c : cases) {
    int deaths = 0;
    {
      OwningPlex<Counted> table(4, "Counted");
      for (int i : c.at) {
        auto p = std::make_unique<Counted>(&deaths);
        const Counted* raw = p.get();
        if (i == 0) {
          const int k = table.Adopt(std::move(p));
          EXPECT_EQ(k, table.high) << c.what;
          EXPECT_EQ(table.get_at(k), raw) << c.what;
        } else {
          EXPECT_EQ(table.Adopt(i, std::move(p)), raw) << c.what;
          EXPECT_EQ(table.get_at(i), raw) << c.what;
        }
      }
      EXPECT_EQ(deaths, 0) << c.what << ": the table holds its entries";
      EXPECT_EQ(table.count, int(c.at.size())) << c.what;
    }
    EXPECT_EQ(deaths, int(c.at.size())) << c.what;
  }
}

TEST(OwningPlex, DeleteAllEmptiesTheTableWhichAdoptsAgain) {
  int deaths = 0;
  {
    OwningPlex<Counted> table(2, "Counted");
    for (int i : {3, 1, 8}) table.Adopt(i, std::make_unique<Counted>(&deaths));
    table.DeleteAll();
    EXPECT_EQ(deaths, 3);
    int i = 0;
    EXPECT_EQ(table.next(i), nullptr);
    EXPECT_EQ(table.low, 0);
    EXPECT_EQ(table.high, 0);
    // An index used before is free again; the table's end deletes only the new entry.
    table.Adopt(3, std::make_unique<Counted>(&deaths));
    EXPECT_EQ(table.high, 3);
  }
  EXPECT_EQ(deaths, 4);
}

TEST(OwningPlex, ATableOfArraysHoldsAndFreesThem) {
  OwningPlex<char, char[]> names(3, "Names");
  for (const char* w : {"Lift", "Drag", "Vorticity_at_the_wall"}) {
    auto copy = std::make_unique<char[]>(std::strlen(w) + 1);
    std::strcpy(copy.get(), w);
    names.Adopt(std::move(copy));
  }
  EXPECT_STREQ(names.get_at(1), "Lift");
  EXPECT_STREQ(names.get_at(3), "Vorticity_at_the_wall");
  EXPECT_EQ(names.count, 3);
}

}  // namespace
