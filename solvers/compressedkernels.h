// Triangular solves and products on raw compressed sparse arrays.
//
// A triangle is given by val (values), indx (row numbers in column storage,
// column numbers in row storage) and pntr (entries of column/row j are
// pntr[j] .. pntr[j+1]-1). The index base is pntr[0], so 0-based and 1-based
// arrays both work. Right-hand sides b are addressed from their first element;
// the solution c is addressed with the index base: unknown i of vector k is
// c[k*ldc + i + base - 1], so a caller with 0-based arrays passes the address
// one past the start of its solution. When b and that first solution entry
// coincide the solve runs in place.
#pragma once

#include "solvers/trischedule.h"

/// Lower column triangle, diagonal stored first in each column: solves L c = alpha b.
int CompCol_LowerDiagSolve(int m, int n, int unitd, const double* dv, double alpha, const double* val,
                           const int* indx, const int* pntr, const double* b, int ldb, double* c, int ldc);
/// Lower column triangle with unit diagonal (not stored).
int CompCol_LowerUnitSolve(int m, int n, int unitd, const double* dv, double alpha, const double* val,
                           const int* indx, const int* pntr, const double* b, int ldb, double* c, int ldc);
/// Upper column triangle, diagonal stored last in each column.
int CompCol_UpperDiagSolve(int m, int n, int unitd, const double* dv, double alpha, const double* val,
                           const int* indx, const int* pntr, const double* b, int ldb, double* c, int ldc);
/// Upper column triangle with unit diagonal (not stored).
int CompCol_UpperUnitSolve(int m, int n, int unitd, const double* dv, double alpha, const double* val,
                           const int* indx, const int* pntr, const double* b, int ldb, double* c, int ldc);
/// Lower row triangle, diagonal stored last in each row.
int CompRow_LowerDiagSolve(int m, int n, int unitd, const double* dv, double alpha, const double* val,
                           const int* indx, const int* pntr, const double* b, int ldb, double* c, int ldc);
/// Lower row triangle with unit diagonal (not stored).
int CompRow_LowerUnitSolve(int m, int n, int unitd, const double* dv, double alpha, const double* val,
                           const int* indx, const int* pntr, const double* b, int ldb, double* c, int ldc);
/// Upper row triangle, diagonal stored first in each row.
int CompRow_UpperDiagSolve(int m, int n, int unitd, const double* dv, double alpha, const double* val,
                           const int* indx, const int* pntr, const double* b, int ldb, double* c, int ldc);
/// Upper row triangle with unit diagonal (not stored).
int CompRow_UpperUnitSolve(int m, int n, int unitd, const double* dv, double alpha, const double* val,
                           const int* indx, const int* pntr, const double* b, int ldb, double* c, int ldc);

/// Column-compressed triangular solve: checks the descriptor (kind, triangle, diagonal) and
/// dispatches; transa 0 solves with the triangle, 1 or 2 with its transpose. work is not used.
void dcscsm(const int& transa, const int& m, const int& n, const int& unitd, const double* dv,
            const double& alpha, const int* descra, const double* val, const int* indx, const int* pntr,
            const double* b, const int& ldb, const double& beta, double* c, const int& ldc, double* work,
            const int& lwork);
/// Row-compressed triangular solve, same arguments as dcscsm.
void dcsrsm(const int& transa, const int& m, const int& n, const int& unitd, const double* dv,
            const double& alpha, const int* descra, const double* val, const int* indx, const int* pntr,
            const double* b, const int& ldb, const double& beta, double* c, const int& ldc, double* work,
            const int& lwork);

/// The triangle (val, indx, pntr: 0-based rows), lower (with a unit diagonal or not) or upper
/// (not unit), of rows with the diagonal last (lower) or first (upper) unless unit, solved for
/// x = A^-1 b on the threads of its schedule s, each row after the rows it depends on. x holds
/// bitwise what the row kernels give with alpha 1 on the triangle. b may be x.
void ScheduledRowSolve(bool lower, bool unit, const RowSchedule& s, const double* val, const int* indx,
                       const int* pntr, const double* b, double* x);

/// c += alpha A b for every vector, A in column storage with ncols columns (scatter).
void CompColMatVec(int nrows, int nvec, int ncols, const double& alpha, const double* val, const int* indx,
                   const int* pntr, const double* b, int ldb, double* c, int ldc);
/// c += alpha A b for every vector, A in row storage with nrows rows (gather).
void CompRowMatVec(int ncols, int nvec, int nrows, const double& alpha, const double* val, const int* indx,
                   const int* pntr, const double* b, int ldb, double* c, int ldc);
