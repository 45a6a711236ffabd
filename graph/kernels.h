// Piece finders of the approximation kernels, exposed inside the library so
// that tests can drive them on hand-made chains.
//
// A piece starts at chain[0] and grows point by point while the area between
// the points and the chord from chain[0] stays small compared with the
// chord's length: point i passes while |S_i / L_i| <= tolerance, where S_i
// is twice the signed area enclosed by chain[0..i] and the chord back to
// chain[0], and L_i the chord length.
#ifndef KTVEC_GRAPH_KERNELS_H
#define KTVEC_GRAPH_KERNELS_H

#include "ktvec.h"

namespace ktv {

// One piece for the L1 kernel over the n points chain[0..n-1]: the index of
// its end point; *sum gets its accumulated S (including the term of the
// point that failed, if one did).
int approximatepiece(double tolerance, double *sum, int n, _KTPOINT **chain);

// One piece for the L2 and L3 kernels.  worksums[i-2] = S_i and
// workdeviations[i-2] = D_i (the signed distance of chain[i-1] from the
// chord to chain[i]) for every point examined.  Returns checkcorner()'s
// answer (result[0] = end index k, and with 2 or 3 the bend positions in
// result[1], result[2]); 1 without writing result for a two-point chain,
// 0 for a shorter one.
int approximatepiece2(double tolerance, int n, _KTPOINT **chain, double *worksums,
                      double *workdeviations, int *result);

// Looks for a bend near the end of a piece ending at index k: 1 = none
// (result[0] = k), 2 = cut back to result[1], 3 = additionally a vertex at
// result[2].
int checkcorner(double tolerance, int k, double *workdeviations, int *result);

}  // namespace ktv

#endif
