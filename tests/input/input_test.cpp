#include "input/input.h"


#include <cmath>
#include <random>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "input/line.h"
#include "input/units.h"
#include "tests/input/reader_support.h"

using olvu_test::ExpectFatalOn;
using olvu_test::RunOnData;

namespace {

/// Runs body on data in a child; its standard output after the start-up line end.
std::string Output(const std::string& data, const std::function<void(Input&)>& body) {
  auto r = RunOnData(data, body);
  EXPECT_EQ(r.status, 0) << r.file("case.err");
  return r.out.empty() ? r.out : r.out.substr(1);
}

}  // namespace

TEST(InputReader, CardsByKeywordHeldAndChecked) {
  EXPECT_EQ(Output("density 1000 [Kg/m3]; Other 1; End;",
                   [](Input& in) {
                     in.ReadCard("Density");
                     std::cout << in.GetRea("Density", Density) << " " << in.GetLine()->NotUsedAll();
                     std::cout << " " << in.ReadCardIfExists("End");
                     in.ReadCard("other");  // the held card, its first word already marked
                     std::cout << " " << in.GetInt("Other") << " " << in.NWords();
                     in.ReadLine();
                     std::cout << " " << in.FirstWord();
                   }),
            "1000 0 0 1 1 End");
  EXPECT_EQ(Output("A 1; B 2;",
                   [](Input& in) {
                     in.ReadLine();
                     in.HoldLine();
                     in.ReadLine();  // the same card, with its marks
                     std::cout << in.GetLine()->FirstWord()->used << in.NNumbersIn("A");
                     in.JumpLine();  // unread terms are dropped without the check
                     in.ReadLine();
                     std::cout << in.FirstWord() << in.Exist("b") << in.Exist("C");
                     in.JumpLine();
                   }),
            "01B10");
  ExpectFatalOn("Densty 1;", [](Input& in) { in.ReadCard("Density"); },
                "Wrong \"Density\" card\n");
  ExpectFatalOn("Steps 3 Iters 4;\nNext;",
                [](Input& in) {
                  in.ReadLine();
                  in.GetInt("Steps");
                  in.ReadLine();
                },
                "Bug found!\n Terms that don't have sense found in input file.\n\tSteps 3 Iters 4;\n");
  ExpectFatalOn("Steps 3 extra;", [](Input& in) {
    in.ReadLine();
    in.GetInt("Steps");
    in.VerifyUse();
  }, "Bug found!\n Terms that don't have sense found in input file.\n\tSteps 3 extra;\n");
}

TEST(InputReader, MathCardsAndPrintLine) {
  EXPECT_EQ(Output("F 1.5e-3; G 1.5e-3;",
                   [](Input& in) {
                     in.ReadMathLine();
                     std::cout << in.NWords() << " ";
                     in.JumpLine();
                     in.ReadLine();
                     std::cout << in.NWords() << "\n";
                     in.GetInt("G");
                     in.PrintLine(std::cout);
                     in.JumpLine();
                   }),
            "3 1\n Current input file stack:\n\n\tcase.dat\n\n Last line read:\n\n\t"
            "G 1.5e-3;\n\n Decoded line:  (1 words, 1 numbers.)\n\n\tWORDS\t\tNUMBERS \n\n"
            "\tG \t\t0.0015\n\n");
}

TEST(InputReader, IntegerGetters) {
  EXPECT_EQ(Output("Steps 10.7 Neg -3.9 Iter Vec 1 2 3 Dflt;",
                   [](Input& in) {
                     in.ReadLine();
                     std::cout << in.GetInt("Steps") << " " << in.GetInt("neg") << " "
                               << in.GetInt("Dflt", 7) << " " << in.GetInt("Absent", 8) << " "
                               << in.GetIntIfExist("Iter", 1) << " " << in.GetIntIfExist("None", 2)
                               << " ";
                     IntVec v(in.GetIntVec("Vec"));
                     std::cout << v;
                   }),
            "10 -3 7 8 1 2     1    2    3");
  const std::string n = "\"Steps\"";
  ExpectFatalOn("Steps 1 2;", [](Input& in) { in.ReadLine(); in.GetInt("Steps"); },
                "The word " + n + " must be followed by 1 number, not by 2\n");
  ExpectFatalOn("Steps;", [](Input& in) { in.ReadLine(); in.GetInt("Steps"); },
                "Don't exist any number after a word " + n + "\n");
  ExpectFatalOn("X;", [](Input& in) { in.ReadLine(); in.GetInt("Steps"); },
                "Don't exist any number after a word " + n + "\n");
  ExpectFatalOn("Steps 1 2;", [](Input& in) { in.ReadLine(); in.GetInt("Steps", 3); },
                "The word " + n + " must be followed by 1 number, not by 2\n");
  ExpectFatalOn("Iter 0;", [](Input& in) { in.ReadLine(); in.GetIntIfExist("Iter", 1); },
                "Wrong minimum Iter given\n");
  ExpectFatalOn("Steps;", [](Input& in) { in.ReadLine(); in.GetIntVec("Steps"); },
                "Don't exist any number after a word " + n + "\n");
}

