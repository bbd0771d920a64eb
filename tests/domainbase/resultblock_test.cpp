// The result-block layout and its number format, which must read exactly as a stream writes.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <sstream>

#include "domain/resultblock.h"

namespace {

std::string Stream(double v) {
  std::ostringstream s;
  s << v;
  return s.str();
}

std::string General(double v) {
  char buf[64];
  return std::string(buf, FormatGeneral(buf, buf + sizeof buf, v));
}

TEST(ResultBlock, NumbersReadAsTheStreamWritesThem) {
  const double inf = std::numeric_limits<double>::infinity();
  for (double v : {0.0, -0.0, 1.0, -1.5, 0.1, 1e-4, 1e-5, 0.000123456789, 123456.0, 999999.5, 1234567.0, 1e100,
                   -2.5e-300, 5e-324, 1.7976931348623157e308, inf, -inf, std::nan("")})
    EXPECT_EQ(General(v), Stream(v)) << v;
  std::mt19937_64 gen(7);
  std::uniform_real_distribution<double> mant(-10, 10);
  std::uniform_int_distribution<int> exp(-30, 30);
  for (int k = 0; k < 20000; ++k) {
    const double v = mant(gen) * std::pow(10.0, exp(gen));
    ASSERT_EQ(General(v), Stream(v)) << v;
  }
}

TEST(ResultBlock, LayoutOfScalarVectorAndMatrixBlocks) {
  std::ostringstream out;
  {
    ResultBlock b(out, "VELOCITY", "QUELMA", 0.2, ResultKind::Vector, "\"Vx\",\"Vy\",\"Vz\",\"|V|\"");
    b.Write(1, 1.0, -2.5, 0.0);
    b.Write(12, 3.6, 7.2, 1e-7);
  }
  {
    ResultBlock b(out, "PRESSURE", "QUELMA", 1234567.0, ResultKind::Scalar);
    b.Write(3, 101325.0);
  }
  {
    ResultBlock b(out, "STRESS", "QUELMA", 0, ResultKind::Matrix, "\"Txx\"");
    const double t[6] = {1, 2, 3, 4, 5, 6};
    b.Write(7, t, 6);
  }
  { ResultBlock b(out, "DENSITY", "QUELMA", 0, ResultKind::Scalar); }
  EXPECT_EQ(out.str(),
            "Result \"VELOCITY\" \"QUELMA\" 0.2 Vector OnNodes\nComponentNames \"Vx\",\"Vy\",\"Vz\",\"|V|\"\nValues\n"
            "\t1\t1\t-2.5\t0\n\t12\t3.6\t7.2\t1e-07\nEnd Values\n"
            "Result \"PRESSURE\" \"QUELMA\" 1.23457e+06 Scalar OnNodes\nValues\n\t3\t101325\nEnd Values\n"
            "Result \"STRESS\" \"QUELMA\" 0 Matrix OnNodes\nComponentNames \"Txx\"\nValues\n\t7\t1\t2\t3\t4\t5\t6\nEnd "
            "Values\n"
            "Result \"DENSITY\" \"QUELMA\" 0 Scalar OnNodes\nValues\nEnd Values\n");
}

TEST(ResultBlock, LargeBlocksAndLongNamesPassThroughTheBuffer) {
  // More lines than the buffer holds, and a name longer than it.
  const std::string name(200000, 'N');
  std::ostringstream out, expected;
  {
    ResultBlock b(out, name.c_str(), "L", 1, ResultKind::Scalar);
    for (int i = 1; i <= 30000; ++i) b.Write(i, i * 0.001);
  }
  expected << "Result \"" << name << "\" \"L\" 1 Scalar OnNodes\nValues\n";
  for (int i = 1; i <= 30000; ++i) expected << "\t" << i << "\t" << i * 0.001 << "\n";
  expected << "End Values\n";
  EXPECT_EQ(out.str(), expected.str());
}

}  // namespace
