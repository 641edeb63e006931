// SPDX-License-Identifier: MIT
// The vector paths, the second of five headers: the lane passes, one stage
// a sweep (right after the first kernel) or two, all in place in the
// scratch array: index i of a pass reads the elements at i modulo h and
// writes those at i and -i modulo h, and index h - i reads and writes the
// same set, so the two run together.

#ifndef QUARN_DETAIL_PASSES_H
#define QUARN_DETAIL_PASSES_H

#include "quarn/detail/butterfly.h"
#include "quarn/detail/lanes.h"

namespace quarn::detail
{

// ---- Single passes -------------------------------------------------------------
// merge_blocks and split_blocks of butterfly.h in place over len elements
// from d: indices i and h - i of a block read and write the same elements,
// and run together, i's outputs held back until h - i has read.

template <class V, class Tw>
QUARN_INLINE void merge_blocks_in_place (typename V::Scalar *df, Idx len, Idx n, Tw &tw)
{
    using T = typename V::Scalar;
    const Idx h = n >> 1;
    for (Idx c = 0; c < len; c += 2 * n)
    {
        T * const d = df + c * V::W;
        const auto ld = [d] (Idx e) QUARN_INLINE_LAMBDA { return load_at <V> (d, e); };
        const auto st = [d] (Idx e, const V &v) QUARN_INLINE_LAMBDA { store_at (d, e, v); };
        // The extreme coefficients are real; those at h stay where they are.
        const V a0 = ld (0);
        const V b0 = ld (n);
        st (0, a0 + b0);
        st (n, a0 - b0);

        tw.start_block ();
        for (Idx i = 1; 2 * i <= h; ++ i)
        {
            const Idx j = h - i;
            V co, si;
            tw.next (i, co, si);
            V re, re_m, im, im_m;
            merge_butterfly (ld (i), ld (h + i), ld (n + i), ld (n + h + i), co, si, re, re_m, im, im_m);
            st (i, re);
            st (n + i, im);
            if (j != i)
            {
                tw.template mirror <2> (j, co, si);
                V re2, re2_m, im2, im2_m;
                merge_butterfly (ld (j), ld (h + j), ld (n + j), ld (n + h + j), co, si, re2, re2_m, im2, im2_m);
                st (j, re2);
                st (n - j, re2_m);
                st (n + j, im2);
                st (2 * n - j, im2_m);
            }
            st (n - i, re_m);
            st (2 * n - i, im_m);
        }
    }
}

template <class V, class Tw>
QUARN_INLINE void split_blocks_in_place (typename V::Scalar *df, Idx len, Idx n, Tw &tw)
{
    using T = typename V::Scalar;
    const Idx h = n >> 1;
    for (Idx c = 0; c < len; c += 2 * n)
    {
        T * const d = df + c * V::W;
        const auto ld = [d] (Idx e) QUARN_INLINE_LAMBDA { return load_at <V> (d, e); };
        const auto st = [d] (Idx e, const V &v) QUARN_INLINE_LAMBDA { store_at (d, e, v); };
        const V r0 = ld (0);
        const V i0 = ld (n);
        const V rh = ld (h);
        const V ih = ld (n + h);
        st (0, r0 + i0);
        st (n, r0 - i0);
        st (h, rh + rh);
        st (n + h, ih + ih);

        tw.start_block ();
        for (Idx i = 1; 2 * i <= h; ++ i)
        {
            const Idx j = h - i;
            V co, si;
            tw.next (i, co, si);
            V a, b, x, y;
            split_butterfly (ld (i), ld (n - i), ld (n + i), ld (2 * n - i), co, si, a, b, x, y);
            st (i, a);
            st (n + i, x);
            if (j != i)
            {
                tw.template mirror <2> (j, co, si);
                V a2, b2, x2, y2;
                split_butterfly (ld (j), ld (n - j), ld (n + j), ld (2 * n - j), co, si, a2, b2, x2, y2);
                st (j, a2);
                st (h + j, b2);
                st (n + j, x2);
                st (n + h + j, y2);
            }
            st (h + i, b);
            st (n + h + i, y);
        }
    }
}

// ---- Double passes -----------------------------------------------------------
// Passes p and p + 1 (n = 2^p) in one sweep, over len elements in blocks of
// 4 n: index i of pass p gives the elements i, n - i, n + i, 2 n - i of each
// half, which are what indices i and n - i of pass p + 1 read. Index n - i of
// pass p + 1 has the cosine and sine of index i swapped.

// Index 0 of both passes, and index h of pass p, of one block of 4 n: the
// extremes, and the angle pi / 4 at index h of pass p + 1. Each element is
// read before it is written, so that d may be s.
template <class V>
QUARN_INLINE void merge_double_extremes (typename V::Scalar *d, const typename V::Scalar *s, Idx n, const V &k)
{
    const Idx h = n >> 1;
    const auto ld = [s] (Idx e) QUARN_INLINE_LAMBDA { return load_at <V> (s, e); };
    const auto st = [d] (Idx e, const V &v) QUARN_INLINE_LAMBDA { store_at (d, e, v); };
    const V x0 = ld (0);
    const V x1 = ld (n);
    const V x2 = ld (2 * n);
    const V x3 = ld (3 * n);
    const V a0 = x0 + x1;
    const V a1 = x2 + x3;
    st (0, a0 + a1);
    st (2 * n, a0 - a1);
    st (n, x0 - x1);
    st (3 * n, x2 - x3);
    V o0, o1, o2, o3;
    merge_butterfly (ld (h), ld (n + h), ld (2 * n + h), ld (3 * n + h), k, k, o0, o1, o2, o3);
    st (h, o0);
    st (2 * n - h, o1);
    st (2 * n + h, o2);
    st (4 * n - h, o3);
}

// Both passes at index i, 0 < i < h, in registers: ld (m) gives element
// i + m h of the block; st (m, v) takes its elements i, 4 h - i, 4 h + i,
// 8 h - i, 2 h - i, 2 h + i, 6 h - i, 6 h + i in turn: the pairs load
// from and store to memory through them, the fours to registers too.
template <class V, class Ld, class St>
QUARN_INLINE void merge_double_at (const Ld &ld, const V &c1, const V &s1, const V &c2, const V &s2, const St &st)
{
    V a0, a0m, a0n, a02m;
    merge_butterfly (ld (0), ld (1), ld (2), ld (3), c1, s1, a0, a0m, a0n, a02m);
    V a1, a1m, a1n, a12m;
    merge_butterfly (ld (4), ld (5), ld (6), ld (7), c1, s1, a1, a1m, a1n, a12m);
    V o0, o1, o2, o3;
    merge_butterfly (a0, a0n, a1, a1n, c2, s2, o0, o1, o2, o3);
    st (0, o0);
    st (1, o1);
    st (2, o2);
    st (3, o3);
    merge_butterfly (a0m, a02m, a1m, a12m, s2, c2, o0, o1, o2, o3);
    st (4, o0);
    st (5, o1);
    st (6, o2);
    st (7, o3);
}

// Index i of a block of 4 n (h = n / 2) and its partner h - i: every
// element of the two lies a multiple of h up from i or down from 8 h - i.
// Two pointers, `up` and `down`, so that the addresses need few registers
// (with a pointer per stream, SSE2 and AVX2 spilled them: 4 to 9% slower).
template <class T>
struct IndexPair
{
    T *up;
    T *down;
    Idx hw;   // h elements of W lanes

