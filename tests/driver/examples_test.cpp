// Every example of examples/ runs as a user runs it: each data file there, and the data file that
// a generator NAME.py writes on standard output when NAME itself is not in the folder. A run must
// end with status 0, write only finite numbers into its result files and no warning that its
// comment does not name (quote); then examples/report.py, run in its folder, must read it and
// find every figure inside the band its comment states, and the figures that the comment and the
// README quote of the run (kQuotes) must be the run's. The long ones run their first steps only:
// of those the report must only read what they wrote.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "tests/driver/run_olvu.h"
#include "tests/driver/shell_run.h"

namespace olvu_test {
namespace {

namespace fs = std::filesystem;

const std::string kDir = OLVU_EXAMPLES_DIR;

/// What the test knows of an example beyond its data file.
struct Known {
  const char* name;
  int steps;                                     ///< steps to run (0: all)
  const char* arguments;                         ///< of its generator
  bool gmsh;                                     ///< its generator needs the gmsh program
  void (*check)(const Folder&, const Outcome&);  ///< further checks of its run, or null
};

void CylinderForces(const Folder& dir, const Outcome& r);

const Known kKnown[] = {
    // Half a minute for its 400 steps: 2 of them.
    {"cylinder", 2, "", false, CylinderForces},
    // The README's commands run the coarse mesh to its figures; here its first 3 steps.
    {"cylinder3d", 3, "coarse", true, nullptr},
};

const Known* Find(const std::string& name) {
  const auto k = std::find_if(std::begin(kKnown), std::end(kKnown), [&](const Known& e) { return name == e.name; });
  return k == std::end(kKnown) ? nullptr : &*k;
}

// The cylinder's body set, and its drag after the first step (an unconverged linear solve had it
// at 10^12): c_D = 500 (pressure + viscous force x) = 68.89 on the line of time 0, where the inflow
// profile meets the still cylinder at once; 5.58 when steady.
void CylinderForces(const Folder& dir, const Outcome& r) {
  EXPECT_NE(r.out.find("Area/Length of Cylinder = 0.31415\n"), std::string::npos);
  const std::string forces = dir.read("cylinder.for");
  const auto at = forces.find("\n0\t\"Cylinder\"\t");
  ASSERT_NE(at, std::string::npos) << forces;
  std::istringstream line(forces.substr(at + 1));
  std::string time, name;
  double f[12];
  line >> time >> name;
  for (double& v : f) line >> v;
  ASSERT_TRUE(line) << forces;
  EXPECT_NEAR(500 * (f[0] + f[6]), 68.89, 0.3);
}

/// The examples' names: the data files of the folder and the outputs of generators without one.
std::vector<std::string> ExampleNames() {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(kDir)) {
    if (!e.is_regular_file()) continue;
    const fs::path p = e.path();
    if (p.extension() == ".py") {
      if (p.stem() != "report" && !fs::exists(p.parent_path() / p.stem())) names.push_back(p.stem().string());
    } else if (ReadFile(p.string()).rfind("OLVU_", 0) == 0) {
      names.push_back(p.filename().string());
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

/// The output of examples/NAME.py with its arguments (exit status in `status`).
std::string Generated(const Folder& dir, const std::string& name, const std::string& arguments, int& status) {
  const std::string command =
      "python3 '" + kDir + "/" + name + ".py' " + arguments + " > '" + dir.path(name + ".gen") + "'";
  status = std::system(command.c_str());
  return dir.read(name + ".gen");
}

/// The data file with its step count cut to `steps` (0: as it is); `last` receives the count.
std::string CutSteps(std::string data, int steps, int& last) {
  last = -1;
  for (std::size_t at = 0; at < data.size();) {
    const std::size_t end = std::min(data.find('\n', at), data.size());
    const std::size_t key = data.find("Number_of_Steps", at);
    if (data[at] != '!' && key < end) {
      const std::size_t from = data.find_first_not_of(' ', key + 15), to = data.find_first_not_of("0123456789", from);
      last = std::stoi(data.substr(from, to - from));
      if (steps > 0 && steps < last) data.replace(from, to - from, std::to_string(last = steps));
      return data;
    }
    at = end + 1;
  }
  return data;
}

/// The banner of the last of `steps` steps, "STEP = n, TIME = t" ("t" left out when the increment
/// is not a constant number of seconds), as the end of a line or followed by its reason.
bool ReachesStep(const std::string& out, const std::string& data, int steps) {
  std::string line = "\nSTEP = " + std::to_string(steps) + ", TIME = ";
  const std::size_t key = data.find("Time_Increment \""), from = key + 16, to = data.find('"', from);
  const std::string text = key == std::string::npos ? "" : data.substr(from, to - from);
  char* end = nullptr;
  const double dt = std::strtod(text.c_str(), &end);
  if (text.empty() || end != text.c_str() + text.size() || data.compare(to + 1, 4, " [s]") != 0)
    return out.find(line) != std::string::npos;
  double time = 0;  // summed step by step, as the run sums it
  for (int i = 0; i < steps; ++i) time += dt;
  std::ostringstream s;
  s << line << time;
  return out.find(s.str() + ":") != std::string::npos || out.find(s.str() + "\n") != std::string::npos;
}

/// The first line of every warning of a .war text: the warnings' banners, and the notices that ask
/// the reader a question ("... not defined. Is this right?"), which read as warnings.
std::vector<std::string> Warnings(const std::string& war) {
  std::vector<std::string> out;
  std::istringstream in(WithoutHeapNotes(war));
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("\t***  WARNING! LEVEL ", 0) == 0 || line == "\t***       WARNING!       ***") {
      std::getline(in, line);
      out.push_back(line.rfind(" -->\t", 0) == 0 ? line.substr(5) : line);
    } else if (line.rfind(" -->\t", 0) == 0 && line.find('?') != std::string::npos) {
      out.push_back(line.substr(5));
    }
  }
  return out;
}

/// The comment of a data file: its "!" lines without the marks, joined by spaces, so that a quote
/// wrapped over two lines reads whole.
std::string Comment(const std::string& data) {
  std::string out;
  std::istringstream in(data);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind('!', 0) != 0) continue;
    const std::size_t from = line.find_first_not_of(" !");
    if (from != std::string::npos) out += line.substr(from) + " ";
  }
  return out;
}

