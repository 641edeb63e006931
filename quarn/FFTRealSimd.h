// FFTRealSimd: the vectorised paths of FFTReal <float>, chosen at run time.
//
// Internal to FFTReal.h. This header holds what the paths share: the tables
// they read (Plan), the question put to the CPU, the vector types of each
// instruction set, and the choice of kernels for a length. The kernels
// themselves are written once, in quarn/FFTRealKernels.h, and compiled here
// once per instruction set through compiler target attributes, so that a
// build without -march flags still runs AVX2 or AVX-512 code where the CPU
// has it. Everything a kernel calls is forced inline into a function of its
// own instruction set: left to the compiler, -O2 makes calls of the small
// vector helpers and runs about half as fast.
//
// Outside x86 with GCC or Clang this header offers no kernels, and FFTReal
// runs its plain scalar path.

#ifndef QUARN_FFTREALSIMD_H
#define QUARN_FFTREALSIMD_H

#include <cstdint>

#if (defined (__x86_64__) || defined (__i386__)) && (defined (__GNUC__) || defined (__clang__))
#define QUARN_SIMD_X86 1
#include <immintrin.h>
#include <cassert>
#include <algorithm>
#include <cmath>
#include <type_traits>
#include <utility>
#else
#define QUARN_SIMD_X86 0
#endif

namespace quarn::simd
{

// Instruction-set levels, in increasing width. Level 0 is the scalar path.
constexpr int LEVEL_SCALAR = 0;
constexpr int LEVEL_SSE2 = 1;
constexpr int LEVEL_AVX2 = 2;
constexpr int LEVEL_AVX512 = 3;

// What the kernels read from the transform object: its tables and scratch
// buffer. Nothing here is written except the buffer.
struct Plan
{
    int nbr_bits;              // log2 N
    const int *bitrev;         // N entries: c with its nbr_bits low bits reversed
    const float *cos_table;    // level L (3 <= L < nbr_bits) at 2^(L - 1) - 4:
                               //   cos (i pi / 2^L), i = 0 .. 2^(L - 1) - 1
    const float *lane_twiddles;    // level L (3 <= L <= the kernels' lane_top)
                               //   at 2^L - 8: cos (i pi / 2^L), sin (i pi / 2^L)
                               //   side by side, i = 0 .. 2^(L - 1) - 1
    const double *phasors;     // pass p > TRIGO_BD_LIMIT at PHASOR_STRIDE
                               //   * (p - TRIGO_BD_LIMIT - 1): cos (j pi / 2^p)
                               //   then sin (j pi / 2^p), j = 0 .. PHASOR_LANES
    float *buffer;             // N entries of scratch
};

// The passes above this use phasors instead of the cosine table.
constexpr int TRIGO_BD_LIMIT = 12;

// Start angles of the phasor lanes of one pass: lane j of a vector of W
// lanes starts at angle j theta and steps by W theta, the angle of entry W.
constexpr int PHASOR_LANES = 16;
constexpr int PHASOR_STRIDE = 2 * (PHASOR_LANES + 1);

using ForwardFn = void (*) (const Plan &plan, float f [], const float x []);
using BackwardFn = void (*) (const Plan &plan, float x [], const float f []);

// The kernels that run one length: null pointers mean the scalar path.
struct Kernels
{
    ForwardFn forward = nullptr;
    BackwardFn backward = nullptr;
    int level = LEVEL_SCALAR;
    int lane_top = 0;          // highest table level the lane passes read
};

// The widest level that this build and this CPU can run.
inline int cpu_level ();

// Where the vector passes put their scratch array of N floats, within a
// block of N + buffer_slack (nbr_bits) floats from `base`: on a cache line,
// and from 2^BUFFER_FAR_BITS samples on, half a page from `out` modulo the
// 4 KiB page. The passes go back and forth between the scratch array and the
// output at the same positions; had both arrays the same place in the page,
// their lines would crowd the same few L1 cache sets (indexed by the address
// modulo 4 KiB), and loads would wait on stores to the same page offset. That
// made the passes from 2^15 samples up to 2 times slower, depending on where
// the caller's array lay. The slack costs 64 bytes, or 4 KiB from
// 2^BUFFER_FAR_BITS samples on.
constexpr int BUFFER_FAR_BITS = 12;
constexpr int PAGE_FLOATS = 1024;
constexpr int LINE_FLOATS = 16;

constexpr int buffer_slack (int nbr_bits)
{
    return (nbr_bits >= BUFFER_FAR_BITS) ? PAGE_FLOATS : LINE_FLOATS;
}

inline float * place_buffer (float *base, const float *out, int nbr_bits)
{
    // Only the addresses' offsets within a page are used: NOLINTs below.
    const std::uintptr_t b = reinterpret_cast <std::uintptr_t> (base);  // NOLINT(cppcoreguidelines-pro-type-reinterpret-cast)
    std::uintptr_t skip;       // bytes
    if (nbr_bits >= BUFFER_FAR_BITS)
    {
        const std::uintptr_t page = PAGE_FLOATS * sizeof (float);
        const std::uintptr_t line = LINE_FLOATS * sizeof (float);
        const std::uintptr_t o = reinterpret_cast <std::uintptr_t> (out);  // NOLINT(cppcoreguidelines-pro-type-reinterpret-cast)
        const std::uintptr_t want = (o + page / 2) & ~(line - 1);
        skip = (want - b) & (page - 1);
    }
    else
    {
        skip = (0 - b) & (LINE_FLOATS * sizeof (float) - 1);
    }
    return base + skip / sizeof (float);
}


// The kernels for a transform of 2^nbr_bits samples, of the widest level not
// above max_level that can run it (each needs a minimum length).
inline Kernels kernels_for (int max_level, int nbr_bits);

}  // namespace quarn::simd



