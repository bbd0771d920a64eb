// The solid domain's side of the coupling link: its mechanical strain sent at the coupling step.
#include "coupling/coupling.h"
#include "domain/soliddomain.h"
#include "foundation/alloc.h"
#include "foundation/clock.h"
#include "foundation/declarations.h"
#include "foundation/error.h"
#include "input/types.h"

void SolidDomain::SolveKelvarid() {
  if (!Solves(PKelvarid)) return;
  Clock clock("Sending information to Kelvarid");
  const int every = CouplingStep();
  if (every <= 0 || Current_Step % every != 0 || (Current_Step <= 0 && Number_of_Steps != 1)) return;
  const int total = int(GlobalToSolid.length());
  // Both vectors live only for this send: the pool is rewound before and after it.
  AllocReset();
  ReaVecM strain(unsigned(numNodes), 0.0);
  EvalDomainFunction(DofType::MechanicalStrain, strain);
  ReaVecM values(unsigned(total), 0.0);
  const int* toSolid = &GlobalToSolid[0];
  const double* s = &strain[0];
  double* v = &values[0];
  for (int i = 0; i < total; ++i)
    if (toSolid[i] > 0) v[i] = s[toSolid[i] - 1];
  char message[kCouplingMessageSize];
  const int sent = SendCouplingData(2, Total_Time, total, v, message);
  AllocReset();
  if (sent == -1) OLVU_FATAL(message << "\n");
  OLVU_NOTICE("Kelvarid information sent successfully !");
}