/// True when the comment quotes a text of at least 12 characters that lies within the warning.
bool Named(const std::string& comment, const std::string& warning) {
  for (std::size_t open = comment.find('"'); open != std::string::npos;) {
    const std::size_t close = comment.find('"', open + 1);
    if (close == std::string::npos) break;
    const std::string quote = comment.substr(open + 1, close - open - 1);
    if (quote.size() >= 12 && warning.find(quote) != std::string::npos) return true;
    open = comment.find('"', close + 1);
  }
  return false;
}

/// The words of a text that read as numbers but are not finite ("nan", "-inf", ...).
std::vector<std::string> NonFinite(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string word; in >> word;) {
    char* end = nullptr;
    const double v = std::strtod(word.c_str(), &end);
    if (end == word.c_str() + word.size() && !std::isfinite(v)) out.push_back(word);
  }
  return out;
}

/// One figure line of report.py: "  NAME VALUE reference REF difference DIFF band BAND VERDICT"
/// and "  (WHERE)" when the figure says where it lies.
struct Figure {
  std::string name, verdict, where;
  double difference = 0, band = 0, value = 0, reference = 0;
  bool relative = false;  ///< the difference in % of the reference
};

std::vector<Figure> Figures(const std::string& report) {
  std::vector<Figure> out;
  std::istringstream in(report);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("  ", 0) != 0) continue;
    std::istringstream words(line);
    std::string value, reference, ref, difference, diff, band, width;
    Figure f;
    words >> f.name >> value >> reference >> ref >> difference >> diff >> band >> width >> f.verdict;
    if (!words || reference != "reference" || difference != "difference" || band != "band") {
      out.push_back({"unreadable: " + line, "", "", 0, 0, 0, 0, false});
      continue;
    }
    f.difference = std::strtod(diff.c_str(), nullptr);
    f.band = std::strtod(width.c_str(), nullptr);
    f.value = std::strtod(value.c_str(), nullptr);
    f.reference = std::strtod(ref.c_str(), nullptr);
    f.relative = diff.back() == '%';
    const std::size_t open = line.find("  (");
    if (open != std::string::npos && line.back() == ')') f.where = line.substr(open + 3, line.size() - open - 4);
    out.push_back(f);
  }
  return out;
}