#if QUARN_SIMD_X86

namespace quarn::simd
{

#define QUARN_SSE2_FN [[gnu::always_inline, gnu::target ("sse2")]] inline
#define QUARN_AVX2_FN [[gnu::always_inline, gnu::target ("avx2,fma")]] inline
#define QUARN_AVX512_FN [[gnu::always_inline, gnu::target ("avx512f,avx2,fma")]] inline

// ---- Vector types ----------------------------------------------------------
// Each instruction set offers the same small vocabulary to the kernels: W
// float lanes (VecF) and W double lanes (VecD, for the phasors).
//
//   load (p), store (p)    W floats from or to p, any alignment
//   splat (x)              x in every lane
//   mul_add (a, b, c)      a b + c, fused where the CPU can
//   mul_sub (a, b, c)      a b - c, fused where the CPU can
//   first ()               lane 0
//   first_of (a, b)        lane 0 of b, lanes 1 .. W - 1 of a
//   reverse (a)            a[W - 1], ..., a[1], a[0]: the mirrored indices
//                          n - i of a merge, read or written from n - i -
//                          W + 1 on
//   reverse_shift (a, b)   b[0], a[W - 1], a[W - 2], ..., a[1]: the same,
//                          shifted by one lane, from n - i - W on
//   transpose (r)          the W x W matrix of the W vectors r[0 .. W - 1]

struct Sse2F
{
    static constexpr int W = 4;
    __m128 v;

    QUARN_SSE2_FN static Sse2F load (const float *p) { return { _mm_loadu_ps (p) }; }
    QUARN_SSE2_FN void store (float *p) const { _mm_storeu_ps (p, v); }
    QUARN_SSE2_FN static Sse2F splat (float x) { return { _mm_set1_ps (x) }; }
    QUARN_SSE2_FN static Sse2F zero () { return { _mm_setzero_ps () }; }

