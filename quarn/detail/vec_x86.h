// SPDX-License-Identifier: MIT
// The x86 vocabularies of the vector kernels: W float or double lanes per
// instruction set, each offering the same operations (the one-lane One of
// butterfly.h shows them plainly):
//
//   W                      the lanes
//   KERNEL_VECTORS         how many vectors a kernel's block may keep in
//                          registers: all the set has, but 8 for SSE2's
//                          floats (the forward first kernel of 16 vectors
//                          made every float file 0.2 s, 5%, slower to
//                          compile, for a gain only where AVX2 is missing)
//   load (p), store (p)    W samples from or to p, any alignment
//   splat (x)              x in every lane
//   + - *                  lane by lane
//   mul_add (a, b, c)      a b + c, fused where the instruction set has FMA
//   mul_sub (a, b, c)      a b - c, likewise
//   reverse (a)            the lanes in reverse order
//   shift_in (a, b)        (16 lanes only) the last lane of a, then lanes
//                          0 .. W - 2 of b
//   stream (p), fence ()   (vectors of a whole cache line only) W samples to
//                          p, on a line, past the caches; fence () orders
//                          such stores before the ones after it
//   transpose (r)          the W x W matrix of the W vectors r [0 .. W - 1]
//   from_doubles (lo, hi)  (float only) the 2 W' doubles of two vectors of
//                          the same set's double type, rounded to float
//
// Each function carries its instruction set as a target attribute, so that
// a build without -march flags compiles them; the kernels that use them are
// compiled for that set by the dispatcher (dispatch.h). AVX2 and AVX-512
// come with BMI1 and BMI2 (every CPU with AVX2 has them): shifts by a
// variable count and bit scans in the loops' index arithmetic are then one
// instruction each (the 4-lane kernels compiled so 4 to 5% faster).
//
// With GCC, AVX2 and AVX-512 also carry the tuning of the Intel cores that
// brought them: GCC's generic tuning, which a plain -O2 build gets, scheduled
// the kernels 5 to 11% slower (Sapphire Rapids, both sets, float and double);
// on a Zen 5 EPYC, 5 to 23% slower from 2^12 (AVX2 and AVX-512), and AMD's
// own Zen 3 tuning 3 to 19% on AVX-512. GCC inlines a function only into
// one of the same tuning, so the kernels compiled for a set have its tuning
// too (dispatch.h), and whatever they call that carries no attribute is
// always inlined.

#ifndef QUARN_DETAIL_VEC_X86_H
#define QUARN_DETAIL_VEC_X86_H

#include <immintrin.h>

#define QUARN_SSE2 [[gnu::target ("sse2")]]
// SSE2's operations, always inlined: into SSE2's steps, and into its lanes
// compiled for AVX2 under another tuning (GCC inlines no other function
// across tunings).
#define QUARN_SSE2_OP [[gnu::target ("sse2")]] [[gnu::always_inline]]
// A set's attribute with a tuning: with GCC only (Clang 14 ran AVX2 float 5
// to 8% slower with it, AVX-512 no faster).
#if defined (__clang__)
#define QUARN_TUNED(SET, TUNE) [[gnu::target (SET)]]
#else
#define QUARN_TUNED(SET, TUNE) [[gnu::target (SET ",tune=" TUNE)]]
#endif
// AVX2's: also that of SSE2's lanes compiled for AVX2 (dispatch.h; float 2^5
// and 2^6 2 to 3% faster with it, double 2^4 2 to 7%).
#define QUARN_AVX2 QUARN_TUNED ("avx2,fma,bmi,bmi2", "skylake")
#define QUARN_AVX512 QUARN_TUNED ("avx512f,avx2,fma,bmi,bmi2", "skylake-avx512")
// AVX2's lanes (and float's SSE2 lanes) compiled for AVX-512 (dispatch.h):
// AVX2's tuning, the 32 vector registers of AVX-512VL.
#define QUARN_AVX2_VL QUARN_TUNED ("avx512f,avx512vl,avx2,fma,bmi,bmi2", "skylake")
// The short kernels compiled for AVX2 (dispatch.h), untuned: with the
// tuning they ran 7 to 25% slower.
#define QUARN_VEX [[gnu::target ("avx2,fma,bmi,bmi2")]]