/// A figure that an example's comment or the README quotes, as its text with the measured values
/// in braces: {F} is the value report.py prints for its figure F, {F.diff} its difference from
/// the reference (in % where its band is), {F.at} where it lies (a text) and {F.at#} the number that
/// ends that text, {step} the last step of
/// the run, {iter N} the iterations of step N; a "-" before the name negates the value ("0.8%
/// below" is a difference of -0.8%). Each number that stands for a value must be the run's to the
/// digits written (a step or an iteration count exactly), and the text around it word for word.
struct Quote {
  const char* example;
  const char* from;  ///< a text of the data file replaced by `to` for the run ("": as written)
  const char* to;
  bool readme;       ///< quoted in README.md, else in the example's comment
  const char* text;
};

const Quote kQuotes[] = {
    {"cavity", "", "", false,
     "in lid speeds: {u_centre.diff} (u at {u_centre.at}) and {v_centre.diff} (v at {v_centre.at}) at t = 10 s"},
    {"cavity", "", "", false, "({iter 1} in the first, {iter 2} in the second, {iter 12} at t = 1.2 s"},
    {"cavity", "", "", true, "u and v on the centrelines {u_centre.diff} and {v_centre.diff} of the lid speed"},
    {"cavity64", "", "", false, "at step {step}."},
    {"cavity64", "", "", false, "(largest difference {-v_centre.diff} at its points"},
    {"cavity64", "", "", false,
     "Ghia's table ({u_centre.diff} at {u_centre.at} and {-v_centre.diff} at {v_centre.at}, in lid speeds)"},
    {"cavity64", "", "", true, "{u_centre.diff} and {-v_centre.diff} off Ghia's table"},
    {"cavity64", "", "", true, "With one iteration per step the cavity is steady in {step} steps with 0.1"},
    {"channel", "", "", false, "(u, m/s), from no vertical flow (v, m/s) and from the linear pressure (p, Pa) over "
                                "the nodes at t = 10 s ({-u.diff}, {v.diff} and {-p.diff})"},
    {"channel", "", "", false, "every nodal velocity is within {v.diff} m/s"},
    {"channel", "", "", false, "the first step takes {iter 1} nonlinear iterations to build its gradient, the "
                                "second {iter 2}, the third {iter 3}"},
    {"channel", "", "", true, "u {-u.diff} m/s off the parabola, v {v.diff} m/s, the pressure {-p.diff} Pa off the line"},
    {"conduction", "", "", false, "after the {step} steps of 1000 s"},
    {"spring_body", "", "", false, "a period of {period} s"},
    {"spring_body", "", "", true, "period {period} s against 2 pi sqrt(m / K) = 1.9869 s, {period.diff}%"},
    {"standing_wave", "", "", false, "period {period} s ({period.diff}%), the cos(k x) mode {mode} a"},
    {"standing_wave", "", "", true, "period {period.diff}% off linear theory (0.5%), the mode keeping {mode} of its height"},
    {"standing_wave", "", "", true,
     "the first sloshing mode keeps {mode} of its height over three periods and its period is within "
     "{-period.diff}% of linear theory"},
    {"channel_turbulent", "", "", false, "Result (step {step}, 1009.5 s):"},
    {"channel_turbulent", "", "", false, "({iter 1} to {iter 13} in the first 13 steps)"},
    {"channel_turbulent", "", "", false,
     "Re_m = U_m 2 delta / nu = {c_f.at#}, c_f = 2 u_tau^2 / U_m^2 = {c_f}, {-c_f.diff}% below Dean's"},
    {"channel_turbulent", " Solve_K_Epsilon ", " Solve_K_Omega ", false,
     "by \"Solve_K_Omega\" (c_f {c_f.diff}% above Dean"},
    {"channel_turbulent", " Solve_K_Epsilon ", " Solve_K_Omega ", false, "steady after {step} steps)"},
    {"channel_turbulent", " Solve_K_Epsilon ", " Solve_K_Omega_SST ", false,
     "or \"Solve_K_Omega_SST\" ({c_f.diff}% above"},
    {"channel_turbulent", " Solve_K_Epsilon ", " Solve_K_Omega_SST ", false, "{step} steps); every other card stays"},
    {"channel_turbulent", "", "", false, "u+ = u / u_tau lies within {u+.diff}% of"},
    {"channel_turbulent", "", "", false, "is the drive of its half to {-wall_stress.diff}%"},
    {"channel_turbulent", " Solve_K_Epsilon ", " Solve_K_Omega ", false, "u+ within {u+.diff}%, steady after"},
    {"channel_turbulent", " Solve_K_Epsilon ", " Solve_K_Omega_SST ", false, "u+ within {u+.diff}%, {step} steps)"},
    {"channel_turbulent", "Time_Increment \"0.5\"", "Time_Increment \"2\"", false,
     "Steps of 2 s instead of 0.5 s reach the same state in {step} steps"},
    {"channel_turbulent", "", "", true,
     "c_f {c_f.diff}% off Dean's correlation (4%), u+ within {u+.diff}% of the log law over 50 <= y+ <= 400 (3%), "
     "the walls' stress in its `.for` on the drive to {-wall_stress.diff}%"},
};