    QUARN_SSE2_FN friend Sse2F operator + (Sse2F a, Sse2F b) { return { _mm_add_ps (a.v, b.v) }; }
    QUARN_SSE2_FN friend Sse2F operator - (Sse2F a, Sse2F b) { return { _mm_sub_ps (a.v, b.v) }; }
    QUARN_SSE2_FN friend Sse2F operator * (Sse2F a, Sse2F b) { return { _mm_mul_ps (a.v, b.v) }; }
    QUARN_SSE2_FN static Sse2F mul_add (Sse2F a, Sse2F b, Sse2F c) { return a * b + c; }
    QUARN_SSE2_FN static Sse2F mul_sub (Sse2F a, Sse2F b, Sse2F c) { return a * b - c; }

    QUARN_SSE2_FN float first () const { return _mm_cvtss_f32 (v); }
    QUARN_SSE2_FN static Sse2F first_of (Sse2F a, Sse2F b) { return { _mm_move_ss (a.v, b.v) }; }
    QUARN_SSE2_FN static Sse2F reverse (Sse2F a) { return { _mm_shuffle_ps (a.v, a.v, _MM_SHUFFLE (0, 1, 2, 3)) }; }

    QUARN_SSE2_FN static Sse2F reverse_shift (Sse2F a, Sse2F b)
    {
        const __m128 t = _mm_move_ss (a.v, b.v);                // b0 a1 a2 a3
        return { _mm_shuffle_ps (t, t, _MM_SHUFFLE (1, 2, 3, 0)) };
    }

    QUARN_SSE2_FN static void transpose (Sse2F r [4])
    {
        _MM_TRANSPOSE4_PS (r [0].v, r [1].v, r [2].v, r [3].v);
    }
};

struct Sse2D
{
    static constexpr int W = 4;
    __m128d lo;
    __m128d hi;

    QUARN_SSE2_FN static Sse2D load (const double *p) { return { _mm_loadu_pd (p), _mm_loadu_pd (p + 2) }; }
    QUARN_SSE2_FN static Sse2D splat (double x) { return { _mm_set1_pd (x), _mm_set1_pd (x) }; }

    // (c, s) times (cs, ss) as complex numbers, in place.
    QUARN_SSE2_FN static void rotate (Sse2D &c, Sse2D &s, Sse2D cs, Sse2D ss)
    {
        const __m128d cl = _mm_sub_pd (_mm_mul_pd (c.lo, cs.lo), _mm_mul_pd (s.lo, ss.lo));
        const __m128d ch = _mm_sub_pd (_mm_mul_pd (c.hi, cs.hi), _mm_mul_pd (s.hi, ss.hi));
        s.lo = _mm_add_pd (_mm_mul_pd (c.lo, ss.lo), _mm_mul_pd (s.lo, cs.lo));
        s.hi = _mm_add_pd (_mm_mul_pd (c.hi, ss.hi), _mm_mul_pd (s.hi, cs.hi));
        c.lo = cl;
        c.hi = ch;
    }

    QUARN_SSE2_FN Sse2F to_float () const
    {
        return { _mm_movelh_ps (_mm_cvtpd_ps (lo), _mm_cvtpd_ps (hi)) };
    }
};

struct Avx2F
{
    static constexpr int W = 8;
    __m256 v;

    QUARN_AVX2_FN static Avx2F load (const float *p) { return { _mm256_loadu_ps (p) }; }
    QUARN_AVX2_FN void store (float *p) const { _mm256_storeu_ps (p, v); }
    QUARN_AVX2_FN static Avx2F splat (float x) { return { _mm256_set1_ps (x) }; }
    QUARN_AVX2_FN static Avx2F zero () { return { _mm256_setzero_ps () }; }

    QUARN_AVX2_FN friend Avx2F operator + (Avx2F a, Avx2F b) { return { _mm256_add_ps (a.v, b.v) }; }
    QUARN_AVX2_FN friend Avx2F operator - (Avx2F a, Avx2F b) { return { _mm256_sub_ps (a.v, b.v) }; }
    QUARN_AVX2_FN friend Avx2F operator * (Avx2F a, Avx2F b) { return { _mm256_mul_ps (a.v, b.v) }; }
    QUARN_AVX2_FN static Avx2F mul_add (Avx2F a, Avx2F b, Avx2F c) { return { _mm256_fmadd_ps (a.v, b.v, c.v) }; }
    QUARN_AVX2_FN static Avx2F mul_sub (Avx2F a, Avx2F b, Avx2F c) { return { _mm256_fmsub_ps (a.v, b.v, c.v) }; }