namespace quarn::detail
{

// ---- SSE2: 4 floats, 2 doubles ---------------------------------------------

struct Sse2D
{
    using Scalar = double;
    static constexpr int W = 2;
    static constexpr int KERNEL_VECTORS = 16;
    __m128d v;

    QUARN_SSE2_OP static Sse2D load (const double *p) { return { _mm_loadu_pd (p) }; }
    QUARN_SSE2_OP void store (double *p) const { _mm_storeu_pd (p, v); }
    QUARN_SSE2_OP static Sse2D splat (double x) { return { _mm_set1_pd (x) }; }

    QUARN_SSE2_OP friend Sse2D operator + (const Sse2D &a, const Sse2D &b) { return { _mm_add_pd (a.v, b.v) }; }
    QUARN_SSE2_OP friend Sse2D operator - (const Sse2D &a, const Sse2D &b) { return { _mm_sub_pd (a.v, b.v) }; }
    QUARN_SSE2_OP friend Sse2D operator * (const Sse2D &a, const Sse2D &b) { return { _mm_mul_pd (a.v, b.v) }; }
    QUARN_SSE2_OP friend Sse2D mul_add (const Sse2D &a, const Sse2D &b, const Sse2D &c) { return a * b + c; }
    QUARN_SSE2_OP friend Sse2D mul_sub (const Sse2D &a, const Sse2D &b, const Sse2D &c) { return a * b - c; }
    QUARN_SSE2_OP friend Sse2D reverse (const Sse2D &a) { return { _mm_shuffle_pd (a.v, a.v, 1) }; }

    QUARN_SSE2_OP static void transpose (Sse2D r [2])
    {
        const __m128d t = _mm_unpacklo_pd (r [0].v, r [1].v);
        r [1].v = _mm_unpackhi_pd (r [0].v, r [1].v);
        r [0].v = t;
    }
};

struct Sse2F
{
    using Scalar = float;
    using Double = Sse2D;
    static constexpr int W = 4;
    static constexpr int KERNEL_VECTORS = 8;
    __m128 v;

    QUARN_SSE2_OP static Sse2F load (const float *p) { return { _mm_loadu_ps (p) }; }
    QUARN_SSE2_OP void store (float *p) const { _mm_storeu_ps (p, v); }
    QUARN_SSE2_OP static Sse2F splat (float x) { return { _mm_set1_ps (x) }; }

    QUARN_SSE2_OP friend Sse2F operator + (const Sse2F &a, const Sse2F &b) { return { _mm_add_ps (a.v, b.v) }; }
    QUARN_SSE2_OP friend Sse2F operator - (const Sse2F &a, const Sse2F &b) { return { _mm_sub_ps (a.v, b.v) }; }
    QUARN_SSE2_OP friend Sse2F operator * (const Sse2F &a, const Sse2F &b) { return { _mm_mul_ps (a.v, b.v) }; }
    QUARN_SSE2_OP friend Sse2F mul_add (const Sse2F &a, const Sse2F &b, const Sse2F &c) { return a * b + c; }
    QUARN_SSE2_OP friend Sse2F mul_sub (const Sse2F &a, const Sse2F &b, const Sse2F &c) { return a * b - c; }
    QUARN_SSE2_OP friend Sse2F reverse (const Sse2F &a) { return { _mm_shuffle_ps (a.v, a.v, _MM_SHUFFLE (0, 1, 2, 3)) }; }

    QUARN_SSE2_OP static void transpose (Sse2F r [4])
    {
        _MM_TRANSPOSE4_PS (r [0].v, r [1].v, r [2].v, r [3].v);
    }

    QUARN_SSE2_OP static Sse2F from_doubles (const Sse2D &lo, const Sse2D &hi)
    {
        return { _mm_movelh_ps (_mm_cvtpd_ps (lo.v), _mm_cvtpd_ps (hi.v)) };
    }
};

// ---- AVX2 with FMA: 8 floats, 4 doubles ------------------------------------

struct Avx2D
{
    using Scalar = double;
    static constexpr int W = 4;
    static constexpr int KERNEL_VECTORS = 16;
    __m256d v;

    QUARN_AVX2 static Avx2D load (const double *p) { return { _mm256_loadu_pd (p) }; }
    QUARN_AVX2 void store (double *p) const { _mm256_storeu_pd (p, v); }
    QUARN_AVX2 static Avx2D splat (double x) { return { _mm256_set1_pd (x) }; }