/// What a run of an example gave: its standard output and what report.py printed of it.
struct Measured {
  std::string out;
  std::vector<Figure> figures;
};

/// The value that a quote's key stands for, or NaN when the run gives none; a text in `text`.
double Value(const Measured& m, std::string key, std::string& text) {
  const double none = std::nan("");
  const bool negated = !key.empty() && key[0] == '-';
  if (negated) key.erase(0, 1);
  double v = none;
  if (key == "step" || key.rfind("iter ", 0) == 0) {
    // "STEP = n, TIME = t: ..." lines; the last, or that of the step named.
    const std::string wanted = key == "step" ? "" : "STEP = " + key.substr(5) + ", ";
    std::istringstream in(m.out);
    for (std::string line; std::getline(in, line);) {
      if (line.rfind("STEP = ", 0) != 0 || line.find(": ") == std::string::npos) continue;
      if (wanted.empty()) {
        v = std::strtod(line.c_str() + 7, nullptr);
      } else if (line.rfind(wanted, 0) == 0) {
        const std::size_t after = line.find("after ");
        if (after != std::string::npos) v = std::strtod(line.c_str() + after + 6, nullptr);
      }
    }
  } else {
    const std::size_t dot = key.find('.');
    const std::string name = key.substr(0, dot), part = dot == std::string::npos ? "" : key.substr(dot + 1);
    for (const Figure& f : m.figures) {
      if (f.name != name) continue;
      if (part.empty()) v = f.value;
      if (part == "diff") v = f.relative ? 100 * (f.value - f.reference) / std::fabs(f.reference) : f.value - f.reference;
      if (part == "at") text = f.where;
      if (part == "at#") v = std::strtod(f.where.substr(f.where.find_last_of(' ') + 1).c_str(), nullptr);
    }
  }
  return negated ? -v : v;
}

/// True when the number as written, `written`, is `v` to its digits: an integer count exactly,
/// else to the last digit written (the zeros that end a whole number standing for digits not given).
bool AsWritten(const std::string& written, double v, bool count) {
  std::string w;
  for (char c : written)
    if (c != ',') w += c;
  const double q = std::strtod(w.c_str(), nullptr);
  if (count) return q == v;
  const std::size_t e = w.find_first_of("eE"), point = w.find('.');
  const std::string mantissa = w.substr(0, e);
  const int exponent = e == std::string::npos ? 0 : std::stoi(w.substr(e + 1));
  int last;  // the power of ten of the last digit written
  if (point != std::string::npos && point < mantissa.size()) {
    last = -int(mantissa.size() - point - 1);
  } else {
    const std::size_t digits = mantissa.find_last_not_of('0');
    last = digits == std::string::npos ? 0 : int(mantissa.size() - digits - 1);
  }
  return std::fabs(q - v) <= 0.5 * std::pow(10.0, last + exponent) * (1 + 1e-9);
}

