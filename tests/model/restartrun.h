// A restart against the unbroken run: a data file run 2N steps at once, and N steps then
// "Restart" to 2N in another folder, with every file the two runs write after step N compared.
#pragma once

#include <algorithm>
#include <cmath>
#include <functional>
#include <iomanip>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "tests/driver/run_olvu.h"

namespace olvu_test {

/// What a restarted run gave against the unbroken one.
struct RestartComparison {
  std::string failed;         ///< what went wrong running (empty when all three runs ended well)
  double largest = 0;         ///< largest difference of a value over the largest |value| of its block,
                              ///< table column or restart entry
  std::string where;          ///< what the largest difference was in
  int compared = 0;           ///< result blocks, table lines and restart entries compared
  std::string restartTime;    ///< time of step N in the unbroken run's result blocks
  std::string firstTime;      ///< time of the restarted run's first result block
  bool earlierBlocks = false; ///< the restarted run wrote a block before the time of step N
};

namespace restart_detail {

/// One result block: name, label, time text and node values.
struct Block {
  std::string name, label, time;
  std::vector<std::vector<double>> values;
};

inline std::vector<Block> Blocks(const std::string& res) {
  std::vector<Block> out;
  std::istringstream in(res);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("Result \"", 0) != 0) continue;
    Block b;
    std::istringstream head(line.substr(7));
    head >> std::quoted(b.name) >> std::quoted(b.label) >> b.time;
    while (std::getline(in, line) && line != "Values") {
    }
    while (std::getline(in, line) && line != "End Values") {
      std::istringstream v(line);
      int node;
      v >> node;
      b.values.emplace_back();
      for (double x; v >> x;) b.values.back().push_back(x);
    }
    out.push_back(std::move(b));
  }
  return out;
}

/// The fields of a table line split at tabs, commas, semicolons and blanks.
inline std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> out;
  std::string f;
  for (char c : line + " ") {
    if (c == '\t' || c == ',' || c == ';' || c == ' ') {
      if (!f.empty()) out.push_back(f);
      f.clear();
    } else {
      f += c;
    }
  }
  return out;
}

inline bool Number(const std::string& s, double& x) {
  char* end = nullptr;
  x = std::strtod(s.c_str(), &end);
  return end && *end == '\0' && end != s.c_str();
}

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);)
    if (!l.empty()) out.push_back(l);
  return out;
}

/// The entries of a restart file: key (with its index) -> values.
inline std::map<std::string, std::vector<double>> Entries(const std::string& rst) {
  std::map<std::string, std::vector<double>> out;
  std::istringstream in(rst);
  for (std::string line; std::getline(in, line);) {
    const auto at = line.find("len = ");
    if (at == std::string::npos) continue;
    std::string key = line.substr(0, at);
    key.erase(std::remove(key.begin(), key.end(), '\t'), key.end());
    const int n = std::stoi(line.substr(at + 6));
    std::vector<double>& v = out[key];
    for (double x; int(v.size()) < n && in >> x;) v.push_back(x);
  }
  return out;
}

}  // namespace restart_detail