    QUARN_AVX2_FN float first () const { return _mm256_cvtss_f32 (v); }
    QUARN_AVX2_FN static Avx2F first_of (Avx2F a, Avx2F b) { return { _mm256_blend_ps (a.v, b.v, 1) }; }

    QUARN_AVX2_FN static Avx2F reverse (Avx2F a)
    {
        const __m256i idx = _mm256_setr_epi32 (7, 6, 5, 4, 3, 2, 1, 0);
        return { _mm256_permutevar8x32_ps (a.v, idx) };
    }

    QUARN_AVX2_FN static Avx2F reverse_shift (Avx2F a, Avx2F b)
    {
        const __m256i idx = _mm256_setr_epi32 (0, 7, 6, 5, 4, 3, 2, 1);
        return { _mm256_permutevar8x32_ps (_mm256_blend_ps (a.v, b.v, 1), idx) };
    }

    QUARN_AVX2_FN static void transpose (Avx2F r [8])
    {
        const __m256 t0 = _mm256_unpacklo_ps (r [0].v, r [1].v);
        const __m256 t1 = _mm256_unpackhi_ps (r [0].v, r [1].v);
        const __m256 t2 = _mm256_unpacklo_ps (r [2].v, r [3].v);
        const __m256 t3 = _mm256_unpackhi_ps (r [2].v, r [3].v);
        const __m256 t4 = _mm256_unpacklo_ps (r [4].v, r [5].v);
        const __m256 t5 = _mm256_unpackhi_ps (r [4].v, r [5].v);
        const __m256 t6 = _mm256_unpacklo_ps (r [6].v, r [7].v);
        const __m256 t7 = _mm256_unpackhi_ps (r [6].v, r [7].v);
        const __m256 u0 = _mm256_shuffle_ps (t0, t2, _MM_SHUFFLE (1, 0, 1, 0));
        const __m256 u1 = _mm256_shuffle_ps (t0, t2, _MM_SHUFFLE (3, 2, 3, 2));
        const __m256 u2 = _mm256_shuffle_ps (t1, t3, _MM_SHUFFLE (1, 0, 1, 0));
        const __m256 u3 = _mm256_shuffle_ps (t1, t3, _MM_SHUFFLE (3, 2, 3, 2));
        const __m256 u4 = _mm256_shuffle_ps (t4, t6, _MM_SHUFFLE (1, 0, 1, 0));
        const __m256 u5 = _mm256_shuffle_ps (t4, t6, _MM_SHUFFLE (3, 2, 3, 2));
        const __m256 u6 = _mm256_shuffle_ps (t5, t7, _MM_SHUFFLE (1, 0, 1, 0));
        const __m256 u7 = _mm256_shuffle_ps (t5, t7, _MM_SHUFFLE (3, 2, 3, 2));
        r [0].v = _mm256_permute2f128_ps (u0, u4, 0x20);
        r [1].v = _mm256_permute2f128_ps (u1, u5, 0x20);
        r [2].v = _mm256_permute2f128_ps (u2, u6, 0x20);
        r [3].v = _mm256_permute2f128_ps (u3, u7, 0x20);
        r [4].v = _mm256_permute2f128_ps (u0, u4, 0x31);
        r [5].v = _mm256_permute2f128_ps (u1, u5, 0x31);
        r [6].v = _mm256_permute2f128_ps (u2, u6, 0x31);
        r [7].v = _mm256_permute2f128_ps (u3, u7, 0x31);
    }
};

struct Avx2D
{
    static constexpr int W = 8;
    __m256d lo;
    __m256d hi;

    QUARN_AVX2_FN static Avx2D load (const double *p) { return { _mm256_loadu_pd (p), _mm256_loadu_pd (p + 4) }; }
    QUARN_AVX2_FN static Avx2D splat (double x) { return { _mm256_set1_pd (x), _mm256_set1_pd (x) }; }