/// Checks every quote of `quotes` of the example `name` (quoted in `comment`, or in the README)
/// that a run of its data file with `from` replaced by `to` gives.
void CheckQuotes(const std::vector<Quote>& quotes, const std::string& name, const std::string& from,
                 const std::string& to, const std::string& comment, const Measured& m) {
  std::string readme = ReadFile(kDir + "/../README.md");
  std::replace(readme.begin(), readme.end(), '\n', ' ');
  const std::string number = "([-+]?[0-9][0-9,]*(?:\\.[0-9]+)?(?:e[-+]?[0-9]+)?)";
  for (const Quote& q : quotes) {
    if (name != q.example || from != q.from || to != q.to) continue;
    SCOPED_TRACE(q.text);
    // The quote as a pattern: its words as written, each value a number.
    std::string pattern, text = q.text;
    std::vector<std::pair<std::string, double>> values;  // key and measured value of each number
    for (std::size_t at = 0; at < text.size();) {
      const std::size_t open = text.find('{', at);
      std::string literal = text.substr(at, open == std::string::npos ? std::string::npos : open - at);
      std::string key;
      if (open != std::string::npos) {
        const std::size_t close = text.find('}', open);
        key = text.substr(open + 1, close - open - 1);
        at = close + 1;
      } else {
        at = text.size();
      }
      std::string where;
      const double v = key.empty() ? 0 : Value(m, key, where);
      if (!key.empty() && key.find(".at") != std::string::npos && key.back() != '#') {
        ASSERT_FALSE(where.empty()) << "the run gives no " << key;
        literal += where;
      } else if (!key.empty()) {
        ASSERT_FALSE(std::isnan(v)) << "the run gives no " << key;
        values.emplace_back(key, v);
      }
      for (char c : literal) {
        if (c == ' ') {
          if (pattern.size() < 3 || pattern.compare(pattern.size() - 3, 3, "\\s+") != 0) pattern += "\\s+";
        } else {
          if (std::string("\\^$.|?*+()[]{}").find(c) != std::string::npos) pattern += '\\';
          pattern += c;
        }
      }
      if (!key.empty() && (key.find(".at") == std::string::npos || key.back() == '#')) pattern += number;
    }
    std::smatch found;
    const std::string& source = q.readme ? readme : comment;
    ASSERT_TRUE(std::regex_search(source, found, std::regex(pattern)))
        << (q.readme ? "README.md" : name) << " no longer quotes this";
    for (std::size_t k = 0; k < values.size(); ++k) {
      const bool count = values[k].first == "step" || values[k].first.rfind("iter ", 0) == 0;
      EXPECT_TRUE(AsWritten(found[k + 1], values[k].second, count))
          << "{" << values[k].first << "} is written " << found[k + 1] << ", the run gives " << values[k].second;
    }
  }
}

class Example : public ::testing::TestWithParam<std::string> {};

// Runs one example and checks what every run must show.
TEST_P(Example, RunsCleanlyToItsFigures) {
  const std::string name = GetParam();
  const Known* known = Find(name);
  if (known && known->gmsh && kCheckedBuild) GTEST_SKIP() << name << " runs in the release build only";
  if (known && known->gmsh && !GmshInstalled())
    GTEST_SKIP() << name << " needs gmsh, which `sh scripts/deps.sh examples` installs: not tested here";
  Folder dir;
  std::string data = ReadFile(kDir + "/" + name);
  if (data.empty()) {
    int status = 0;
    data = Generated(dir, name, known ? known->arguments : "", status);
    ASSERT_EQ(status, 0) << name << ".py";
  }
  int steps = 0;
  dir.write(name, CutSteps(data, known ? known->steps : 0, steps));
  ASSERT_GT(steps, 0) << "no Number_of_Steps";
  const bool cut = known && known->steps > 0;
  std::vector<std::string> args{"-name", name};
  if (data.rfind("OLVU_3D", 0) == 0) args.push_back("-3D");
  const Outcome r = dir.olvu(args);
  ASSERT_EQ(r.status, 0) << dir.read(name + ".err");
  EXPECT_TRUE(ReachesStep(r.out, data, steps) || r.out.find(": Steady State Found.") != std::string::npos)
      << r.out.substr(r.out.size() - std::min<std::size_t>(r.out.size(), 2000));
  EXPECT_NE(dir.read(name + ".res").find("Result "), std::string::npos);
  for (const char* ext : {".res", ".for", ".mov"}) {
    const std::vector<std::string> bad = NonFinite(dir.read(name + ext));
    EXPECT_TRUE(bad.empty()) << name << ext << " holds " << bad.front();
  }
  const std::string comment = Comment(data);
  for (const std::string& w : Warnings(dir.read(name + ".war")))
    EXPECT_TRUE(Named(comment, w)) << "a warning the comment does not quote: " << w;
  if (known && known->check) known->check(dir, r);

  EXPECT_NE(comment.find("report.py"), std::string::npos) << "the comment does not name report.py";
  const Outcome report = Shell("python3 '" + kDir + "/report.py' " + name, dir.path(""), dir);
  SCOPED_TRACE(report.out + report.err);
  // 3: a figure outside its band, which a run cut short may show.
  ASSERT_TRUE(report.status == 0 || (cut && report.status == 3)) << "report.py ended with " << report.status;
  const std::vector<Figure> figures = Figures(report.out);
  ASSERT_FALSE(figures.empty());
  for (const Figure& f : figures) {
    SCOPED_TRACE(f.name);
    ASSERT_TRUE(f.verdict == "inside" || f.verdict == "OUTSIDE");
    EXPECT_EQ(f.verdict == "inside", std::fabs(f.difference) <= f.band);
    if (!cut) {
      EXPECT_EQ(f.verdict, "inside");
    }
  }
  if (!cut) CheckQuotes({std::begin(kQuotes), std::end(kQuotes)}, name, "", "", comment, {r.out, figures});
}

