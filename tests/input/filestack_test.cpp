#include "input/filestack.h"

#include <sys/stat.h>

#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "foundation/error.h"
#include "input/input.h"
#include "input/line.h"
#include "tests/input/reader_support.h"

using olvu_test::ExpectFatal;
using olvu_test::RunInChild;
using olvu_test::RunOnData;
using olvu_test::WriteFile;

TEST(FileStack, NamesTopFirstAndReopensAtStart) {
  auto r = RunInChild(
      [] {
        FileStack s("a.dat");
        s.include("b.dat");
        s.include("c.dat");
        s.PrintName(std::cout);
        s.Pop();
        FileLink again(s.Top());
        std::cout << again.Stream()->rdbuf() << "|" << (again.Below() == nullptr);
      },
      [](const std::string& dir) {
        WriteFile(dir + "/a.dat", "A;");
        WriteFile(dir + "/b.dat", "B;");
        WriteFile(dir + "/c.dat", "C;");
      });
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, " Current input file stack:\n\n\tc.dat\n\tb.dat\n\ta.dat\n\nB;|1");
}

TEST(FileStack, MissingFilesAndTheEndOfTheDataFileAreFatal) {
  auto missing = RunInChild([] {
    MemoryControlOn("case");
    FileStack s("nofile.dat");
  });
  ExpectFatal(missing, "Cannot find input file \"nofile.dat\"\n");
  auto end = RunInChild(
      [] {
        MemoryControlOn("case");
        FileStack s("a.dat");
        s.Pop();
      },
      [](const std::string& dir) { WriteFile(dir + "/a.dat", ""); });
  ExpectFatal(end, "Unexpected end of file a.dat found\n");

  // Between cards the end may be asked for, below an included file and after comments as well;
  // inside a brace comment it is the end of a card that never came.
  auto clean = RunOnData(
      "A; Include b.dat; ! the end",
      [](Input& in) {
        while (in.ReadLineOrEnd()) {
          std::cout << in.FirstWord();
          in.JumpLine();
        }
        std::cout << "|" << in.ReadLineOrEnd();
      },
      [](const std::string& dir) { WriteFile(dir + "/b.dat", "B; {x}\n"); });
  EXPECT_EQ(clean.status, 0) << clean.file("case.err");
  EXPECT_EQ(clean.out, "\nAB|0");
  olvu_test::ExpectFatalOn("A; { never closed\n",
                           [](Input& in) {
                             in.ReadLineOrEnd();
                             in.JumpLine();
                             in.ReadLineOrEnd();
                           },
                           "Unexpected end of file case.dat found\n");
}

TEST(FileStack, IncludeCardsNestAndReturnAfterTheirCard) {
  // Twenty files deep; each holds a card, its include and a card after it.
  auto r = RunOnData(
      "First; Include f1.dat; Last; End;",
      [](Input& in) {
        for (;;) {
          in.ReadLine();
          std::cout << in.FirstWord() << " ";
          if (std::string(in.FirstWord()) == "End") break;
        }
      },
      [](const std::string& dir) {
        for (int i = 1; i <= 20; ++i) {
          std::string next = i < 20 ? "Include f" + std::to_string(i + 1) + ".dat;" : "";
          WriteFile(dir + "/f" + std::to_string(i) + ".dat",
                    "In" + std::to_string(i) + ";\n" + next + "\nOut" + std::to_string(i) + ";\n");
        }
      });
  EXPECT_EQ(r.status, 0) << r.file("case.err");
  std::string want = "\nFirst ";
  for (int i = 1; i <= 20; ++i) want += "In" + std::to_string(i) + " ";
  for (int i = 20; i >= 1; --i) want += "Out" + std::to_string(i) + " ";
  EXPECT_EQ(r.out, want + "Last End ");
}

TEST(FileStack, IncludeCardsAndTheirFaults) {
  auto r = RunOnData(
      "include more.dat; Include a b; Include 3; End;",
      [](Input& in) {
        in.ReadLine();
        std::cout << in.FirstWord() << in.GetInt("Card") << " ";
        in.ReadLine();
        std::cout << in.FirstWord() << in.NWords() << " ";
        in.JumpLine();
        in.ReadLine();
        std::cout << in.FirstWord() << in.NNumbers() << " ";
        in.JumpLine();
        in.ReadCard("End");
      },
      [](const std::string& dir) { WriteFile(dir + "/more.dat", "Card 7;"); });
  EXPECT_EQ(r.status, 0) << r.file("case.err");
  EXPECT_EQ(r.out, "\nCard7 Include3 Include1 ");

  olvu_test::ExpectFatalOn("more.dat Include;", [](Input& in) { in.ReadLine(); },
                           "\"Include\" must be followed by a word\n");
  olvu_test::ExpectFatalOn("Include none.dat;", [](Input& in) { in.ReadLine(); },
                           "Cannot find input file \"none.dat\"\n");
  // A directory opens but reads as empty: its include would be passed over in silence.
  ExpectFatal(RunOnData("Include sub; End;", [](Input& in) { in.ReadLine(); },
                        [](const std::string& dir) { mkdir((dir + "/sub").c_str(), 0775); }),
              "Cannot open input file \"sub\"\n");
  // The data file ends inside an include's card: the pop goes on into the data file.
  auto cross = RunOnData(
      "Include part.dat; 2;", [](Input& in) { in.ReadLine(); std::cout << in.GetInt("Split"); },
      [](const std::string& dir) { WriteFile(dir + "/part.dat", "Split"); });
  EXPECT_EQ(cross.out, "\n2");
}

TEST(FileStack, IncludeCyclesAndDepthAreFatal) {
  auto ReadAll = [](Input& in) {
    do in.ReadLine();
    while (std::string(in.FirstWord()) != "End");
  };
  olvu_test::ExpectFatalOn("A; Include case.dat; End;", ReadAll,
                           "Input file \"case.dat\" includes itself\n");
  // Through another file, and under another name of the same file.
  ExpectFatal(RunOnData("Include b.dat; End;", ReadAll,
                        [](const std::string& dir) { WriteFile(dir + "/b.dat", "B; Include ./case.dat;"); }),
              "Input file \"./case.dat\" includes itself\n");
  // A chain of distinct files stops at the stated depth.
  ExpectFatal(RunOnData("Include f1.dat; End;", ReadAll,
                        [](const std::string& dir) {
                          for (int i = 1; i <= 101; ++i)
                            WriteFile(dir + "/f" + std::to_string(i) + ".dat",
                                      "Include f" + std::to_string(i + 1) + ".dat;");
                        }),
              "Input file \"f101.dat\" included more than 100 levels deep\n");
}