    QUARN_AVX2_FN static void rotate (Avx2D &c, Avx2D &s, Avx2D cs, Avx2D ss)
    {
        const __m256d cl = _mm256_fmsub_pd (c.lo, cs.lo, _mm256_mul_pd (s.lo, ss.lo));
        const __m256d ch = _mm256_fmsub_pd (c.hi, cs.hi, _mm256_mul_pd (s.hi, ss.hi));
        s.lo = _mm256_fmadd_pd (c.lo, ss.lo, _mm256_mul_pd (s.lo, cs.lo));
        s.hi = _mm256_fmadd_pd (c.hi, ss.hi, _mm256_mul_pd (s.hi, cs.hi));
        c.lo = cl;
        c.hi = ch;
    }

    QUARN_AVX2_FN Avx2F to_float () const
    {
        return { _mm256_set_m128 (_mm256_cvtpd_ps (hi), _mm256_cvtpd_ps (lo)) };
    }
};

// GCC 12 warns inside its own AVX-512 intrinsics (their undefined merge
// sources) wherever they are inlined, as "maybe" or plainly uninitialised
// depending on the optimisation; the warning says nothing about this code.
#if defined (__GNUC__) && ! defined (__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#endif

// Not runnable on the machines this was written on (no AVX-512): its kernels
// are the same source as the others, and their 16-lane logic is tested on
// AVX2 through an emulated 16-lane type (tests/test_simd.cpp); these
// wrappers are tested wherever the CPU has AVX-512F.
struct Avx512F
{
    static constexpr int W = 16;
    __m512 v;

    QUARN_AVX512_FN static Avx512F load (const float *p) { return { _mm512_loadu_ps (p) }; }
    QUARN_AVX512_FN void store (float *p) const { _mm512_storeu_ps (p, v); }
    QUARN_AVX512_FN static Avx512F splat (float x) { return { _mm512_set1_ps (x) }; }
    QUARN_AVX512_FN static Avx512F zero () { return { _mm512_setzero_ps () }; }

    QUARN_AVX512_FN friend Avx512F operator + (Avx512F a, Avx512F b) { return { _mm512_add_ps (a.v, b.v) }; }
    QUARN_AVX512_FN friend Avx512F operator - (Avx512F a, Avx512F b) { return { _mm512_sub_ps (a.v, b.v) }; }
    QUARN_AVX512_FN friend Avx512F operator * (Avx512F a, Avx512F b) { return { _mm512_mul_ps (a.v, b.v) }; }
    QUARN_AVX512_FN static Avx512F mul_add (Avx512F a, Avx512F b, Avx512F c) { return { _mm512_fmadd_ps (a.v, b.v, c.v) }; }
    QUARN_AVX512_FN static Avx512F mul_sub (Avx512F a, Avx512F b, Avx512F c) { return { _mm512_fmsub_ps (a.v, b.v, c.v) }; }

    QUARN_AVX512_FN float first () const { return _mm512_cvtss_f32 (v); }
    QUARN_AVX512_FN static Avx512F first_of (Avx512F a, Avx512F b) { return { _mm512_mask_blend_ps (1, a.v, b.v) }; }