TEST(InputReader, RealGettersConvertUnits) {
  EXPECT_EQ(Output("Gravity 0 L 10[Km] Ratio 2 Steps 4 V 36 [Km/hour] Z 0 [m];",
                   [](Input& in) {
                     in.ReadLine();
                     std::cout << in.GetRea("Gravity", Acceleration) << " "
                               << in.GetRea("L", Length) << " " << in.GetRea("Ratio", Undimensional)
                               << " " << in.GetInt("Steps") << " " << in.GetRea("V", Velocity)
                               << " " << in.GetRea("Z", Length) << " "
                               << in.GetRea("L", Magnitude(-1));
                   }),
            "0 10000 2 4 10 0 10");
  EXPECT_EQ(Output("T 2 [hour] A 5 B 1 2 [cm] C;",
                   [](Input& in) {
                     in.ReadLine();
                     Units minutes("[m]", "[min]", "[Kg]");
                     std::cout << in.GetRea("T", Time, &minutes) << " "
                               << in.GetRea("Absent", 3, "[Km]", Length) << " "
                               << in.GetRea("C", 0, "", Length) << " "
                               << in.GetReal("Absent", Length) << " "
                               << in.GetRealIfExist("Absent", Length, 0.5) << " "
                               << in.GetRea("A", 1, "", Magnitude(-1)) << " ";
                     ReaVec v(in.GetReaVec("B", Length));
                     ReaVec w(in.GetReaVec("B", 10.0));
                     std::cout << v(1) << "," << v(2) << " " << w(1) << "," << w(2);
                   }),
            "120 3000 0 0 0.5 5 0.01,0.02 10,20");
  // A bulk of data read into reader units given later.
  EXPECT_EQ(Output("L 1 [m];",
                   [](Input& in) {
                     in.NewUnits(new Units("[Km]", "[s]", "[Kg]"));
                     in.ReadLine();
                     std::cout << in.GetRea("L", Length) << " " << in.GetFacToIU("[m]", Length);
                   }),
            "0.001 0.001");
  auto rea = [](const char* name, Magnitude m) {
    return [=](Input& in) {
      in.ReadLine();
      in.GetRea(name, m);
    };
  };
  ExpectFatalOn("Gravity 9.8;", rea("Gravity", Acceleration),
                "You must specify units for Gravity\n");
  ExpectFatalOn("Gravity 9.8 Steps 4;", rea("Gravity", Acceleration),
                "You must specify units for Gravity\n");
  ExpectFatalOn("Gravity 9.8 [m/s];", rea("Gravity", Acceleration),
                "\"[m/s]\" has not \"Acceleration\" Dimensions.\nWrong units definition.\n");
  ExpectFatalOn("Gravity 1 2;", rea("Gravity", Acceleration),
                "Gravity must be followed by 1 number, not by 2\n");
  ExpectFatalOn("Gravity;", rea("Gravity", Acceleration),
                "Don't exist any number after a word \"Gravity\"\n");
  ExpectFatalOn("Tol 1e-9 [];", [](Input& in) {
    in.ReadLine();
    in.GetRealIfExist("Tol", Undimensional, 1e-6);
  }, "Wrong minimum Tol given\n");
  ExpectFatalOn("Tol;", [](Input& in) {
    in.ReadLine();
    in.GetRealIfExist("Tol", Undimensional, 1e-6);
  }, "Don't exist any number after a word \"Tol\"\n");
  ExpectFatalOn("V 0 1;", [](Input& in) {
    in.ReadLine();
    in.GetReaVec("V", Velocity);
  }, "You must specify units for V\n");
  ExpectFatalOn("V;", [](Input& in) {
    in.ReadLine();
    in.GetReaVec("V", Velocity);
  }, "Don't exist any number after a word \"V\"\n");
}

TEST(InputReader, WordGetters) {
  EXPECT_EQ(Output("Scheme Crank_Nicolson Last; Refine 1 Mode; W;",
                   [](Input& in) {
                     in.ReadLine();
                     std::cout << in.GetWord("scheme", nullptr) << " " << in.GetWord("Last", "d")
                               << " " << in.GetWordIfExist("Last") << "|";
                     in.ReadLine();
                     std::cout << in.GetWhatEver("Refine", nullptr) << " "
                               << in.GetWhatEver("Mode", "none") << " ";
                     in.ReadLine();
                     std::cout << in.GetWhatEver("W", "dflt") << " " << in.GetWord("Q", "q");
                     in.JumpLine();
                   }),
            "Crank_Nicolson d |1 none dflt q");
  ExpectFatalOn("Scheme;", [](Input& in) { in.ReadLine(); in.GetWord("Scheme", nullptr); },
                "\"Scheme\" must be followed by a word\n");
  ExpectFatalOn("Scheme;", [](Input& in) { in.ReadLine(); in.GetWhatEver("Scheme", nullptr); },
                "\"Scheme\" must be followed by a word or a number\n");
}