    QUARN_AVX2 friend Avx2D operator + (const Avx2D &a, const Avx2D &b) { return { _mm256_add_pd (a.v, b.v) }; }
    QUARN_AVX2 friend Avx2D operator - (const Avx2D &a, const Avx2D &b) { return { _mm256_sub_pd (a.v, b.v) }; }
    QUARN_AVX2 friend Avx2D operator * (const Avx2D &a, const Avx2D &b) { return { _mm256_mul_pd (a.v, b.v) }; }
    QUARN_AVX2 friend Avx2D mul_add (const Avx2D &a, const Avx2D &b, const Avx2D &c) { return { _mm256_fmadd_pd (a.v, b.v, c.v) }; }
    QUARN_AVX2 friend Avx2D mul_sub (const Avx2D &a, const Avx2D &b, const Avx2D &c) { return { _mm256_fmsub_pd (a.v, b.v, c.v) }; }
    QUARN_AVX2 friend Avx2D reverse (const Avx2D &a) { return { _mm256_permute4x64_pd (a.v, _MM_SHUFFLE (0, 1, 2, 3)) }; }

    QUARN_AVX2 static void transpose (Avx2D r [4])
    {
        const __m256d t0 = _mm256_unpacklo_pd (r [0].v, r [1].v);
        const __m256d t1 = _mm256_unpackhi_pd (r [0].v, r [1].v);
        const __m256d t2 = _mm256_unpacklo_pd (r [2].v, r [3].v);
        const __m256d t3 = _mm256_unpackhi_pd (r [2].v, r [3].v);
        r [0].v = _mm256_permute2f128_pd (t0, t2, 0x20);
        r [1].v = _mm256_permute2f128_pd (t1, t3, 0x20);
        r [2].v = _mm256_permute2f128_pd (t0, t2, 0x31);
        r [3].v = _mm256_permute2f128_pd (t1, t3, 0x31);
    }
};

struct Avx2F
{
    using Scalar = float;
    using Double = Avx2D;
    static constexpr int W = 8;
    static constexpr int KERNEL_VECTORS = 16;
    __m256 v;

    QUARN_AVX2 static Avx2F load (const float *p) { return { _mm256_loadu_ps (p) }; }
    QUARN_AVX2 void store (float *p) const { _mm256_storeu_ps (p, v); }
    QUARN_AVX2 static Avx2F splat (float x) { return { _mm256_set1_ps (x) }; }

    QUARN_AVX2 friend Avx2F operator + (const Avx2F &a, const Avx2F &b) { return { _mm256_add_ps (a.v, b.v) }; }
    QUARN_AVX2 friend Avx2F operator - (const Avx2F &a, const Avx2F &b) { return { _mm256_sub_ps (a.v, b.v) }; }
    QUARN_AVX2 friend Avx2F operator * (const Avx2F &a, const Avx2F &b) { return { _mm256_mul_ps (a.v, b.v) }; }
    QUARN_AVX2 friend Avx2F mul_add (const Avx2F &a, const Avx2F &b, const Avx2F &c) { return { _mm256_fmadd_ps (a.v, b.v, c.v) }; }
    QUARN_AVX2 friend Avx2F mul_sub (const Avx2F &a, const Avx2F &b, const Avx2F &c) { return { _mm256_fmsub_ps (a.v, b.v, c.v) }; }

    QUARN_AVX2 friend Avx2F reverse (const Avx2F &a)
    {
        return { _mm256_permutevar8x32_ps (a.v, _mm256_setr_epi32 (7, 6, 5, 4, 3, 2, 1, 0)) };
    }

