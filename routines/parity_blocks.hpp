// The K-parity blocks of the symmetric-top basis |J K>, K = -J..J.  The
// asymmetric-top Hamiltonian couples K only to K and K +- 2, so the states of
// one J split into an even-K and an odd-K block; row k (0-based) of a block
// belongs to K = first K + 2k.  The Wigner values a density needs are those
// of pairs (K1, K2) inside one block.
#pragma once

namespace routines {

// The largest J the basis may reach, and with it every table indexed by J:
// the programs refuse a larger jmax.
inline constexpr int jmax_limit = 876;

enum class parity { even, odd };

inline constexpr parity both_parities[] = {parity::even, parity::odd};

// For even J the even block runs from K = -J (J + 1 states) and the odd one
// from 1 - J (J states); for odd J the other way round.  J = 0 has no odd
// state.
inline int block_first_k(int j, parity p)
{
    const bool starts_at_minus_j = (j % 2 == 0) == (p == parity::even);
    return starts_at_minus_j ? -j : 1 - j;
}
inline int block_order(int j, parity p)
{
    const bool starts_at_minus_j = (j % 2 == 0) == (p == parity::even);
    return starts_at_minus_j ? j + 1 : j;
}

// 0 for even, 1 for odd: the index of a parity in tables kept per parity.
inline int parity_index(parity p) { return p == parity::even ? 0 : 1; }

}  // namespace routines