TEST(InputReader, BulkValuesAfterACard) {
  EXPECT_EQ(Output("Vec len 4;\n = 1.5 -2e3\n+3\t.25\nAfter 1;\nSkip len 2; 7 8\nShort len 3;",
                   [](Input& in) {
                     in.ReadLine();
                     ReaVec v;
                     std::cout << in.GetAsciiReaVec(v, 1) << " " << v.length() << ":" << v(1)
                               << "," << v(2) << "," << v(3) << "," << v(4) << " ";
                     in.JumpLine();
                     in.ReadLine();
                     std::cout << in.FirstWord() << in.GetInt("After") << " ";
                     in.ReadLine();
                     ReaVec empty;
                     std::cout << in.GetAsciiReaVec(empty, -1) << empty.length() << " ";
                     in.JumpLine();
                     in.ReadLine();
                     ReaVec other(2u, 0.0);
                     std::cout << in.GetAsciiReaVec(other, -1) << " " << in.GetLine()->NotUsedAll();
                     in.JumpLine();
                   }),
            "0 4:1.5,-2000,3,0.25 After1 00 -1 1");
  // The values need not fit one read block of the file, nor end on its boundary.
  std::string big = "Vec len 100000;\n";
  for (int i = 0; i < 100000; ++i) big += std::to_string(i) + ".125" + (i % 7 ? " " : "\n");
  big += "End;";
  EXPECT_EQ(Output(big,
                   [](Input& in) {
                     in.ReadLine();
                     ReaVec v(100000u, 0.0);
                     in.GetAsciiReaVec(v, 0);
                     bool ok = true;
                     for (int i = 0; i < 100000; ++i) ok = ok && v[i] == i + 0.125;
                     in.JumpLine();
                     in.ReadCard("End");
                     std::cout << ok;
                   }),
            "1");
  // Values glued by their sign, as fixed-width writers leave them, read as the stream reads
  // them, also where the read blocks of the file cut them (after an 'e', a sign or a digit).
  std::string glued = "Vec len 60000;\n";
  for (int i = 0; i < 60000; ++i) glued += "-" + std::to_string(i) + ".5e+00" + (i % 9 ? "" : "\n");
  glued += "\nW len 4; 1.5-2.5 3..5\nEnd;";
  EXPECT_EQ(Output(glued,
                   [](Input& in) {
                     in.ReadLine();
                     ReaVec v;
                     in.GetAsciiReaVec(v, 1);
                     bool ok = v.length() == 60000;
                     for (int i = 0; ok && i < 60000; ++i) ok = v[i] == -(i + 0.5);
                     in.JumpLine();
                     in.ReadLine();
                     in.GetAsciiReaVec(v, 1);
                     std::cout << ok << " " << v(1) << "," << v(2) << "," << v(3) << "," << v(4);
                     in.JumpLine();
                     in.ReadCard("End");
                   }),
            "1 1.5,-2.5,3,0.5");
  auto bulk = [](int mode, unsigned len) {
    return [=](Input& in) {
      in.ReadLine();
      ReaVec v;
      if (len) v.resize(len, 0.0);
      in.GetAsciiReaVec(v, mode);
    };
  };
  const std::string wrong = "Wrong data found in GetAsciiReaVec.\n\tVector length = ";
  ExpectFatalOn("V len 3; 1 2 3", bulk(0, 2), wrong + "2 and found 3 in file.\n\tValues of the card: V len 3;\n");
  ExpectFatalOn("V len 3; 1 2", bulk(1, 0), wrong + "3 and found 2 in file.\n\tValues of the card: V len 3;\n");
  // A word that is no number (or none a double holds) is named, with the values read before it.
  const struct {
    const char* card;
    int length, before;
    const char* word;
  } unreadable[] = {{"V len 3; 1 x 3", 3, 1, "x"},     {"V len 3; 1 2 3e", 3, 2, "3e"},
                    {"V len 3; 1 inf 3", 3, 1, "inf"}, {"V len 2; 1 1e999", 2, 1, "1e999"},
                    {"V len 3; 1 1e999 3", 3, 1, "1e999"}};
  for (const auto& u : unreadable) {
    const std::string card(u.card);
    ExpectFatalOn(card, bulk(1, 0),
                  wrong + std::to_string(u.length) + " and found " + std::to_string(u.before) + " in file before \"" +
                      u.word + "\", which cannot be read as a number.\n\tValues of the card: " +
                      card.substr(0, card.find(';') + 1) + "\n");
  }
  ExpectFatalOn("V len 3;", bulk(1, 0), wrong + "3 and found 0 in file.\n\tValues of the card: V len 3;\n");
  ExpectFatalOn("V len 3; 1", bulk(-1, 0), wrong + "3 and found 1 in file.\n\tValues of the card: V len 3;\n");  // skipped, short
  ExpectFatalOn("V len 2000000000; 1 2", bulk(1, 0), wrong + "2000000000 and found 2 in file.\n\tValues of the card: V len 2000000000;\n");
  ExpectFatalOn("V len -1; 1", bulk(1, 0), wrong + "0 and found -1 in file.\n\tValues of the card: V len -1;\n");
  ExpectFatalOn("V 3; 1", bulk(1, 0), "Don't exist any number after a word \"len\"\n");
}