/// Runs `data` (a data file of 2N steps whose general-data card starts "GeneralData" and holds
/// "Number_of_Steps 2N") at once, and for N steps then again with "Restart" to 2N, in folders of
/// their own, with output every N steps. `tamper`, when given, changes the N-step run's restart
/// file before the restart reads it. Compares every block of the restarted run's first output with
/// the unbroken run's at step N, every result block after step N, every line of the
/// force and movement tables after step N, the sink-and-trim table and every entry of the restart
/// files of step 2N.
inline RestartComparison CompareRestart(std::string data, int n, bool threeD,
                                        const std::function<std::string(const std::string&)>& tamper = {}) {
  using namespace restart_detail;
  RestartComparison r;
  data = std::regex_replace(data, std::regex("OutPut_Step +[0-9]+"), "OutPut_Step " + std::to_string(n));
  const std::regex steps("Number_of_Steps +[0-9]+");
  const std::string whole = std::regex_replace(data, steps, "Number_of_Steps " + std::to_string(2 * n));
  const std::string first = std::regex_replace(data, steps, "Number_of_Steps " + std::to_string(n));
  const std::string second = Replace(whole, "GeneralData ", "GeneralData Restart ");
  std::vector<std::string> args{"-name", "c.dat"};
  if (threeD) args.push_back("-3D");
  Folder a, b;
  auto run = [&](const Folder& dir, const std::string& text, const char* what) {
    dir.write("c.dat", text);
    if (!r.failed.empty()) return;
    const Outcome o = dir.olvu(args);
    if (o.status != 0) r.failed = std::string(what) + ": " + dir.read("c.dat.err") + o.err;
  };
  run(a, whole, "unbroken run");
  run(b, first, "first half");
  if (tamper) b.write("c.dat.rst", tamper(b.read("c.dat.rst")));
  run(b, second, "restarted run");
  if (!r.failed.empty()) return r;

  auto note = [&](double diff, double scale, const std::string& where) {
    const double d = scale > 0 ? diff / scale : diff;
    if (!(d <= r.largest)) r.largest = d, r.where = where;  // a NaN is the largest of all
  };
  auto compareValues = [&](const std::vector<std::vector<double>>& x, const std::vector<std::vector<double>>& y,
                           const std::string& where) {
    double scale = 0, diff = 0;
    for (const auto& row : x)
      for (double v : row) scale = std::max(scale, std::fabs(v));
    if (x.size() != y.size()) return note(INFINITY, 1, where + " (other node count)");
    for (std::size_t i = 0; i < x.size(); ++i) {
      if (x[i].size() != y[i].size()) return note(INFINITY, 1, where + " (other component count)");
      for (std::size_t k = 0; k < x[i].size(); ++k) diff = std::max(diff, std::fabs(x[i][k] - y[i][k]));
    }
    note(diff, scale, where);
    ++r.compared;
  };

  // Result blocks: the unbroken run's times are 0, step N and step 2N.
  const std::vector<Block> wb = Blocks(a.read("c.dat.res")), rb = Blocks(b.read("c.dat.res"));
  std::vector<std::string> times;
  for (const Block& k : wb)
    if (std::find(times.begin(), times.end(), k.time) == times.end()) times.push_back(k.time);
  if (times.size() != 3) {
    r.failed = "the unbroken run wrote blocks at " + std::to_string(times.size()) + " times, not 3";
    return r;
  }
  r.restartTime = times[1];
  r.firstTime = rb.empty() ? "" : rb.front().time;
  std::map<std::tuple<std::string, std::string, std::string>, const Block*> later;
  std::map<std::pair<std::string, std::string>, const Block*> restored;  // the first output
  std::set<std::pair<std::string, std::string>> initial;                // the unbroken run's first output
  for (const Block& k : rb) {
    if (std::stod(k.time) < std::stod(times[1])) r.earlierBlocks = true;
    if (k.time == times[2]) later[{k.name, k.label, k.time}] = &k;
    if (k.time == r.firstTime && !restored.count({k.name, k.label})) restored[{k.name, k.label}] = &k;
  }
  for (const Block& k : wb)
    if (k.time == times[0]) initial.insert({k.name, k.label});
  for (const Block& k : wb) {
    const std::string where = "block " + k.name + " at " + k.time;
    if (k.time == times[1]) {
      // Every block of the restarted run's first output is the restored state of step N.
      const auto at = restored.find({k.name, k.label});
      if (at == restored.end() || at->second->time != k.time) note(INFINITY, 1, where + " (no restored block)");
      else compareValues(k.values, at->second->values, where + " (restored)"), restored.erase(at);
      continue;
    }
    if (k.time != times[2]) continue;
    const auto at = later.find({k.name, k.label, k.time});
    if (at == later.end()) {
      note(INFINITY, 1, where + " (missing after the restart)");
      continue;
    }
    compareValues(k.values, at->second->values, where);
    later.erase(at);
  }
  // What else the first output holds is the initial data, as the unbroken run's first output.
  for (const auto& [key, block] : restored)
    if (!initial.count(key)) note(INFINITY, 1, "block " + block->name + " only in the restarted run's first output");
  for (const auto& [key, block] : later) note(INFINITY, 1, "block " + block->name + " only after the restart");

  // Tables: the lines of the steps after N, column by column; the sink-and-trim table whole.
  for (const char* ext : {"c.dat.for", "c.dat.mov", "c.dat.sat"}) {
    const bool sat = std::string(ext) == "c.dat.sat";
    std::vector<std::string> x = Lines(a.read(ext)), y = Lines(b.read(ext));
    if (!sat && x.size() >= std::size_t(n)) x.erase(x.begin(), x.end() - n);
    if (x.size() != y.size()) {
      note(INFINITY, 1, std::string(ext) + " (" + std::to_string(y.size()) + " lines, not " + std::to_string(x.size()) + ")");
      continue;
    }
    // The scale of a value: the largest of its column, or of its line in the sink-and-trim table,
    // whose lines are of different kinds.
    std::vector<double> scale;
    for (const std::string& l : x) {
      const std::vector<std::string> f = Fields(l);
      if (scale.size() < f.size()) scale.resize(f.size(), 0.0);
      for (std::size_t k = 0; k < f.size(); ++k) {
        double v;
        if (Number(f[k], v)) scale[k] = std::max(scale[k], std::fabs(v));
      }
    }
    auto lineScale = [](const std::vector<std::string>& f) {
      double m = 0, v;
      for (const std::string& w : f)
        if (Number(w, v)) m = std::max(m, std::fabs(v));
      return m;
    };
    for (std::size_t i = 0; i < x.size(); ++i) {
      const std::vector<std::string> f = Fields(x[i]), g = Fields(y[i]);
      const std::string where = std::string(ext) + " line " + std::to_string(i + 1);
      if (f.size() != g.size()) {
        note(INFINITY, 1, where + " (other fields)");
        continue;
      }
      for (std::size_t k = 0; k < f.size(); ++k) {
        double u, v;
        if (Number(f[k], u) && Number(g[k], v)) note(std::fabs(u - v), sat ? lineScale(f) : scale[k], where);
        else if (f[k] != g[k]) note(INFINITY, 1, where + " (" + g[k] + " for " + f[k] + ")");
      }
      ++r.compared;
    }
  }

  // The restart files of step 2N, every value to its last digit.
  const std::string ra = a.read("c.dat.rst"), rr = b.read("c.dat.rst");
  if (RstFrame(ra) != RstFrame(rr)) note(INFINITY, 1, "restart frame");
  const auto ea = Entries(ra), er = Entries(rr);
  for (const auto& [key, v] : ea) {
    const auto at = er.find(key);
    if (at == er.end()) {
      note(INFINITY, 1, "restart entry " + key + " (missing)");
      continue;
    }
    compareValues({v}, {at->second}, "restart entry " + key);
  }
  if (ea.size() != er.size()) note(INFINITY, 1, "restart entries (other count)");
  return r;
}

}  // namespace olvu_test