INSTANTIATE_TEST_SUITE_P(Examples, Example, ::testing::ValuesIn(ExampleNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

/// Runs once each changed data file that `quotes` name, with its report, and checks their quotes.
void CheckChangedRuns(const std::vector<Quote>& quotes) {
  // Every build gives the same figures; the checked builds would take a minute over these runs.
  if (kCheckedBuild) GTEST_SKIP() << "the runs of changed data files are checked in the release build";
  std::vector<std::string> done;
  for (const Quote& q : quotes) {
    const std::string name = q.example, run = name + "|" + q.from + "|" + q.to;
    if (!*q.from || std::find(done.begin(), done.end(), run) != done.end()) continue;
    done.push_back(run);
    SCOPED_TRACE(run);
    const std::string data = ReadFile(kDir + "/" + name), changed = Replace(data, q.from, q.to);
    ASSERT_NE(changed, data);
    Folder dir;
    dir.write(name, changed);
    const Outcome r = dir.olvu({"-name", name});
    ASSERT_EQ(r.status, 0) << dir.read(name + ".err");
    const Outcome report = Shell("python3 '" + kDir + "/report.py' " + name, dir.path(""), dir);
    ASSERT_EQ(report.status, 0) << report.out << report.err;
    CheckQuotes(quotes, name, q.from, q.to, Comment(data), {r.out, Figures(report.out)});
  }
}

TEST(Examples, QuotedFiguresOfOtherSettingsAreTheirRuns) {
  // The comments' figures for a changed card (another model), each the run of the file so changed.
  CheckChangedRuns({std::begin(kQuotes), std::end(kQuotes)});
}

TEST(Examples, ReportStopsWithItsMessageOnWhatItCannotJudge) {
  // One run of the channel, then report.py on altered copies of its files: each fault ends with
  // report.py's own one-line message and status 1 (no traceback), a figure outside a narrowed
  // band with status 3.
  Folder dir;
  const std::string data = ReadFile(kDir + "/channel");
  dir.write("channel", data);
  ASSERT_EQ(dir.olvu({"-name", "channel"}).status, 0);
  struct Case {
    const char* what;
    std::string from, to;        ///< a text of the data file and its replacement
    std::string resFrom, resTo;  ///< the same in the result file ("" for none)
    bool noResults;              ///< the result file taken away
    int status;
    const char* message;
  };
  const Case cases[] = {
      {"as run", "", "", "", "", false, 0, " inside"},
      {"a band too narrow", "!   u within 1e-4 of", "!   u within 1e-6 of", "", "", false, 3, " OUTSIDE"},
      {"a figure without its band", "!   p within 1e-3 of", "!   pressure within 1e-3 of", "", "", false, 1,
       "do not match the figures"},
      {"a relative band of a zero reference", "!   v within 1e-4 of", "!   v within 1% of", "", "", false, 1,
       "whose reference is 0"},
      {"no result file", "", "", "", "", true, 1, "channel.res: No such file"},
      {"no velocity in the results", "", "", "\"VELOCITY\"", "\"SPEED\"", false, 1, "no VELOCITY block"},
      {"a node missing from the results", "", "", "\n\t86\t", "\n\t9999\t", false, 1, "do not hold what"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Folder copy;
    for (const char* ext : {".for", ".mov", ".rst"})
      copy.write(std::string("channel") + ext, dir.read(std::string("channel") + ext));
    copy.write("channel", c.from.empty() ? data : Replace(data, c.from, c.to));
    const std::string res = dir.read("channel.res");
    if (!c.noResults) copy.write("channel.res", c.resFrom.empty() ? res : Replace(res, c.resFrom, c.resTo));
    const Outcome r = Shell("python3 '" + kDir + "/report.py' channel", copy.path(""), copy);
    EXPECT_EQ(r.status, c.status) << r.out << r.err;
    EXPECT_NE((r.out + r.err).find(c.message), std::string::npos) << r.out << r.err;
    EXPECT_EQ(r.err.find("Traceback"), std::string::npos) << r.err;
  }
}

TEST(Examples, ReportReadsTheSpringsUnitsAndExactZeros) {
  // report.py on examples/spring_body and a movement table written here: the height 0.02 cos(2 pi
  // t / P) sampled at P / 40 over four periods, P = 2 pi sqrt(m / K) = 1.98692 s, the three samples
  // around each crossing exactly 0 (each crossing then read at the middle sample: the period
  // exact), with the stiffness and the mass in other units (the same reference); a fault of the
  // report itself is reported as such, with its traceback; a line short of a body's numbers as
  // the run's file at fault.
  const std::string data =
      Replace(Replace(Replace(ReadFile(kDir + "/spring_body"), "Mass 10 [Kg]", "Mass 10000 [g]"), "Springs 100 0",
                      "Springs 1 0"),
              "KD_Units [N/m]", "KD_Units [N/cm]");
  ASSERT_NE(data.find("Mass 10000 [g] "), std::string::npos);
  ASSERT_NE(data.find("Springs 1 0 1 1.4762912 1 0.5 KD_Units [N/cm]"), std::string::npos);
  const double P = 2 * M_PI * std::sqrt(10 / 100.0);
  auto table = [&](int values) {
    std::ostringstream mov;
    mov.precision(17);
    mov << "\n";
    for (int i = 0; i <= 160; ++i) {
      const bool zero = (i + 1) % 20 <= 2;  // i = 9, 10, 11, 29, 30, 31, ...: around P/4 + k P/2
      mov << "\n" << i * P / 40 << "\t\"Square\"\t0\t" << (zero ? 0.0 : 0.02 * std::cos(2 * M_PI * i / 40)) << "\t";
      for (int k = 2; k < values; ++k) mov << "0\t";
    }
    return mov.str();
  };
  const std::string faulty = "python3 -c 'import sys; sys.path.insert(0, \"" + kDir +
                             "\"); import report; report.period = lambda t, v: 1 / 0; "
                             "sys.exit(report.main([\"report.py\", \"spring_body\"]))'";
  const std::string plain = "python3 '" + kDir + "/report.py' spring_body";
  const struct {
    const char* what;
    std::string data, command;
    int values, status;
    const char* message;
    bool traceback;
  } cases[] = {
      {"exact zeros, other units", data, plain, 6, 0, "reference 1.98692 ", false},
      {"a fault of the report", data, faulty, 6, 1, "report.py fault: ZeroDivisionError", true},
      {"a short line", data, plain, 5, 1, "report.py: the run's files do not hold what the report reads", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Folder dir;
    dir.write("spring_body", c.data);
    dir.write("spring_body.mov", table(c.values));
    const Outcome r = Shell(c.command, dir.path(""), dir);
    EXPECT_EQ(r.status, c.status) << r.out << r.err;
    EXPECT_NE((r.out + r.err).find(c.message), std::string::npos) << r.out << r.err;
    EXPECT_EQ(r.err.find("Traceback") != std::string::npos, c.traceback) << r.err;
    if (c.status == 0) {
      const std::vector<Figure> figures = Figures(r.out);
      ASSERT_EQ(figures.size(), 1u);
      EXPECT_NEAR(figures[0].difference, 0, 1e-6);
    }
  }
}

TEST(Examples, GeneratorsWriteTheDataFilesBesideThem) {
  // A generated data file kept in the folder is the one its generator writes today.
  for (const auto& e : fs::directory_iterator(kDir)) {
    const fs::path p = e.path();
    if (p.extension() != ".py" || !fs::exists(p.parent_path() / p.stem())) continue;
    const std::string name = p.stem().string();
    SCOPED_TRACE(name);
    Folder dir;
    int status = 0;
    const std::string generated = Generated(dir, name, "", status);
    ASSERT_EQ(status, 0);
    EXPECT_TRUE(generated == ReadFile((p.parent_path() / p.stem()).string()))
        << "examples/" << name << " differs from what " << name << ".py writes";
  }
}

}  // namespace
}  // namespace olvu_test
