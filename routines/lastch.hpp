// Length of a blank-padded character buffer.
#pragma once

namespace routines {

// The 1-based position of the last character among s[0..n-1] that is not a
// space; 0 when all are spaces or n <= 0.  Only ' ' counts as blank.
int lastch(const char* s, int n);

}  // namespace routines
