#include "input/line.h"

#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "input/input.h"
#include "input/types.h"
#include "tests/input/reader_support.h"

using olvu_test::ExpectFatalOn;
using olvu_test::RunInChild;
using olvu_test::RunOnData;

namespace {

/// "text[n1,n2]" per word, with '?' after unmarked words: a compact view of a cut line.
std::string Terms(const Line& l) {
  std::string s;
  for (const Word* w = l.FirstWord(); w; w = w->next) {
    if (!s.empty()) s += " ";
    s += w->text;
    if (w->first) {
      std::ostringstream o;
      o << "[";
      for (const Number* n = w->first; n; n = n->next) o << (n == w->first ? "" : ",") << n->value;
      o << "]";
      s += o.str();
    }
  }
  return s;
}

std::string Dump(const Line& l) {
  std::ostringstream o;
  l.PrintTo(o);
  return o.str();
}

/// text with every line end written as CR LF.
std::string CrLf(const std::string& text) {
  std::string s;
  for (char c : text) s += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return s;
}

/// Cuts every card of data up to the card "End" in a child; the cards' terms, one per line.
std::string CardTerms(const std::string& data) {
  auto r = RunOnData(data, [](Input& in) {
    for (;;) {
      in.ReadLine();
      std::cout << Terms(*in.GetLine()) << "\n";
      if (std::string(in.FirstWord()) == "End") break;
      in.JumpLine();
    }
    in.JumpLine();
  });
  EXPECT_EQ(r.status, 0) << r.file("case.err");
  return r.out.substr(1);  // the start-up line end
}

}  // namespace

TEST(CardTokenizer, DumpOfCardsAcrossIncludesCommentsLiteralsAndMathMode) {
  // The same files with LF and with CR LF line ends give the same dump; a few terms are
  // marked so the dump shows both marked and unknown terms.
  for (bool crlf : {false, true}) {
    SCOPED_TRACE(crlf ? "CR LF" : "LF");
    auto r = RunInChild(
        [] {
          Input in("cards.dat");
          for (int card = 1; card <= 11; ++card) {
            in.ReadLine();
            if (card == 2) in.GetRea("Density", Density);
            if (card == 4) in.GetRea("Length", Length);
            in.GetLine()->PrintTo(std::cout);
            in.JumpLine();
          }
        },
        [crlf](const std::string& dir) {
          for (std::string name : {"cards.dat", "cards_inc1.dat", "cards_inc2.dat"}) {
            std::string text = olvu_test::ReadFile(OLVU_TEST_DATA_DIR "/" + name);
            olvu_test::WriteFile(dir + "/" + name, crlf ? CrLf(text) : text);
          }
        });
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, olvu_test::ReadFile(OLVU_TEST_DATA_DIR "/cards.expected"));
  }
}

TEST(CardTokenizer, CrLfFileReadsLikeLf) {
  const std::string lf = "Crlf 1 2\nNext ! note\n3 [m];\nLit \"a b\";\nEnd;\n";
  EXPECT_EQ(CardTerms(lf), "Crlf[1,2] Next[3] [m]\nLit a b\nEnd\n");
  EXPECT_EQ(CardTerms(CrLf(lf)), CardTerms(lf));
}

TEST(CardTokenizer, CardsCutIntoWordsAndNumbers) {
  EXPECT_EQ(CardTerms("Density 1000 [Kg/m3];\nL 10[m];\nDensity=1000;\nA:1,2\t3;\n"
                      "Plain 1.5e-3;\n#M 1.5e-3#;\n#a+1#;\nOdd #a+1;\nNo a+1;\nEnd;"),
            "Density[1000] [Kg/m3]\nL[10] [m]\nDensity[1000]\nA[1,2,3]\nPlain[0.0015]\n"
            "# M[1.5] e -[3]\n# a +[1]\n"
            // An odd '#' leaves math mode on at the card's end, so the second pass starts in it.
            "Odd a+1\nNo a+1\nEnd\n");
}

TEST(CardTokenizer, NumbersStartWithADigitOrASignOrPointBeforeOne) {
  EXPECT_EQ(CardTerms("W -.5 +3 .5 5. 1E+2 -7e-1 inf nan 0x1A 1e e5 -x +-1 infinite; End;"),
            "W[-0.5,3,0.5,5,100,-0.7] inf nan 0x1A 1e e5 -x +-1 infinite\nEnd\n");
  EXPECT_EQ(CardTerms("Big 1e999 -1e999; End;"), "Big[inf,-inf]\nEnd\n");
}

TEST(CardTokenizer, LiteralsCommentsAndLeadingSkips) {
  EXPECT_EQ(CardTerms("Name \"a literal 12\" \"12\" \"\" x \"ab[cd\" \"x;y\";\n"
                      "C {a {b;} c} 1 ! x; y\n 2;\n"
                      "D ! { \n 3;\n"
                      "F { ! } 4;\n"
                      ";; ; {c} ! d\n G;\n"
                      "\"\" ;\n"  // a card of nothing but an empty literal is no card
                      "End;"),
            "Name a literal 12 12 x ab [cd x;y\nC[1,2]\nD[3]\nF[4]\nG\nEnd\n");
}

