// SPDX-License-Identifier: MIT
// The arithmetic that every path shares: the radix-2 butterfly of each
// direction, the first three stages, and the loop of a merge pass. Written
// over an "element" type E: a one-lane vocabulary over float or double for
// the scalar passes, or a vector of W lanes for the vector paths, which then
// run W transforms side by side. The scalar passes of FFTReal.h and the
// vector kernels thus compute with the same expressions in the same order.

#ifndef QUARN_DETAIL_BUTTERFLY_H
#define QUARN_DETAIL_BUTTERFLY_H

#include <cstddef>

namespace quarn::detail
{

using Idx = std::ptrdiff_t;    // positions in the arrays

// Every function of the kernels that handles vectors is inlined into the
// steps that dispatch.h compiles for each instruction set, even in a debug
// build: compiled on its own, without the instruction set, such a function
// would disagree with its callers about where a vector argument or result
// lies, and read garbage.
#if defined (__GNUC__) || defined (__clang__)
#define QUARN_INLINE [[gnu::always_inline]] inline
#define QUARN_INLINE_LAMBDA __attribute__ ((always_inline))
#else
#define QUARN_INLINE inline
#define QUARN_INLINE_LAMBDA
#endif

// The length of an array sized by a template's int constant (GCC warns of a
// sign change there otherwise).
constexpr std::size_t count (int n)
{
    return static_cast <std::size_t> (n);
}

// The vocabulary of one lane: plain arithmetic on T, nothing fused, so the
// scalar passes compute exactly what their expressions say. The vector
// vocabularies (vec_x86.h, vec_neon.h) offer the same operations on W lanes.
template <class T>
struct One
{
    using Scalar = T;
    static constexpr int W = 1;
    static constexpr int KERNEL_VECTORS = 16;   // (no kernel's blocks: the straight kernels)
    T v;

    QUARN_INLINE static One load (const T *p) { return { *p }; }
    QUARN_INLINE void store (T *p) const { *p = v; }
    QUARN_INLINE static One splat (T x) { return { x }; }

