// The 3x3-node cavity of tests/driver/data with its (empty) Boundary block, for tests that build
// their own variants of it.
#pragma once

#include <string>

#include "tests/driver/run_olvu.h"

namespace olvu_test {

/// The fluid's Boundary block that imposes nothing.
inline constexpr char kEmptyBoundary[] = "Boundary;\nBoundaryUnits Length [m] Time [s] Mass [Kg];\nEndBoundary;\n";

/// The cavity data file, with an empty Boundary block after the fluid's sets when it has none.
inline std::string CavityData() {
  const std::string data = DataFile("cavity");
  if (data.find("EndBoundary;") != std::string::npos) return data;
  return Replace(data, "EndElmSets;\nTotalDefinition;", std::string("EndElmSets;\n") + kEmptyBoundary + "TotalDefinition;");
}

/// The cavity with its general-data card replaced by `general`.
inline std::string CavityGeneral(const std::string& general) {
  return Replace(CavityData(), "GeneralData Number_of_Steps 2 Time_Increment \"0.1\" [s] OutPut_Step 1 Max_Iterations 3;",
                 general);
}

}  // namespace olvu_test
