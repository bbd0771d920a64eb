#include "foundation/error.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <functional>
#include <iostream>
#include <new>
#include <vector>

#include "tests/support/child.h"

using olvu_test::RunInChild;
using olvu_test::kErrBanner;

TEST(ErrorReport, FatalErrorWritesBannerAndMessageAndExitsOne) {
  auto r = RunInChild([] {
    MemoryControlOn("case");
    OLVU_FATAL("first\n");
  });
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.file("case.err"), std::string(kErrBanner) + "first\n");
}

TEST(ErrorReport, SecondFatalErrorReplacesTheFile) {
  auto r = RunInChild(
      [] {
        MemoryControlOn("case");
        OLVU_FATAL("second\n");
      },
      [](const std::string& dir) { olvu_test::WriteFile(dir + "/case.err", "an old and much longer report\n"); });
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.file("case.err"), std::string(kErrBanner) + "second\n");
}

TEST(ErrorReport, WithoutNameFatalGoesToStandardErrorAfterTwoNewlines) {
  auto r = RunInChild([] { OLVU_FATAL("lonely\n"); });
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "\n\nlonely\n");
  EXPECT_FALSE(r.exists(".err"));
}

TEST(ErrorReport, FramedFatalExitsOneAndFramesBothStreams) {
  auto r = RunInChild([] {
    MemoryControlOn("case");
    WriteError(__FILE__, __LINE__, "framed");
  });
  const std::string stars(73, '*');
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.file("case.err"), "\n\n " + stars + "\n\n ERROR DETECTED :\n\n\n -->\tframed\n\n " + stars + "\n\n");
  // Standard error gets the end of line of MemoryControlOn, then both star lines around the banner.
  EXPECT_EQ(r.err, "\n\n\n " + stars + "\n\n ERROR DETECTED :\n\n\n\n " + stars + "\n\n");
}

TEST(ErrorReport, WarningsAndNoticesAppendInOrderToExistingFile) {
  auto r = RunInChild(
      [] {
        MemoryControlOn("case");
        OLVU_WARNING(0, "plain");
        OLVU_NOTICE("note");
        OLVU_WARNING(2, "levelled");
        WriteWarning(__FILE__, __LINE__, "complete", 3);
        WriteNotice("complete note");
      },
      [](const std::string& dir) { olvu_test::WriteFile(dir + "/case.war", "kept\n"); });
  EXPECT_EQ(r.status, 0);
  std::string war = r.file("case.war");
  // The heap probe may or may not add its own warning first; the rest is fixed.
  EXPECT_EQ(war.rfind("kept\n", 0), 0u);
  const std::string tail =
      "\t***       WARNING!       ***\n -->\tplain\n"
      " -->\tnote\n"
      "\t***  WARNING! LEVEL 2 ***\n -->\tlevelled\n"
      "\t***  WARNING! LEVEL 3 ***\n -->\tcomplete\n"
      " -->\tcomplete note\n";
  ASSERT_GE(war.size(), tail.size());
  EXPECT_EQ(war.substr(war.size() - tail.size()), tail);
}

TEST(ErrorReport, VerbosityOneSilencesNoticesTwoSilencesWarnings) {
  auto r = RunInChild([] {
    Verbose_Off = 1;
    MemoryControlOn("one");
    OLVU_NOTICE("hidden");
    WriteNotice("hidden too");
    OLVU_WARNING(1, "shown");
    Verbose_Off = 2;
    MemoryControlOn("two");
    OLVU_WARNING(1, "hidden");
    WriteWarning(__FILE__, __LINE__, "hidden", 0);
    MemoryControlOff();
  });
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.file("one.war").find("\t***  WARNING! LEVEL 1 ***\n -->\tshown\n"), std::string::npos);
  EXPECT_EQ(r.file("one.war").find("hidden"), std::string::npos);
  EXPECT_FALSE(r.exists("two.war"));
}

TEST(ErrorReport, AfterMemoryControlOffReportsGoToStandardError) {
  auto r = RunInChild([] {
    MemoryControlOn("case");
    MemoryControlOff();
    OLVU_WARNING(0, "to stderr");
  });
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.err.find("\t***       WARNING!       ***\n -->\tto stderr\n"), std::string::npos);
}

TEST(ErrorReport, ReportFilesAreCreatedReadWriteForOwnerAndGroup) {
  auto r = RunInChild([] {
    umask(0);
    MemoryControlOn("case");
    OLVU_WARNING(0, "w");
  });
  struct stat st {};
  ASSERT_EQ(stat((r.dir + "/case.war").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0664u);
}

#if defined(__SANITIZE_ADDRESS__)
#define OLVU_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define OLVU_TEST_ASAN 1
#endif
#endif

#ifndef OLVU_TEST_ASAN
// Far more than any machine has: every allocation path must end with the heap message.
constexpr std::size_t kHugeDoubles = std::size_t(1) << 42;
// Keeps an allocation observable, so the compiler cannot drop it.
double* volatile g_kept = nullptr;
#endif

TEST(HeapExhaustion, EveryAllocationPathEndsWithTheHeapMessage) {
#ifdef OLVU_TEST_ASAN
  GTEST_SKIP() << "the address sanitizer reports a failed allocation itself";
#else
  EXPECT_NE(std::get_new_handler(), nullptr);  // installed before main
  const std::function<void()> paths[] = {
      [] { g_kept = new double[kHugeDoubles]; },
      [] { std::vector<double> v(kHugeDoubles); },
      [] {
        std::vector<int> v;
        v.reserve(kHugeDoubles);
      },
  };
  for (const auto& body : paths) {
    auto r = RunInChild(body);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "\n\nNot space available on heap\n");
  }
  auto named = RunInChild([] {
    MemoryControlOn("case");
    std::vector<double> v(kHugeDoubles);
  });
  EXPECT_EQ(named.status, 1);
  EXPECT_EQ(named.file("case.err"), std::string(kErrBanner) + "Not space available on heap\n");
#endif
}
