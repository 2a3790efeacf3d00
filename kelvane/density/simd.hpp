// Lanes of points (or columns) carried in native vectors, and the vector
// width chosen at run time.
//
// A group of N lanes is carried as N / W vectors of W doubles (GCC vector
// extensions).  Every operation acts lane by lane, so a lane sees exactly the
// roundings of a single point, and the vector width only decides how many
// lanes share an instruction: IEEE addition and multiplication round the
// same in every instruction set, and no multiply-add is ever formed
// (-ffp-contract=off).  The baseline (SSE2, W = 2), AVX2 (W = 4) and AVX-512
// (W = 8) forms of a kernel therefore give the same bits.
//
// A file that instantiates the wider forms sees GCC's note on the calling
// convention of vector arguments; no vector crosses a call (every kernel is
// inlined into the form compiled for its target), so it does not apply.
#pragma once

namespace kelvane {

enum class simd_path { baseline, avx2, avx512 };

inline bool simd_path_available(simd_path path)
{
    switch (path) {
    case simd_path::baseline: return true;
    case simd_path::avx2: return __builtin_cpu_supports("avx2");
    case simd_path::avx512: return __builtin_cpu_supports("avx512f");
    }
    return false;
}

inline simd_path best_simd_path()
{
    if (simd_path_available(simd_path::avx512)) return simd_path::avx512;
    if (simd_path_available(simd_path::avx2)) return simd_path::avx2;
    return simd_path::baseline;
}

// N lanes as `count` vectors of W doubles.
template <int W, int N>
struct lanes {
    static_assert(N % W == 0);
    typedef double v __attribute__((vector_size(W * sizeof(double)), aligned(8), may_alias));
    static constexpr int count = N / W;
};

// W doubles at p, read or written in place (no alignment asked).
template <int W>
inline __attribute__((always_inline)) const typename lanes<W, W>::v& load(const double* p)
{
    return *reinterpret_cast<const typename lanes<W, W>::v*>(p);
}
template <int W>
inline __attribute__((always_inline)) void store(double* p, const typename lanes<W, W>::v& x)
{
    *reinterpret_cast<typename lanes<W, W>::v*>(p) = x;
}

// Each vector of a group, q = 0 .. L::count - 1, unrolled.
#define KELVANE_EACH_VECTOR(L) _Pragma("GCC unroll 16") for (int q = 0; q < L::count; ++q)

namespace simd_detail {
template <class Kernel>
void width_2(Kernel& k) { k.template operator()<2>(); }
template <class Kernel>
__attribute__((target("avx2"))) void width_4(Kernel& k) { k.template operator()<4>(); }
template <class Kernel>
__attribute__((target("avx512f"))) void width_8(Kernel& k) { k.template operator()<8>(); }
}  // namespace simd_detail

// Runs kernel.operator()<W>() compiled for the path's instruction set, W its
// vector width.  The kernel is a lambda marked always_inline, so that it
// and the inlined templates it calls are compiled in the form of the path:
//   on_path(path, [&]<int W>() __attribute__((always_inline)) { sums<W>(...); });
template <class Kernel>
void on_path(simd_path path, Kernel&& kernel)
{
    switch (path) {
    case simd_path::avx512: simd_detail::width_8(kernel); break;
    case simd_path::avx2: simd_detail::width_4(kernel); break;
    case simd_path::baseline: simd_detail::width_2(kernel); break;
    }
}

}  // namespace kelvane
