// The wall-law seam of the body sets while the law classes are not part of the program: the wall
// types that need a solved law stop with the program's "not available" message, the others need
// no law object.
#include "bodies/walllaw.h"

#include "foundation/error.h"

WallLaw* CreateWallLaw(int code, const char* keyword, Input*) {
  switch (code) {
    case 2: case 3: case 4: case 7: case 8: case 9:
      OLVU_FATAL(keyword << " not available in this build\n");
    default:
      return nullptr;
  }
}

// No law object exists, so the calls below are never reached with one; they answer as a wall
// without friction would.
void WallLawLimits(WallLaw*, double, double) {}
double WallLawSolve(WallLaw*, double, double) { return 0; }
double WallLawStress(WallLaw*, double, double) { return 0; }
double WallLawGiveY(WallLaw*) { return 0; }
double WallLawGiveYplus(WallLaw*) { return 0; }
void WallTurbulenceFromLength(double, double, double, double& eps, double& omega, double& kt, double& nut) {
  eps = omega = kt = nut = 1e-14;
}