    QUARN_AVX2 static void transpose (Avx2F r [8])
    {
        __m256 t [8];
#pragma GCC unroll 16
        for (int k = 0; k < 8; k += 2)
        {
            t [k] = _mm256_unpacklo_ps (r [k].v, r [k + 1].v);
            t [k + 1] = _mm256_unpackhi_ps (r [k].v, r [k + 1].v);
        }
        __m256 u [8];
#pragma GCC unroll 16
        for (int k = 0; k < 8; k += 4)
        {
            u [k] = _mm256_shuffle_ps (t [k], t [k + 2], _MM_SHUFFLE (1, 0, 1, 0));
            u [k + 1] = _mm256_shuffle_ps (t [k], t [k + 2], _MM_SHUFFLE (3, 2, 3, 2));
            u [k + 2] = _mm256_shuffle_ps (t [k + 1], t [k + 3], _MM_SHUFFLE (1, 0, 1, 0));
            u [k + 3] = _mm256_shuffle_ps (t [k + 1], t [k + 3], _MM_SHUFFLE (3, 2, 3, 2));
        }
#pragma GCC unroll 16
        for (int k = 0; k < 4; ++ k)
        {
            r [k].v = _mm256_permute2f128_ps (u [k], u [k + 4], 0x20);
            r [k + 4].v = _mm256_permute2f128_ps (u [k], u [k + 4], 0x31);
        }
    }

    QUARN_AVX2 static Avx2F from_doubles (const Avx2D &lo, const Avx2D &hi)
    {
        return { _mm256_set_m128 (_mm256_cvtpd_ps (hi.v), _mm256_cvtpd_ps (lo.v)) };
    }
};

// ---- AVX-512F (with AVX2 and FMA): 16 floats, 8 doubles --------------------

struct Avx512D
{
    using Scalar = double;
    static constexpr int W = 8;
    static constexpr int KERNEL_VECTORS = 32;
    __m512d v;

    QUARN_AVX512 static Avx512D load (const double *p) { return { _mm512_loadu_pd (p) }; }
    QUARN_AVX512 void store (double *p) const { _mm512_storeu_pd (p, v); }
    QUARN_AVX512 void stream (double *p) const { _mm512_stream_pd (p, v); }
    QUARN_AVX512 static void fence () { _mm_sfence (); }
    QUARN_AVX512 static Avx512D splat (double x) { return { _mm512_set1_pd (x) }; }

    QUARN_AVX512 friend Avx512D operator + (const Avx512D &a, const Avx512D &b) { return { _mm512_add_pd (a.v, b.v) }; }
    QUARN_AVX512 friend Avx512D operator - (const Avx512D &a, const Avx512D &b) { return { _mm512_sub_pd (a.v, b.v) }; }
    QUARN_AVX512 friend Avx512D operator * (const Avx512D &a, const Avx512D &b) { return { _mm512_mul_pd (a.v, b.v) }; }
    QUARN_AVX512 friend Avx512D mul_add (const Avx512D &a, const Avx512D &b, const Avx512D &c) { return { _mm512_fmadd_pd (a.v, b.v, c.v) }; }
    QUARN_AVX512 friend Avx512D mul_sub (const Avx512D &a, const Avx512D &b, const Avx512D &c) { return { _mm512_fmsub_pd (a.v, b.v, c.v) }; }

    QUARN_AVX512 friend Avx512D reverse (const Avx512D &a)
    {
        return { _mm512_permutexvar_pd (_mm512_setr_epi64 (7, 6, 5, 4, 3, 2, 1, 0), a.v) };
    }

    QUARN_AVX512 static void transpose (Avx512D r [8])
    {
        // Pairs of rows within each 128-bit lane, then the lanes.
        __m512d t [8];
#pragma GCC unroll 16
        for (int k = 0; k < 8; k += 2)
        {
            t [k] = _mm512_unpacklo_pd (r [k].v, r [k + 1].v);
            t [k + 1] = _mm512_unpackhi_pd (r [k].v, r [k + 1].v);
        }
#pragma GCC unroll 16
        for (int p = 0; p < 2; ++ p)
        {
            const __m512d a = _mm512_shuffle_f64x2 (t [p], t [2 + p], _MM_SHUFFLE (1, 0, 1, 0));
            const __m512d b = _mm512_shuffle_f64x2 (t [p], t [2 + p], _MM_SHUFFLE (3, 2, 3, 2));
            const __m512d c = _mm512_shuffle_f64x2 (t [4 + p], t [6 + p], _MM_SHUFFLE (1, 0, 1, 0));
            const __m512d d = _mm512_shuffle_f64x2 (t [4 + p], t [6 + p], _MM_SHUFFLE (3, 2, 3, 2));
            r [p].v = _mm512_shuffle_f64x2 (a, c, _MM_SHUFFLE (2, 0, 2, 0));
            r [2 + p].v = _mm512_shuffle_f64x2 (a, c, _MM_SHUFFLE (3, 1, 3, 1));
            r [4 + p].v = _mm512_shuffle_f64x2 (b, d, _MM_SHUFFLE (2, 0, 2, 0));
            r [6 + p].v = _mm512_shuffle_f64x2 (b, d, _MM_SHUFFLE (3, 1, 3, 1));
        }
    }
};

struct Avx512F
{
    using Scalar = float;
    using Double = Avx512D;
    static constexpr int W = 16;
    static constexpr int KERNEL_VECTORS = 32;
    __m512 v;

