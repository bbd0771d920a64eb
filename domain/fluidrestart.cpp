// The fluid domain's block of the restart file: its solution vectors as named text vectors, each
// value written so that it reads back exactly.
#include <strings.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "domain/fluiddomain.h"
#include "domain/phiproblem.h"
#include "domain/restartentry.h"
#include "foundation/declarations.h"
#include "foundation/error.h"
#include "input/input.h"
#include "input/line.h"
#include "solvers/sparsematrix.h"

namespace {

// Digits after the point of every value: 17 significant digits give each double back exactly, so
// that a restarted run goes on as the unbroken one would have, to its last bit.
constexpr int kDigits = 16;

// When a key is written: always (when its vector is sized), only beside wall laws, or never.
enum class Written { Always, WallLaws, Never };

struct RestartKey {
  const char* key;
  int id;
  Written written;
  const char* absent = nullptr;  // of an entry older programs did not write: what the run does without it
};

constexpr Written kAlways = Written::Always, kNever = Written::Never;
constexpr const char* kAsSetUp = "the run starts it as its set-up gives it";
constexpr const char* kShownAsSetUp = "the first results show it as the set-up gives it";
constexpr const char* kRebuilt = "it is rebuilt from the restored velocity";

// The keys in the order they are written; the previous-step keys are only read. The wall
// distance and the wall-law factor are carried from step to step where wall laws act: the distance
// follows the first-node distance of the laws, which the factor of the last wall-law solve and
// the velocity the step ends with set. The stabilisation parameter is that of the step's last
// solve, the kept vorticity that of the velocity the step ends with, which the step's results
// show: the restarted run's first results show them again.
constexpr RestartKey RestartKeys[] = {
    {"_VeltX_", VelX, kAlways},    {"_VeltY_", VelY, kAlways},    {"_VeltZ_", VelZ, kAlways},
    {"_Prest_", Pres, kAlways},    {"_Tempt_", Temp, kAlways},    {"_ViscT_", TVisc, kAlways},
    {"_VT_t_", SAVar, kAlways},    {"_KEn_t_", KEnergy, kAlways}, {"_Eps_t_", Epsilon, kAlways},
    {"_Ome_t_", Omega, kAlways},   {"_KT_t_", KTau, kAlways},     {"_Ene_t_", EnergyV, kAlways},
    {"_Pse_t_", Pseudo, kAlways},  {"_MestX_", MeshX, kAlways},   {"_MestY_", MeshY, kAlways},
    {"_MestZ_", MeshZ, kAlways},   {"_MaccX_", MeshX0, kAlways},  {"_MaccY_", MeshY0, kAlways},
    {"_MaccZ_", MeshZ0, kAlways},  {"_VtdtX_", VelX0, kNever},    {"_VtdtY_", VelY0, kNever},
    {"_VtdtZ_", VelZ0, kNever},    {"_P_tdt_", Pres0, kNever},    {"_Tmtdt_", Temp0, kNever},
    {"_VTtdt_", SAVar0, kNever},   {"_KEtdt_", KEnergy0, kNever}, {"_Eptdt_", Epsilon0, kNever},
    {"_Omtdt_", Omega0, kNever},   {"_KTtdt_", KTau0, kNever},    {"_Entdt_", EnergyV0, kNever},
    {"_Pstdt_", Pseudo0, kNever},
    {"_WDist_", WallDist, Written::WallLaws, kAsSetUp},
    {"_WFact_", WallFactor, Written::WallLaws, kAsSetUp},
    {"_TauV_", TauV, kAlways, kShownAsSetUp},
    {"_Vort_", Vorticity, kAlways, kRebuilt},
};

// The key of the turbulence fields' extremes that the limits were set from.
constexpr const char* kExtremesKey = "_Refs_";

// The key of the pseudo-step that a run's long steps iterate in once their velocity kept its
// divergence: it stays with the run, so a restart goes on with it. Written only while it is taken.
constexpr const char* kPseudoStepKey = "_PStep_";

// True when the domain writes the entry of key k: a wall-law entry only where wall laws act (the
// nearest wall node of every node is known then).
bool Writes(FluidDomain& d, const RestartKey& k) {
  if (k.written == Written::WallLaws) return d.NearestWallNode().length() == unsigned(d.numNodes);
  return k.written == Written::Always;
}

// The key that `word` names, alone or glued to its "len" word; null when none.
const RestartKey* KeyOf(const char* word, bool& glued) {
  for (const RestartKey& k : RestartKeys) {
    const std::size_t n = std::strlen(k.key);
    if (strncasecmp(word, k.key, n) != 0) continue;
    if (word[n] == '\0') return glued = false, &k;
    if (strcasecmp(word + n, "len") == 0) return glued = true, &k;
  }
  return nullptr;
}

// Reads the restart entry `key` ("_Phi_t_", "_Phtdt_", "_Con_t_", "_Cntdt_") of a problem of d;
// gives the entry with its problem's index.
std::string ReadProblemRestart(FluidDomain& d, Input* in, const char* key, bool species) {
  // The number must name a problem of this domain: numbers below 1 and missing problems are refused.
  const int n = in->GetInt(key);
  PhiProblem* p = nullptr;
  if (n >= 1) {
    if (species) p = d.SpcProblems().free(n) ? nullptr : d.SpcProblems().get_at(n);
    else p = d.PhiProblems().free(n) ? nullptr : d.PhiProblems().get_at(n);
  }
  if (!p) OLVU_FATAL("Restart data error. Wrong vector ID for " << (species ? "Concentration" : "Phi") << ".\n");
  const bool current = strcasecmp(key, species ? "_Con_t_" : "_Phi_t_") == 0;
  ReaVec& v = current ? p->Phi_t() : p->Phtdt();
  const std::string entry = std::string(key) + " " + std::to_string(n);
  RestartEntryLength(in, d.DomainName(), entry, v.length());
  in->GetAsciiReaVec(v, -1, "len");
  // The step goes on from the restarted field unless a previous-step entry follows.
  if (current) p->Phtdt() = v;
  return entry;
}

// Reads the entry of the turbulence fields' extremes: each a size, finite and not negative. A
// domain without turbulence has no limits to set from them.
void ReadExtremes(FluidDomain& d, Input* in, bool turbulence) {
  ReaVec e;
  RestartEntryLength(in, d.DomainName(), kExtremesKey, FluidDomain::kTurbulenceExtremes);
  in->GetAsciiReaVec(e, 1, "len");
  for (unsigned i = 1; i <= e.length(); ++i)
    if (!std::isfinite(e(i)) || e(i) < 0)
      OLVU_FATAL("Restart data error. Wrong " << kExtremesKey << " entry: value " << i << " (" << e(i)
                                              << ") is no size of a field.\n");
  if (turbulence) d.TurbulenceExtremes() = e;
}

// Reads the entry of the pseudo-step: one time, finite and above 0.
void ReadPseudoStep(FluidDomain& d, Input* in) {
  ReaVec t;
  RestartEntryLength(in, d.DomainName(), kPseudoStepKey, 1);
  in->GetAsciiReaVec(t, 1, "len");
  if (!(std::isfinite(t(1)) && t(1) > 0))
    OLVU_FATAL("Restart data error. Wrong " << kPseudoStepKey << " entry of " << d.DomainName() << ": the pseudo-step ("
                                            << t(1) << ") is no time increment.\n");
  d.SetPseudoStep(t(1));
}

// The problem-wide number of domain node j, as messages name it.
int NodeNumber(FluidDomain& d, unsigned j) { return d.allNodes->get_at(d.ToGlobal()(j))->num[0]; }

// The largest stabilisation parameter a step gives: an element at rest takes half of theta dt
// (theta at most 1), a moving one at most half its extent over its speed, which is at least 1e-3
// of the problem's largest and so at least 1e-9 (below a largest speed of 1e-6 every element
// counts as at rest). The extent is bounded by the diagonal of the box holding the mesh where the
// step solved on it and where it ended. With an advection norm a step may keep the parameter of
// an earlier step of another increment: no bound then.
double LargestTau(FluidDomain& d) {
  if (d.AdvectionNorm() > 0) return INFINITY;
  const bool moved = d.Solves(PMeshDeform) && d.Var(MeshX0).length() == unsigned(d.numNodes) &&
                     d.Var(MeshX).length() == unsigned(d.numNodes);
  double lo[3] = {INFINITY, INFINITY, INFINITY}, hi[3] = {-INFINITY, -INFINITY, -INFINITY};
  for (unsigned j = 1; j <= unsigned(d.numNodes); ++j) {
    const Node& nd = *d.allNodes->get_at(d.ToGlobal()(j));
    for (int c = 0; c < 3; ++c) {
      const double x = nd(unsigned(c + 1)), end = moved ? x + d.Var(MeshX0 + c)(j) : x;
      const double start = moved ? end - d.Var(MeshX + c)(j) : x;
      lo[c] = std::min({lo[c], x, start, end});
      hi[c] = std::max({hi[c], x, start, end});
    }
  }
  double diagonal = 0;
  for (int c = 0; c < 3; ++c)
    if (hi[c] > lo[c]) diagonal += (hi[c] - lo[c]) * (hi[c] - lo[c]);
  return std::max(0.5 * Ref_Time_Increment, 5e8 * std::sqrt(diagonal));
}

// Ends the run at the first restored stabilisation parameter no step gives: negative, or beyond
// the largest (with room for the rounding of the nodal averages).
void CheckTau(FluidDomain& d) {
  const ReaVec& tau = d.Var(TauV);
  const double largest = LargestTau(d);
  for (unsigned j = 1; j <= tau.length(); ++j)
    if (!(tau(j) >= 0 && tau(j) <= largest * (1 + 1e-6)))
      OLVU_FATAL("Restart data error. Wrong _TauV_ entry of "
                 << d.DomainName() << ": the stabilisation parameter of node " << NodeNumber(d, j) << " ("
                 << tau(j) << ") lies outside those a step gives, 0 to " << largest << ".\n");
}

// Ends the run at the first restored vorticity that is not the curl of the restored velocity, as
// the step built it at its end. Each velocity value written to six digits moves a gradient by at
// most 5e-6 of the sum of |G_ij| |u_j| over its row: twice that over the six gradients of the
// curl is the room left. On a mesh the restart moves the mesh's own matrices stand elsewhere: a
// vorticity is then only no negative number.
void CheckVorticity(FluidDomain& d) {
  const ReaVec& w = d.Var(Vorticity);
  const unsigned n = w.length();
  const char* wrong = "Restart data error. Wrong _Vort_ entry of ";
  if (d.Solves(PMeshDeform) || !d.SystemMatrix(2) || d.Var(VelX).length() != n) {
    for (unsigned j = 1; j <= n; ++j)
      if (!(w(j) >= 0))
        OLVU_FATAL(wrong << d.DomainName() << ": the vorticity of node " << NodeNumber(d, j) << " (" << w(j)
                         << ") is negative.\n");
    return;
  }
  ReaVec rebuilt(n, 0.0), speed(n, 0.0), room(n, 0.0);
  d.CalcVorticity(rebuilt);
  speed.norm(d.Var(VelX), d.Var(VelY), d.Var(VelZ));
  for (int b = 2; b <= 4; ++b) {
    const SystemSparseMatrix* g = d.SystemMatrix(b);
    if (!g) continue;
    for (unsigned j = 1; j <= n; ++j) {
      const int* col = g->col_vec(int(j - 1));
      const double* val = g->val_vec(int(j - 1));
      for (int k = 0, m = g->row_size(int(j - 1)); k < m; ++k) room(j) += std::fabs(val[k]) * speed(unsigned(col[k] + 1));
    }
  }
  const ReaVec& inv = d.InvLumpedMass();
  for (unsigned j = 1; j <= n; ++j) {
    const double tolerance = 2e-5 * room(j) * std::fabs(inv(j)) + 1e-12 * rebuilt(j);
    if (!(std::fabs(w(j) - rebuilt(j)) <= tolerance))
      OLVU_FATAL(wrong << d.DomainName() << ": the vorticity of node " << NodeNumber(d, j) << " (" << w(j)
                       << ") is not that of the restored velocity, " << rebuilt(j) << ".\n\tA file of an older "
                       << "program holds the vorticity of its last step's start: without the entry it reads with a "
                       << "notice, and the vorticity is rebuilt from the restored velocity.\n");
  }
}

}  // namespace