    QUARN_INLINE friend One operator + (One a, One b) { return { a.v + b.v }; }
    QUARN_INLINE friend One operator - (One a, One b) { return { a.v - b.v }; }
    QUARN_INLINE friend One operator * (One a, One b) { return { a.v * b.v }; }
    QUARN_INLINE friend One mul_add (One a, One b, One c) { return { a.v * b.v + c.v }; }   // a b + c
    QUARN_INLINE friend One mul_sub (One a, One b, One c) { return { a.v * b.v - c.v }; }   // a b - c
};

// Element k of an array of W-lane elements: W consecutive samples.
template <class E>
QUARN_INLINE E load_at (const typename E::Scalar *p, Idx k)
{
    return E::load (p + k * E::W);
}

template <class E>
QUARN_INLINE void store_at (typename E::Scalar *p, Idx k, const E &v)
{
    v.store (p + k * E::W);
}

// ---- Butterflies -------------------------------------------------------------
// A merge at index i, 0 < i < n/2, of two packed spectra of n points into one
// of 2n points: (a, b) are the real and imaginary elements of the first at i
// (positions i and n/2 + i), (x, y) those of the second, (c, s) the cosine
// and sine of i pi / n. Outputs: the real elements of the result at i and
// n - i, its imaginary elements at i and n - i (positions n + i, 2n - i).
template <class E>
QUARN_INLINE void merge_butterfly (const E &a, const E &b, const E &x, const E &y, const E &c, const E &s,
                             E &re, E &re_mirror, E &im, E &im_mirror)
{
    const E v = mul_sub (x, c, y * s);
    const E v2 = mul_add (x, s, y * c);
    re = a + v;
    re_mirror = a - v;
    im = v2 + b;
    im_mirror = v2 - b;
}

// The inverse of merge_butterfly, doubled: from the elements re, re_mirror,
// im, im_mirror of the merged spectrum back to twice (a, b) and (x, y).
template <class E>
QUARN_INLINE void split_butterfly (const E &re, const E &re_mirror, const E &im, const E &im_mirror,
                             const E &c, const E &s, E &a, E &b, E &x, E &y)
{
    a = re + re_mirror;
    b = im - im_mirror;
    const E vr = re - re_mirror;
    const E vi = im + im_mirror;
    x = mul_add (vr, c, vi * s);
    y = mul_sub (vi, c, vr * s);
}

// ---- The first three stages --------------------------------------------------
// Each reads its inputs through in (j) and writes its outputs through
// out (j, value), so that the scalar passes read and write their arrays
// directly and the vector kernels their registers.

// Stages 1 and 2: the packed spectrum of the four samples in (0 .. 3), which
// are taken in bit-reversed order.
template <class In, class Out>
QUARN_INLINE void stages_1_2 (In in, Out out)
{
    const auto x0 = in (0);
    const auto x1 = in (1);
    const auto x2 = in (2);
    const auto x3 = in (3);
    out (1, x0 - x1);
    out (3, x2 - x3);
    const auto s0 = x0 + x1;
    const auto s2 = x2 + x3;
    out (0, s0 + s2);
    out (2, s0 - s2);
}

// Their inverse, doubled: the four samples (in bit-reversed order) of the
// spectrum in (0 .. 3).
template <class In, class Out>
QUARN_INLINE void stages_1_2_inv (In in, Out out)
{
    const auto s0 = in (0) + in (2);
    const auto s2 = in (0) - in (2);
    const auto d1 = in (1) + in (1);
    const auto d3 = in (3) + in (3);
    out (0, s0 + d1);
    out (1, s0 - d1);
    out (2, s2 + d3);
    out (3, s2 - d3);
}

// Stage 3: two packed 4-point spectra in (0 .. 7) into one of 8 points, with
// k the sample type's sqrt (2) / 2.
template <class In, class Out, class E>
QUARN_INLINE void stage_3 (In in, Out out, const E &k)
{
    // All read before any is written: out may write where in reads.
    const E s0 = in (0);
    const E s1 = in (1);
    const E s2 = in (2);
    const E s3 = in (3);
    const E s4 = in (4);
    const E s5 = in (5);
    const E s6 = in (6);
    const E s7 = in (7);
    out (0, s0 + s4);
    out (4, s0 - s4);
    out (2, s2);
    out (6, s6);
    E v = (s5 - s7) * k;
    out (1, s1 + v);
    out (3, s1 - v);
    v = (s5 + s7) * k;
    out (5, v + s3);
    out (7, v - s3);
}

// Its inverse, doubled (1 / (2 k) is k itself).
template <class In, class Out, class E>
QUARN_INLINE void stage_3_inv (In in, Out out, const E &k)
{
    const E s0 = in (0);
    const E s1 = in (1);
    const E s2 = in (2);
    const E s3 = in (3);
    const E s4 = in (4);
    const E s5 = in (5);
    const E s6 = in (6);
    const E s7 = in (7);
    out (0, s0 + s4);
    out (4, s0 - s4);
    out (2, s2 + s2);
    out (6, s6 + s6);
    out (1, s1 + s3);
    out (3, s5 - s7);
    const E v = s1 - s3;
    const E w = s5 + s7;
    out (5, (w + v) * k);
    out (7, (w - v) * k);
}

// ---- Merge and split passes --------------------------------------------------
// Over `len` elements from sf to df, in blocks of 2n. The twiddle source
// gives tw.start_block () before each block, then tw.next (i, c, s), the
// cosine and sine of i pi / n, for i = 1 .. n/2 - 1 in increasing order.

template <class E, class Twiddles>
QUARN_INLINE void merge_blocks (typename E::Scalar *df, const typename E::Scalar *sf,
                          Idx len, Idx n, Twiddles &tw)
{
    const Idx h = n >> 1;
    for (Idx c = 0; c < len; c += 2 * n)
    {
        // The two spectra's real and imaginary halves; the result's.
        const typename E::Scalar * const s1r = sf + c * E::W;
        const typename E::Scalar * const s1i = s1r + h * E::W;
        const typename E::Scalar * const s2r = s1r + n * E::W;
        const typename E::Scalar * const s2i = s1i + n * E::W;
        typename E::Scalar * const dfr = df + c * E::W;
        typename E::Scalar * const dfi = dfr + n * E::W;

        // The extreme coefficients are real.
        store_at (dfr, 0, load_at <E> (s1r, 0) + load_at <E> (s2r, 0));
        store_at (dfi, 0, load_at <E> (s1r, 0) - load_at <E> (s2r, 0));
        store_at (dfr, h, load_at <E> (s1r, h));
        store_at (dfi, h, load_at <E> (s2r, h));

        tw.start_block ();
        for (Idx i = 1; i < h; ++ i)
        {
            E co;
            E si;
            tw.next (i, co, si);
            E re;
            E re_m;
            E im;
            E im_m;
            merge_butterfly (load_at <E> (s1r, i), load_at <E> (s1i, i),
                             load_at <E> (s2r, i), load_at <E> (s2i, i),
                             co, si, re, re_m, im, im_m);
            store_at (dfr, i, re);
            store_at (dfi, -i, re_m);
            store_at (dfi, i, im);
            store_at (dfi, n - i, im_m);
        }
    }
}

template <class E, class Twiddles>
QUARN_INLINE void split_blocks (typename E::Scalar *df, const typename E::Scalar *sf,
                          Idx len, Idx n, Twiddles &tw)
{
    const Idx h = n >> 1;
    for (Idx c = 0; c < len; c += 2 * n)
    {
        const typename E::Scalar * const s = sf + c * E::W;
        typename E::Scalar * const d = df + c * E::W;

        const E r0 = load_at <E> (s, 0);
        const E i0 = load_at <E> (s, n);
        store_at (d, 0, r0 + i0);
        store_at (d, n, r0 - i0);
        const E rh = load_at <E> (s, h);
        const E ih = load_at <E> (s, n + h);
        store_at (d, h, rh + rh);
        store_at (d, n + h, ih + ih);

        tw.start_block ();
        for (Idx i = 1; i < h; ++ i)
        {
            E co;
            E si;
            tw.next (i, co, si);
            E a;
            E b;
            E x;
            E y;
            split_butterfly (load_at <E> (s, i), load_at <E> (s, n - i),
                             load_at <E> (s, n + i), load_at <E> (s, 2 * n - i),
                             co, si, a, b, x, y);
            store_at (d, i, a);
            store_at (d, h + i, b);
            store_at (d, n + i, x);
            store_at (d, n + h + i, y);
        }
    }
}

}  // namespace quarn::detail

#if defined (__GNUC__) && ! defined (__clang__)
#pragma GCC diagnostic pop
#endif

#endif  // QUARN_DETAIL_BUTTERFLY_H