    QUARN_AVX512 static Avx512F load (const float *p) { return { _mm512_loadu_ps (p) }; }
    QUARN_AVX512 void store (float *p) const { _mm512_storeu_ps (p, v); }
    QUARN_AVX512 void stream (float *p) const { _mm512_stream_ps (p, v); }
    QUARN_AVX512 static void fence () { _mm_sfence (); }
    QUARN_AVX512 static Avx512F splat (float x) { return { _mm512_set1_ps (x) }; }

    QUARN_AVX512 friend Avx512F operator + (const Avx512F &a, const Avx512F &b) { return { _mm512_add_ps (a.v, b.v) }; }
    QUARN_AVX512 friend Avx512F operator - (const Avx512F &a, const Avx512F &b) { return { _mm512_sub_ps (a.v, b.v) }; }
    QUARN_AVX512 friend Avx512F operator * (const Avx512F &a, const Avx512F &b) { return { _mm512_mul_ps (a.v, b.v) }; }
    QUARN_AVX512 friend Avx512F mul_add (const Avx512F &a, const Avx512F &b, const Avx512F &c) { return { _mm512_fmadd_ps (a.v, b.v, c.v) }; }
    QUARN_AVX512 friend Avx512F mul_sub (const Avx512F &a, const Avx512F &b, const Avx512F &c) { return { _mm512_fmsub_ps (a.v, b.v, c.v) }; }

    QUARN_AVX512 friend Avx512F reverse (const Avx512F &a)
    {
        return { _mm512_permutexvar_ps (
            _mm512_setr_epi32 (15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0), a.v) };
    }

    QUARN_AVX512 friend Avx512F shift_in (const Avx512F &a, const Avx512F &b)
    {
        return { _mm512_castsi512_ps (_mm512_alignr_epi32 (_mm512_castps_si512 (b.v), _mm512_castps_si512 (a.v), 15)) };
    }

    QUARN_AVX512 static void transpose (Avx512F r [16])
    {
        // Pairs, then quads within each 128-bit lane, then the 128-bit lanes.
        __m512 t [16];
#pragma GCC unroll 16
        for (int k = 0; k < 16; k += 2)
        {
            t [k] = _mm512_unpacklo_ps (r [k].v, r [k + 1].v);
            t [k + 1] = _mm512_unpackhi_ps (r [k].v, r [k + 1].v);
        }
        __m512 u [16];
#pragma GCC unroll 16
        for (int k = 0; k < 16; k += 4)
        {
            u [k] = _mm512_shuffle_ps (t [k], t [k + 2], _MM_SHUFFLE (1, 0, 1, 0));
            u [k + 1] = _mm512_shuffle_ps (t [k], t [k + 2], _MM_SHUFFLE (3, 2, 3, 2));
            u [k + 2] = _mm512_shuffle_ps (t [k + 1], t [k + 3], _MM_SHUFFLE (1, 0, 1, 0));
            u [k + 3] = _mm512_shuffle_ps (t [k + 1], t [k + 3], _MM_SHUFFLE (3, 2, 3, 2));
        }
        // u [4 q + j] holds, in 128-bit lane l, elements 4 l .. 4 l + 3 of
        // column j of rows 4 q .. 4 q + 3. Gather the 128-bit lanes.
#pragma GCC unroll 16
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

    QUARN_AVX512 static Avx512F from_doubles (const Avx512D &lo, const Avx512D &hi)
    {
        const __m256 l = _mm512_cvtpd_ps (lo.v);
        const __m256 h = _mm512_cvtpd_ps (hi.v);
        return { _mm512_castpd_ps (_mm512_insertf64x4 (
            _mm512_castps_pd (_mm512_castps256_ps512 (l)), _mm256_castps_pd (h), 1)) };
    }
};

}  // namespace quarn::detail

#endif  // QUARN_DETAIL_VEC_X86_H