TEST(CardTokenizer, TextsCutWithALeadingWord) {
  EXPECT_EQ(Terms(Line("x * 2", 1)), "MyLine x *[2]");
  EXPECT_EQ(Terms(Line("3 + a", 1)), "MyLine[3] + a");
  EXPECT_EQ(Terms(Line("\"12\" q", 0)), "MyLine[12] q");  // quotes do not make a word in a text
  EXPECT_EQ(Terms(Line("a;b", 0)), "MyLine a");
  EXPECT_EQ(Terms(Line("1.5e-3", 1)), "MyLine[1.5] e -[3]");
  EXPECT_EQ(Terms(Line("1.5e-3", 0)), "MyLine[0.0015]");
  EXPECT_EQ(Terms(Line("sin(t)<=2,x", 1)), "MyLine sin ( t ) < =[2] , x");
  Line empty("", 1);
  EXPECT_EQ(empty.FirstWord(), nullptr);
  EXPECT_EQ(empty.NotUsedAll(), 0);
  EXPECT_EQ(Dump(empty), "");
}

TEST(CardTokenizer, FindMatchesWholeWordsIgnoringCaseAndMarksThem) {
  Line l("Iter Iteration 3 4 Other", 0);
  EXPECT_EQ(l.Find("Ite"), nullptr);
  Word* w = l.Find("ITERATION");
  ASSERT_NE(w, nullptr);
  EXPECT_STREQ(w->text, "Iteration");
  EXPECT_EQ(w->used, 1);
  EXPECT_STREQ(l.Find("iter")->text, "Iter");
  EXPECT_EQ(l.NWords(), 4);
  EXPECT_EQ(l.NNumbers(), 2);
  ReaVec v(l.GetReaVec("Iteration"));
  ASSERT_EQ(v.length(), 2u);
  EXPECT_EQ(v(1), 3);
  EXPECT_EQ(v(2), 4);
  EXPECT_EQ(l.GetReaVec("Absent").length(), 0u);
  EXPECT_EQ(l.NotUsedAll(), 1);  // MyLine and Other
  l.FirstWord()->used = 1;
  EXPECT_STREQ(w->Next()->text, "Other");  // Next marks the word it gives
  EXPECT_EQ(l.NotUsedAll(), 0);
}

TEST(CardTokenizer, IntegersTruncateTowardZeroAndSaturate) {
  Line l("N 10.7 -3.9 1e12 -1e12", 0);
  IntVec v(l.GetIntVec("N"));
  ASSERT_EQ(v.length(), 4u);
  EXPECT_EQ(v(1), 10);
  EXPECT_EQ(v(2), -3);
  EXPECT_EQ(v(3), 2147483647);
  EXPECT_EQ(v(4), -2147483647 - 1);
}

TEST(CardTokenizer, PrintShowsCountsMarksAndShortWordTabs) {
  Line l("Word 1 2 LongerWord 3", 0);
  l.Find("Word");
  l.FirstWord()->used = 1;
  l.GetReaVec("LongerWord");
  EXPECT_EQ(Dump(l),
            " Decoded line:  (3 words, 3 numbers.)\n\n\tWORDS\t\tNUMBERS \t'?' => Unknown term.\n"
            "\n\tMyLine \t"
            "\n\tWord \t\t1?\t2?"
            "\n\tLongerWord \t3"
            "\n\n");
  l.GetReaVec("Word");
  std::ostringstream o;
  o << l;
  EXPECT_EQ(o.str().rfind(" Decoded line:  (3 words, 3 numbers.)\n\n\tWORDS\t\tNUMBERS \n\n\tMyLine", 0), 0u);
}

TEST(CardTokenizer, BadCardsEndTheRunWithTheirMessage) {
  auto read = [](Input& in) {
    in.ReadLine();
    in.JumpLine();
    in.ReadLine();
  };
  ExpectFatalOn("12 Foo;", read, "Every line must start with some word\n");
  ExpectFatalOn("A; Name \"abc\nx\";", read,
                "'\"' expected. (You must close literal before end of line)\n");
  ExpectFatalOn("A; B } ;", read, "End of comment '}' found without being in a comment\n");
  ExpectFatalOn("A; B 1", read, "Unexpected end of file case.dat found\n");
  ExpectFatalOn("A; B {1;", read, "Unexpected end of file case.dat found\n");
  ExpectFatalOn("", read, "Unexpected end of file case.dat found\n");
}

// The time it takes is measured by BM_LongCard in bench/input_bench.cpp.
TEST(CardTokenizer, LongCardIsCutWhole) {
  std::string card = "Big";
  const int n = 200000;
  for (int i = 0; i < n; ++i) card += " w" + std::to_string(i) + " " + std::to_string(i);
  card += ";";
  auto r = RunOnData(card, [](Input& in) {
    in.ReadLine();
    std::cout << in.NWords() << " " << in.NNumbers();
    in.JumpLine();
  });
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "\n" + std::to_string(n + 1) + " " + std::to_string(n));
}