    QUARN_AVX512_FN static Avx512F reverse (Avx512F a)
    {
        const __m512i idx = _mm512_setr_epi32 (15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
        return { _mm512_permutexvar_ps (idx, a.v) };
    }

    QUARN_AVX512_FN static Avx512F reverse_shift (Avx512F a, Avx512F b)
    {
        // Index 16 picks lane 0 of b; 15 .. 1 pick those lanes of a.
        const __m512i idx = _mm512_setr_epi32 (16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1);
        return { _mm512_permutex2var_ps (a.v, idx, b.v) };
    }

    QUARN_AVX512_FN static void transpose (Avx512F r [16])
    {
        // Pairs, then quads within each 128-bit lane, then the 128-bit lanes.
        __m512 t [16];
        for (int k = 0; k < 16; k += 2)
        {
            t [k] = _mm512_unpacklo_ps (r [k].v, r [k + 1].v);
            t [k + 1] = _mm512_unpackhi_ps (r [k].v, r [k + 1].v);
        }
        __m512 u [16];
        for (int k = 0; k < 16; k += 4)
        {
            u [k] = _mm512_shuffle_ps (t [k], t [k + 2], _MM_SHUFFLE (1, 0, 1, 0));
            u [k + 1] = _mm512_shuffle_ps (t [k], t [k + 2], _MM_SHUFFLE (3, 2, 3, 2));
            u [k + 2] = _mm512_shuffle_ps (t [k + 1], t [k + 3], _MM_SHUFFLE (1, 0, 1, 0));
            u [k + 3] = _mm512_shuffle_ps (t [k + 1], t [k + 3], _MM_SHUFFLE (3, 2, 3, 2));
        }
        // u [4 q + j] holds, in 128-bit lane l, elements 4 l .. 4 l + 3 of
        // column j of rows 4 q .. 4 q + 3. Gather the 128-bit lanes.
        for (int j = 0; j < 4; ++ j)
        {
            const __m512 a = _mm512_shuffle_f32x4 (u [j], u [4 + j], _MM_SHUFFLE (2, 0, 2, 0));
            const __m512 b = _mm512_shuffle_f32x4 (u [8 + j], u [12 + j], _MM_SHUFFLE (2, 0, 2, 0));
            const __m512 c = _mm512_shuffle_f32x4 (u [j], u [4 + j], _MM_SHUFFLE (3, 1, 3, 1));
            const __m512 d = _mm512_shuffle_f32x4 (u [8 + j], u [12 + j], _MM_SHUFFLE (3, 1, 3, 1));
            r [j].v = _mm512_shuffle_f32x4 (a, b, _MM_SHUFFLE (2, 0, 2, 0));
            r [4 + j].v = _mm512_shuffle_f32x4 (c, d, _MM_SHUFFLE (2, 0, 2, 0));
            r [8 + j].v = _mm512_shuffle_f32x4 (a, b, _MM_SHUFFLE (3, 1, 3, 1));
            r [12 + j].v = _mm512_shuffle_f32x4 (c, d, _MM_SHUFFLE (3, 1, 3, 1));
        }
    }
};

struct Avx512D
{
    static constexpr int W = 16;
    __m512d lo;
    __m512d hi;

    QUARN_AVX512_FN static Avx512D load (const double *p) { return { _mm512_loadu_pd (p), _mm512_loadu_pd (p + 8) }; }
    QUARN_AVX512_FN static Avx512D splat (double x) { return { _mm512_set1_pd (x), _mm512_set1_pd (x) }; }

    QUARN_AVX512_FN static void rotate (Avx512D &c, Avx512D &s, Avx512D cs, Avx512D ss)
    {
        const __m512d cl = _mm512_fmsub_pd (c.lo, cs.lo, _mm512_mul_pd (s.lo, ss.lo));
        const __m512d ch = _mm512_fmsub_pd (c.hi, cs.hi, _mm512_mul_pd (s.hi, ss.hi));
        s.lo = _mm512_fmadd_pd (c.lo, ss.lo, _mm512_mul_pd (s.lo, cs.lo));
        s.hi = _mm512_fmadd_pd (c.hi, ss.hi, _mm512_mul_pd (s.hi, cs.hi));
        c.lo = cl;
        c.hi = ch;
    }