int RestartEntryLength(Input* in, const char* owner, const std::string& entry, unsigned expected, const char* lenWord) {
  const int found = in->GetInt(lenWord);
  if (found >= 0 && (expected == 0 || unsigned(found) == expected)) return found;
  OLVU_FATAL("Wrong data found in Restart file. Cannot restart.\n\tEntry "
             << entry << " of " << owner << ": "
             << (expected ? std::to_string(expected) + " values" : std::string("a length of 0 or more"))
             << " expected, " << found << " found.\n");
}

void AbsentRestartNotice(const char* owner, const std::string& key, const char* instead, bool older) {
  OLVU_NOTICE(owner << ": Restart file holds no entry " << key << (older ? " (an older file): " : ": ") << instead);
}

void OlderRestartNotice(const char* owner, const char* key, const char* instead) {
  AbsentRestartNotice(owner, key, instead, true);
}

void FluidDomain::OutputRestart(std::ostream& out, const char* name) {
  out << name << ";\n";
  for (const RestartKey& k : RestartKeys) {
    if (!Writes(*this, k) || vars_[k.id].length() == 0) continue;
    out << "\t";
    vars_[k.id].WriteAscii(out, k.key, kDigits);
  }
  if (Solves(PTurbulence) && turbulenceExtremes_.length() == kTurbulenceExtremes) {
    out << "\t";
    turbulenceExtremes_.WriteAscii(out, kExtremesKey, kDigits);
  }
  if (pseudoStep_ > 0) {
    ReaVec t(1, pseudoStep_);
    out << "\t";
    t.WriteAscii(out, kPseudoStepKey, kDigits);
  }
  int i = 0;
  if (Solves(PTranspiration))
    while (Mesh* m = freeMeshes_.next(i)) {
      out << "\t_Beta_t_ " << m->Num() << "\t";
      parts_->Elevation(i).WriteAscii(out, "", kDigits);
    }
  // The problems' fields carry their index; the previous-step values are not written.
  auto write = [&](const char* key, PhiProblem& p) {
    if (p.Phi_t().length() == 0) return;
    out << "\t" << key << " " << p.Index() << "\t";
    p.Phi_t().WriteAscii(out, "", kDigits);
  };
  int k = 0;
  while (PhiProblem* p = phi_.next(k)) write("_Phi_t_", *p);
  k = 0;
  while (SpcProblem* p = species_.next(k)) write("_Con_t_", *p);
  parts_->WriteSetsRestart(out, kDigits);
  out << "End" << name << ";\n";
}

