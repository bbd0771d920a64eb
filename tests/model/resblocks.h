// Reading result blocks back out of a .res text in the tests of the fluid domain's runs.
#pragma once

#include <cstdlib>
#include <string>

namespace olvu_test {

/// The value lines of the block `name` with label `label` at time `t` ("" when absent).
inline std::string BlockAt(const std::string& res, const std::string& name, const std::string& t,
                           const std::string& label = "QUELMA") {
  const auto at = res.find("Result \"" + name + "\" \"" + label + "\" " + t + " ");
  if (at == std::string::npos) return "";
  const auto values = res.find("Values\n", at) + 7;
  return res.substr(values, res.find("End Values", values) - values);
}

/// Openings of the timing section `name` in a .tim table: the last number of its first row (0 when
/// absent).
inline int TimingUses(const std::string& tim, const std::string& name) {
  const auto at = tim.find(". " + name + " ");
  if (at == std::string::npos) return 0;
  const std::string row = tim.substr(at, tim.find('\n', at) - at);
  return std::atoi(row.c_str() + row.rfind(' ') + 1);
}

/// The value lines of the block `name` at time 0.
inline std::string InitialBlock(const std::string& res, const std::string& name) { return BlockAt(res, name, "0"); }

}  // namespace olvu_test