TEST(InputReader, SearchCardSkipsToAWord) {
  EXPECT_EQ(Output("Head; junk BEGINvalues Card 5; tail\nnoend",
                   [](Input& in) {
                     in.ReadLine();
                     std::cout << in.SearchCard("begin", 1) << in.FirstWord() << in.GetInt("Card");
                     std::cout << in.SearchCard("zzz", 0) << in.SearchCard("noend", 0);
                   }),
            "1Card500");
  std::string longWord(5000, 'x');
  EXPECT_EQ(Output("Head; " + longWord + "key Card;",
                   [](Input& in) {
                     in.ReadLine();
                     std::cout << in.SearchCard("key", 1) << in.FirstWord();
                   }),
            "1Card");
}

TEST(InputReader, SecondReaderRereadsTheFileWithSharedUnits) {
  EXPECT_EQ(Output("A 1 [Km]; B 2;",
                   [](Input& in) {
                     in.ReadLine();
                     in.JumpLine();
                     in.ReadLine();
                     in.NewUnits(new Units("[Km]", "[s]", "[Kg]"));
                     InputT again(&in);
                     again.ReadCard("A");
                     std::cout << again.GetRea("A", Length) << " " << (again.GiveUnits() == in.GiveUnits())
                               << " " << in.GetInt("B");
                   }),
            "1 1 2");
}

// Random cards of the characters the tokenizer treats specially: every run ends
// normally or with exit status 1 and a message in the error file, never by a
// signal. A fixed seed and a fixed count make every run of the test the same.
TEST(InputReader, RandomCardsEndCleanly) {
  const std::string alphabet = "aAeE xyz019.-+;;;;{}!\"#[]()*/=,:\n\r\t";
  const char* units[] = {"[m]", "[Km/hour]", "[kg]", "[", "[m/s/s]", "[cm2]", "x"};
  std::mt19937 rng(20240611);
  int fatal = 0;
  for (int run = 0; run < 60; ++run) {
    std::string data;
    int n = 1 + int(rng() % 120);
    for (int i = 0; i < n; ++i) {
      if (rng() % 9 == 0)
        data += std::string(" Len ") + std::to_string(int(rng() % 5) - 1) + " ";
      else if (rng() % 11 == 0)
        data += units[rng() % 7];
      else
        data += alphabet[rng() % alphabet.size()];
    }
    unsigned seed = rng();
    auto r = RunOnData(data, [seed](Input& in) {
      std::mt19937 pick(seed);
      for (int card = 0; card < 50; ++card) {
        in.ReadLine();
        const char* w = in.FirstWord();
        switch (pick() % 6) {
          case 0: in.GetRea(w, Magnitude(int(pick() % 61) - 1)); break;
          case 1: in.GetInt(w, 0); break;
          case 2: in.GetWhatEver(w, "d"); break;
          case 3: {
            ReaVec v;
            if (in.Exist("len")) in.GetAsciiReaVec(v, int(pick() % 3) - 1);
            break;
          }
          case 4: in.GetReaVec(w, 2.0); break;
          default: break;
        }
        if (pick() % 2) in.JumpLine();
      }
    });
    SCOPED_TRACE(data);
    ASSERT_FALSE(r.signaled) << "signal " << r.status - 128;
    ASSERT_TRUE(r.status == 0 || r.status == 1) << r.status;
    ASSERT_EQ(r.err, "\n");  // no report of a sanitizer or of anything else
    if (r.status == 1) {
      ++fatal;
      std::string err = r.file("case.err");
      ASSERT_EQ(err.rfind(olvu_test::kErrBanner, 0), 0u);
      ASSERT_GT(err.size(), std::string(olvu_test::kErrBanner).size());
    }
  }
  EXPECT_GT(fatal, 0);
}