    QUARN_AVX512_FN Avx512F to_float () const
    {
        const __m256 l = _mm512_cvtpd_ps (lo);
        const __m256 h = _mm512_cvtpd_ps (hi);
        return { _mm512_castpd_ps (_mm512_insertf64x4 (
            _mm512_castps_pd (_mm512_castps256_ps512 (l)), _mm256_castps_pd (h), 1)) };
    }
};

}  // namespace quarn::simd

// ---- 16 samples ------------------------------------------------------------
// Too short for the vector kernels: the scalar passes written out straight,
// without their loops and calls.

namespace quarn::simd
{

[[gnu::target ("sse2")]] inline void forward_16 (const Plan &plan, float f [], const float x [])
{
    // Passes 1 and 2, reading x in bit-reversed order.
    float a [16];
    static constexpr int REV [16] = { 0, 8, 4, 12, 2, 10, 6, 14, 1, 9, 5, 13, 3, 11, 7, 15 };
#pragma GCC unroll 4
    for (int c = 0; c < 16; c += 4)
    {
        const float x0 = x [REV [c]];
        const float x1 = x [REV [c + 1]];
        const float x2 = x [REV [c + 2]];
        const float x3 = x [REV [c + 3]];
        a [c + 1] = x0 - x1;
        a [c + 3] = x2 - x3;
        const float s0 = x0 + x1;
        const float s2 = x2 + x3;
        a [c] = s0 + s2;
        a [c + 2] = s0 - s2;
    }

    // Pass 3.
    const float * const tab = plan.cos_table;     // level 3
    const float k = tab [2];
    float b [16];
#pragma GCC unroll 2
    for (int c = 0; c < 16; c += 8)
    {
        b [c] = a [c] + a [c + 4];
        b [c + 4] = a [c] - a [c + 4];
        b [c + 2] = a [c + 2];
        b [c + 6] = a [c + 6];
        float v = (a [c + 5] - a [c + 7]) * k;
        b [c + 1] = a [c + 1] + v;
        b [c + 3] = a [c + 1] - v;
        v = (a [c + 5] + a [c + 7]) * k;
        b [c + 5] = v + a [c + 3];
        b [c + 7] = v - a [c + 3];
    }

    // The merge of pass 3 (n = 8).
    f [0] = b [0] + b [8];
    f [8] = b [0] - b [8];
    f [4] = b [4];
    f [12] = b [12];
#pragma GCC unroll 3
    for (int i = 1; i < 4; ++ i)
    {
        const float c_ = tab [i];
        const float s_ = tab [4 - i];
        float v = b [8 + i] * c_ - b [12 + i] * s_;
        f [i] = b [i] + v;
        f [8 - i] = b [i] - v;
        v = b [8 + i] * s_ + b [12 + i] * c_;
        f [8 + i] = v + b [4 + i];
        f [16 - i] = v - b [4 + i];
    }
}

[[gnu::target ("sse2")]] inline void backward_16 (const Plan &plan, float x [], const float f [])
{
    const float * const tab = plan.cos_table;     // level 3
    const float k = tab [2];

    // Undo the merge of pass 3.
    float a [16];
    a [0] = f [0] + f [8];
    a [8] = f [0] - f [8];
    a [4] = f [4] * 2;
    a [12] = f [12] * 2;
#pragma GCC unroll 3
    for (int i = 1; i < 4; ++ i)
    {
        const float c_ = tab [i];
        const float s_ = tab [4 - i];
        a [i] = f [i] + f [8 - i];
        a [4 + i] = f [8 + i] - f [16 - i];
        const float vr = f [i] - f [8 - i];
        const float vi = f [8 + i] + f [16 - i];
        a [8 + i] = vr * c_ + vi * s_;
        a [12 + i] = vi * c_ - vr * s_;
    }

    // Undo pass 3.
    float b [16];
#pragma GCC unroll 2
    for (int c = 0; c < 16; c += 8)
    {
        b [c] = a [c] + a [c + 4];
        b [c + 4] = a [c] - a [c + 4];
        b [c + 2] = a [c + 2] * 2;
        b [c + 6] = a [c + 6] * 2;
        b [c + 1] = a [c + 1] + a [c + 3];
        b [c + 3] = a [c + 5] - a [c + 7];
        const float v = a [c + 1] - a [c + 3];
        const float w = a [c + 5] + a [c + 7];
        b [c + 5] = (w + v) * k;
        b [c + 7] = (w - v) * k;
    }

    // Undo passes 2 and 1, writing x in bit-reversed order.
    static constexpr int REV [16] = { 0, 8, 4, 12, 2, 10, 6, 14, 1, 9, 5, 13, 3, 11, 7, 15 };
#pragma GCC unroll 4
    for (int c = 0; c < 16; c += 4)
    {
        const float s0 = b [c] + b [c + 2];
        const float s2 = b [c] - b [c + 2];
        const float d1 = b [c + 1] * 2;
        const float d3 = b [c + 3] * 2;
        x [REV [c]] = s0 + d1;
        x [REV [c + 1]] = s0 - d1;
        x [REV [c + 2]] = s2 + d3;
        x [REV [c + 3]] = s2 - d3;
    }
}

}  // namespace quarn::simd



// ---- The kernels, once per instruction set ---------------------------------

#define QUARN_SIMD_NS sse2
#define QUARN_SIMD_TARGET "sse2"
#define QUARN_SIMD_VECF Sse2F
#define QUARN_SIMD_VECD Sse2D
#include "quarn/FFTRealKernels.h"

#define QUARN_SIMD_NS avx2
#define QUARN_SIMD_TARGET "avx2,fma"
#define QUARN_SIMD_VECF Avx2F
#define QUARN_SIMD_VECD Avx2D
#include "quarn/FFTRealKernels.h"

#define QUARN_SIMD_NS avx512
#define QUARN_SIMD_TARGET "avx512f,avx2,fma"
#define QUARN_SIMD_VECF Avx512F
#define QUARN_SIMD_VECD Avx512D
#include "quarn/FFTRealKernels.h"

#if defined (__GNUC__) && ! defined (__clang__)
#pragma GCC diagnostic pop
#endif

#undef QUARN_SSE2_FN
#undef QUARN_AVX2_FN
#undef QUARN_AVX512_FN

namespace quarn::simd
{

int cpu_level ()
{
    __builtin_cpu_init ();
    if (__builtin_cpu_supports ("avx512f") && __builtin_cpu_supports ("avx2")
        && __builtin_cpu_supports ("fma"))
    {
        return LEVEL_AVX512;
    }
    if (__builtin_cpu_supports ("avx2") && __builtin_cpu_supports ("fma"))
    {
        return LEVEL_AVX2;
    }
    if (__builtin_cpu_supports ("sse2"))
    {
        return LEVEL_SSE2;
    }
    return LEVEL_SCALAR;
}

Kernels kernels_for (int max_level, int nbr_bits)
{
    Kernels k;
    if (max_level >= LEVEL_AVX512 && nbr_bits >= avx512::MIN_BITS)
    {
        k.forward = &avx512::forward;
        k.backward = &avx512::backward;
        k.lane_top = avx512::lane_top (nbr_bits);
        k.level = LEVEL_AVX512;
    }
    else if (max_level >= LEVEL_AVX2 && nbr_bits >= avx2::MIN_BITS)
    {
        k.forward = &avx2::forward;
        k.backward = &avx2::backward;
        k.lane_top = avx2::lane_top (nbr_bits);
        k.level = LEVEL_AVX2;
    }
    else if (max_level >= LEVEL_SSE2 && nbr_bits >= sse2::MIN_BITS)
    {
        k.forward = &sse2::forward;
        k.backward = &sse2::backward;
        k.lane_top = sse2::lane_top (nbr_bits);
        k.level = LEVEL_SSE2;
    }
    else if (max_level >= LEVEL_SSE2 && nbr_bits == 4)
    {
        k.forward = &forward_16;
        k.backward = &backward_16;
        k.level = LEVEL_SSE2;
    }
    return k;
}

}  // namespace quarn::simd

#else  // not QUARN_SIMD_X86

namespace quarn::simd
{

int cpu_level ()
{
    return LEVEL_SCALAR;
}

Kernels kernels_for (int, int)
{
    return Kernels ();
}

}  // namespace quarn::simd

#endif  // QUARN_SIMD_X86

#endif  // QUARN_FFTREALSIMD_H