void FluidDomain::ReadRestart(Input* in, const char* name) {
  in->ReadCard(name);
  in->ReadLine();
  const std::string end = std::string("End") + name;
  // The entries the writer writes for this domain, what the run does without each, whether an
  // older program did not write it, and whether this file gave it.
  struct Missing {
    std::string key;
    const char* instead;
    bool older;
  };
  std::vector<Missing> missing;
  if (Solves(PTurbulence)) missing.push_back({kExtremesKey, "the turbulence limits are set from the restored fields", true});
  for (const RestartKey& k : RestartKeys)
    if (Writes(*this, k) && vars_[k.id].length()) missing.push_back({k.key, k.absent ? k.absent : kAsSetUp, bool(k.absent)});
  int f = 0;
  if (Solves(PTranspiration))
    while (Mesh* m = freeMeshes_.next(f)) missing.push_back({"_Beta_t_ " + std::to_string(m->Num()), kAsSetUp, false});
  auto problems = [&](const char* key, auto& table) {
    int k = 0;
    while (PhiProblem* p = table.next(k))
      if (p->Phi_t().length()) missing.push_back({std::string(key) + " " + std::to_string(p->Index()), kAsSetUp, false});
  };
  problems("_Phi_t_", phi_);
  problems("_Con_t_", species_);
  bool tauRead = false, vorticityRead = false;
  ReaVec meshDistance;  // the wall distance the mesh gives, once a restored one is read
  auto named = [](const std::string& key) {
    return [key](const Missing& m) { return strcasecmp(m.key.c_str(), key.c_str()) == 0; };
  };
  auto given = [&](const std::string& key) { std::erase_if(missing, named(key)); };
  while (!in->Exist(end.c_str())) {
    const char* word = in->FirstWord();
    bool glued = false;
    const RestartKey* k = KeyOf(word, glued);
    if (!k && parts_->ReadSetsRestart(in, word)) {
      in->ReadLine();
      continue;
    }
    if (!k && strcasecmp(word, kExtremesKey) == 0) {
      ReadExtremes(*this, in, Solves(PTurbulence));
      given(kExtremesKey);
      in->ReadLine();
      continue;
    }
    if (!k && strcasecmp(word, kPseudoStepKey) == 0) {
      ReadPseudoStep(*this, in);
      in->ReadLine();
      continue;
    }
    if (!k) {
      const bool species = strcasecmp(word, "_Con_t_") == 0 || strcasecmp(word, "_Cntdt_") == 0;
      if (species || strcasecmp(word, "_Phi_t_") == 0 || strcasecmp(word, "_Phtdt_") == 0) {
        given(ReadProblemRestart(*this, in, word, species));
        in->ReadLine();
        continue;
      }
      if (strcasecmp(word, "_Beta_t_") == 0) {
        const int n = in->GetInt("_Beta_t_");
        if (n < 1 || freeMeshes_.free(n)) OLVU_FATAL("Restart data error. Wrong vector ID for Wave Elevation.\n");
        ReaVec& beta = parts_->Elevation(n);
        RestartEntryLength(in, name_, "_Beta_t_ " + std::to_string(n), beta.length());
        in->GetAsciiReaVec(beta, Solves(PTranspiration) ? 1 : -1);
        given("_Beta_t_ " + std::to_string(n));
        in->ReadLine();
        continue;
      }
      OLVU_FATAL("FluidDomain::ReadRestart Command " << word << " unknown\n");
    }
    // A vector the domain does not use is skipped (its entry comes from another problem); one it
    // uses must have its length.
    const std::string lenWord = glued ? std::string(word) : std::string("len");
    const unsigned have = vars_[k->id].length();
    RestartEntryLength(in, name_, k->key, have, lenWord.c_str());
    // The wall distance the mesh gives, which with the wall nodes' restored values gives the others'.
    if (k->id == WallDist && have && !meshDistance.length()) meshDistance = vars_[WallDist];
    in->GetAsciiReaVec(vars_[k->id], -1, lenWord.c_str());
    if (!have) OLVU_NOTICE(name_ << ": Restart entry " << k->key << " skipped: this problem has no such field");
    given(k->key);
    tauRead = tauRead || (k->id == TauV && have);
    vorticityRead = vorticityRead || (k->id == Vorticity && have);
    // A distance or a wall-law factor is no negative number (the friction velocity is its root).
    if (k->written == Written::WallLaws && have)
      for (unsigned j = 1; j <= have; ++j)
        if (vars_[k->id](j) < 0)
          OLVU_FATAL("Restart data error. Wrong " << k->key << " entry: the value of node " << j << " ("
                                                  << vars_[k->id](j) << ") is negative.\n");
    // Without a pressure solve there is no pressure, and no imposed pressure to take it.
    if (k->id == Pres && have && PreviousPressure().length() == have)
      for (int j = 1; j <= numNodes; ++j)
        if (!Marked(FixPres, j)) PreviousPressure()(unsigned(j)) = vars_[Pres](unsigned(j));
    in->ReadLine();
  }
  // A y+ wall node's restored distance stands on the restored wall-law factor and velocity, and on
  // a viscosity the file does not hold: the set-up's, unless it changes from step to step.
  auto lacks = [&](const char* key) { return std::any_of(missing.begin(), missing.end(), named(key)); };
  const bool factors = !lacks("_WFact_") && !lacks("_VeltX_") && !lacks("_VeltY_") &&
                       (Dimension_Olvu != 3 || !lacks("_VeltZ_"));
  const bool exact = factors && !VariesInTime(DofType::Viscosity) && !VariesInTime(DofType::Density);
  for (const Missing& m : missing) AbsentRestartNotice(name_, m.key, m.instead, m.older);
  // The step's stabilisation parameter, wall distance and kept vorticity, once the velocity and
  // the wall-law factor they stand on are read too.
  if (tauRead) CheckTau(*this);
  if (meshDistance.length()) parts_->CheckWallDistance(meshDistance, exact);
  if (vorticityRead) CheckVorticity(*this);
  // Without the entry the set-up rebuilds the vorticity from the restored velocity.
  vorticityRestored_ = vorticityRead;
  parts_->FinishSetsRestart();
}
