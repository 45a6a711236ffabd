// Scratch of the connection-chain walks (polyline/chains.cpp), also lent to
// the joint flood of polyline/joints.cpp as a plain stack.
#ifndef KTVEC_POLYLINE_CHAINS_H
#define KTVEC_POLYLINE_CHAINS_H

#include "ktvec.h"

namespace ktv {

// Room for `count` ints of stack, for a walk that keeps no visited stamps;
// null when memory is short.  Valid until the next walk.
int *chain_stack(CKTVector &v, int count);

}  // namespace ktv

#endif