    // merge_double_at's outputs (split_double_at's inputs) in turn: up or
    // down by BY [m] h; for h - i, up and down swap, 7 h further.
    static constexpr bool UP [8] = { true, false, true, false, false, true, false, true };
    static constexpr int BY [8] = { 0, -4, 4, 0, -6, 2, -2, 6 };

    // Element i + m h, and h - i + m h.
    QUARN_INLINE T * straight (int m) const { return up + m * hw; }
    QUARN_INLINE T * partner_straight (int m) const { return down + (m - 7) * hw; }
    // Output m of merge_double_at at i, and at h - i.
    QUARN_INLINE T * mirrored (int m) const { return UP [m] ? up + BY [m] * hw : down + BY [m] * hw; }
    QUARN_INLINE T * partner_mirrored (int m) const
    {
        return UP [m] ? down + (BY [m] - 7) * hw : up + (BY [m] + 7) * hw;
    }
};

// Passes p and p + 1 in place over len elements from df: per block of 4 n,
// `extremes` (d), then for i = 1 .. h / 2, body (pair, paired, tw_i, tw_hi),
// paired false for i = h / 2, its own partner; tw_i and tw_hi the cosines
// and sines (c1, s1, c2, s2) of both passes at i and at h - i (taken at
// h / 2 too, unused: a branch there cost AVX2 1 to 2%). Index i's
// outputs are elements at i and -i modulo h; so are index h - i's, and the
// two read exactly the elements they write: the body runs each pair with its
// elements in registers.
template <class V, class Tw1, class Tw2, class Extremes, class Body>
QUARN_INLINE void double_pass_in_place (typename V::Scalar *df, Idx len, Idx n, Tw1 &tw1, Tw2 &tw2,
                                        const Extremes &extremes, const Body &body)
{
    using T = typename V::Scalar;
    const Idx h = n >> 1;
    for (Idx c = 0; c < len; c += 4 * n)
    {
        T * const d = df + c * V::W;
        extremes (d);
        tw1.start_block ();
        tw2.start_block ();
        IndexPair <T> pair { d + V::W, d + (8 * h - 1) * V::W, h * V::W };
        for (Idx i = 1; 2 * i <= h; ++ i, pair.up += V::W, pair.down -= V::W)
        {
            V tw_i [4];
            V tw_hi [4];
            tw1.next (i, tw_i [0], tw_i [1]);
            tw2.next (i, tw_i [2], tw_i [3]);
            const Idx j = h - i;
            tw1.template mirror <2> (j, tw_hi [0], tw_hi [1]);
            tw2.template mirror <4> (j, tw_hi [2], tw_hi [3]);
            body (pair, j != i, tw_i, tw_hi);
        }
    }
}

// Both passes in place; i's outputs that h - i reads (1, 3, 4, 6) wait in
// registers until it has.
template <class V, class Tw1, class Tw2>
QUARN_INLINE void merge_blocks_double (typename V::Scalar *df, Idx len, Idx n, Tw1 &tw1, Tw2 &tw2, const V &k)
{
    using P = IndexPair <typename V::Scalar>;
    const auto held = [] (int m) QUARN_INLINE_LAMBDA { return m == 1 || m == 3 || m == 4 || m == 6; };
    double_pass_in_place <V> (df, len, n, tw1, tw2,
        [n, &k] (typename V::Scalar *d) QUARN_INLINE_LAMBDA { merge_double_extremes (d, d, n, k); },
        [&held] (const P &p, bool paired, const V tw_i [], const V tw_hi []) QUARN_INLINE_LAMBDA
        {
            V o [8];
            merge_double_at ([&p] (int m) QUARN_INLINE_LAMBDA { return V::load (p.straight (m)); },
                             tw_i [0], tw_i [1], tw_i [2], tw_i [3],
                             [&] (int m, const V &v) QUARN_INLINE_LAMBDA
                             {
                                 if (held (m)) { o [m] = v; } else { v.store (p.mirrored (m)); }
                             });
            if (paired)
            {
                merge_double_at ([&p] (int m) QUARN_INLINE_LAMBDA { return V::load (p.partner_straight (m)); },
                                 tw_hi [0], tw_hi [1], tw_hi [2], tw_hi [3],
                                 [&p] (int m, const V &v) QUARN_INLINE_LAMBDA { v.store (p.partner_mirrored (m)); });
            }
#pragma GCC unroll 8
            for (int m = 1; m < 8; ++ m)
            {
                if (held (m))
                {
                    o [m].store (p.mirrored (m));
                }
            }
        });
}

// The inverses of merge_double_extremes and merge_double_at, doubled per
// pass. The same order of elements.
template <class V>
QUARN_INLINE void split_double_extremes (typename V::Scalar *d, const typename V::Scalar *s, Idx n, const V &k)
{
    const Idx h = n >> 1;
    const auto ld = [s] (Idx e) QUARN_INLINE_LAMBDA { return load_at <V> (s, e); };
    const auto st = [d] (Idx e, const V &v) QUARN_INLINE_LAMBDA { store_at (d, e, v); };
    const V x0 = ld (0);
    const V x1 = ld (n);
    const V x2 = ld (2 * n);
    const V x3 = ld (3 * n);
    const V a0 = x0 + x2;
    const V a1 = x0 - x2;
    const V a0n = x1 + x1;
    const V a1n = x3 + x3;
    st (0, a0 + a0n);
    st (n, a0 - a0n);
    st (2 * n, a1 + a1n);
    st (3 * n, a1 - a1n);
    V a0h, a0nh, a1h, a1nh;
    split_butterfly (ld (h), ld (n + h), ld (2 * n + h), ld (3 * n + h), k, k, a0h, a0nh, a1h, a1nh);
    st (h, a0h + a0h);
    st (n + h, a0nh + a0nh);
    st (2 * n + h, a1h + a1h);
    st (3 * n + h, a1nh + a1nh);
}

// ld (m) gives the block's elements i, 4 h - i, 4 h + i, 8 h - i, 2 h - i,
// 2 h + i, 6 h - i, 6 h + i in turn; st (m, v) takes element i + m h.
template <class V, class Ld, class St>
QUARN_INLINE void split_double_at (const Ld &ld, const V &c1, const V &s1, const V &c2, const V &s2, const St &st)
{
    V a0, a0n, a1, a1n;
    split_butterfly (ld (0), ld (1), ld (2), ld (3), c2, s2, a0, a0n, a1, a1n);
    V a0m, a02m, a1m, a12m;
    split_butterfly (ld (4), ld (5), ld (6), ld (7), s2, c2, a0m, a02m, a1m, a12m);
    V o0, o1, o2, o3;
    split_butterfly (a0, a0m, a0n, a02m, c1, s1, o0, o1, o2, o3);
    st (0, o0);
    st (1, o1);
    st (2, o2);
    st (3, o3);
    split_butterfly (a1, a1m, a1n, a12m, c1, s1, o0, o1, o2, o3);
    st (4, o0);
    st (5, o1);
    st (6, o2);
    st (7, o3);
}

// The inverse of merge_blocks_double, doubled per pass, in place the same
// way; h - i reads i's odd outputs, which wait in registers.
template <class V, class Tw1, class Tw2>
QUARN_INLINE void split_blocks_double (typename V::Scalar *df, Idx len, Idx n, Tw1 &tw1, Tw2 &tw2, const V &k)
{
    using P = IndexPair <typename V::Scalar>;
    double_pass_in_place <V> (df, len, n, tw1, tw2,
        [n, &k] (typename V::Scalar *d) QUARN_INLINE_LAMBDA { split_double_extremes (d, d, n, k); },
        [] (const P &p, bool paired, const V tw_i [], const V tw_hi []) QUARN_INLINE_LAMBDA
        {
            V o [8];
            split_double_at ([&p] (int m) QUARN_INLINE_LAMBDA { return V::load (p.mirrored (m)); },
                             tw_i [0], tw_i [1], tw_i [2], tw_i [3],
                             [&] (int m, const V &v) QUARN_INLINE_LAMBDA
                             {
                                 if ((m & 1) != 0) { o [m] = v; } else { v.store (p.straight (m)); }
                             });
            if (paired)
            {
                split_double_at ([&p] (int m) QUARN_INLINE_LAMBDA { return V::load (p.partner_mirrored (m)); },
                                 tw_hi [0], tw_hi [1], tw_hi [2], tw_hi [3],
                                 [&p] (int m, const V &v) QUARN_INLINE_LAMBDA { v.store (p.partner_straight (m)); });
            }
#pragma GCC unroll 4
            for (int m = 1; m < 8; m += 2)
            {
                o [m].store (p.straight (m));
            }
        });
}

}  // namespace quarn::detail

#endif  // QUARN_DETAIL_PASSES_H
