// SPDX-License-Identifier: MIT
// The vector paths, the second of five headers: four stages a sweep, two
// double passes of lanes.h fused, the second reading the first's outputs
// from registers (the same operations in the same order as two double
// passes, so the same bits). engine.h says where they run.

#ifndef QUARN_DETAIL_QUADS_H
#define QUARN_DETAIL_QUADS_H

#include "quarn/detail/lanes.h"

namespace quarn::detail
{

// ---- Quadruple passes ----------------------------------------------------------
// Passes p .. p + 3 (n = 2^p) in one sweep, over len elements in blocks of
// 16 n, all twiddles from the tables. Index i of double pass p, in each of
// the block's four blocks of 4 n, gives exactly the elements that indices
// i, 2 h - i, 2 h + i and 4 h - i of double pass p + 2 read: those follow at
// once, in registers. The elements at multiples of h (pass p's indices 0
// and h) go through d: pass p + 2's indices 0, h, 2 h, 3 h and 4 h read and
// write only those, and are done in place.

template <class V>
QUARN_INLINE void pair_twiddle (const VectorTables <typename V::Scalar> &tab, int pass, Idx i, V &c, V &s)
{
    const typename V::Scalar * const p = tab.pairs + (i << (tab.pair_level - pass + 1));
    c = V::splat (p [0]);
    s = V::splat (p [1]);
}

// Index j of double pass p + 2 (h2 = 4 h): a [m] is element j + 4 m h; o goes
// to elements j, 16 h - j, 16 h + j, 32 h - j, 8 h - j, 8 h + j, 24 h - j,
// 24 h + j.
template <class V>
QUARN_INLINE void quad_outer_at (const VectorTables <typename V::Scalar> &tab, int pass, Idx j, const V a [], V o [])
{
    V c3, s3, c4, s4;
    pair_twiddle (tab, pass + 2, j, c3, s3);
    pair_twiddle (tab, pass + 3, j, c4, s4);
    merge_double_at ([a] (int m) QUARN_INLINE_LAMBDA { return a [m]; }, c3, s3, c4, s4,
                     [o] (int m, const V &v) QUARN_INLINE_LAMBDA { o [m] = v; });
}

template <class V>
QUARN_INLINE void quad_store (typename V::Scalar *d, Idx h, Idx j, const V o [])
{
    const Idx at [8] = { j, 16 * h - j, 16 * h + j, 32 * h - j, 8 * h - j, 8 * h + j, 24 * h - j, 24 * h + j };
#pragma GCC unroll 8
    for (int m = 0; m < 8; ++ m)
    {
        store_at (d, at [m], o [m]);
    }
}

template <class V>
QUARN_INLINE void merge_blocks_quad (typename V::Scalar *df, const typename V::Scalar *sf, Idx len, Idx n,
                                     const VectorTables <typename V::Scalar> &tab, int pass, const V &k)
{
    const Idx h = n >> 1;
    for (Idx c = 0; c < len; c += 16 * n)
    {
        const typename V::Scalar * const s = sf + c * V::W;
        typename V::Scalar * const d = df + c * V::W;
        const auto gather = [d, h] (Idx j, V a []) QUARN_INLINE_LAMBDA
        {
#pragma GCC unroll 8
            for (int m = 0; m < 8; ++ m)
            {
                a [m] = load_at <V> (d, j + Idx (4 * m) * h);
            }
        };
#pragma GCC unroll 4
        for (int b = 0; b < 4; ++ b)
        {
            merge_double_extremes (d + Idx (4 * b) * n * V::W, s + Idx (4 * b) * n * V::W, n, k);
        }
        merge_double_extremes (d, d, 4 * n, k);
        {
            V a [8];
            V o [8];
            gather (2 * h, a);
            quad_outer_at (tab, pass, 2 * h, a, o);
            quad_store (d, h, 2 * h, o);
            V a3 [8];
            V o3 [8];
            gather (h, a);
            gather (3 * h, a3);
            quad_outer_at (tab, pass, h, a, o);
            quad_outer_at (tab, pass, 3 * h, a3, o3);
            quad_store (d, h, h, o);
            quad_store (d, h, 3 * h, o3);
        }

        for (Idx i = 1; i < h; ++ i)
        {
            V c1, s1, c2, s2;
            pair_twiddle (tab, pass, i, c1, s1);
            pair_twiddle (tab, pass + 1, i, c2, s2);
            V p [4][8];
#pragma GCC unroll 4
            for (int b = 0; b < 4; ++ b)
            {
                V * const o = p [b];
                merge_double_at ([s, b, h, i] (int m) QUARN_INLINE_LAMBDA { return load_at <V> (s, Idx (8 * b) * h + i + m * h); },
                                 c1, s1, c2, s2, [o] (int m, const V &v) QUARN_INLINE_LAMBDA { o [m] = v; });
            }
            // Elements j and j + 4 h of each block of 4 n, in merge_double_at's
            // order, for j = i, 2 h - i, 2 h + i, 4 h - i.
            constexpr int LO [4] = { 0, 4, 5, 1 };
            constexpr int HI [4] = { 2, 6, 7, 3 };
            const Idx js [4] = { i, 2 * h - i, 2 * h + i, 4 * h - i };
#pragma GCC unroll 4
            for (int q = 0; q < 4; ++ q)
            {
                V a [8];
#pragma GCC unroll 4
                for (int b = 0; b < 4; ++ b)
                {
                    a [2 * b] = p [b][LO [q]];
                    a [2 * b + 1] = p [b][HI [q]];
                }
                V o [8];
                quad_outer_at (tab, pass, js [q], a, o);
                quad_store (d, h, js [q], o);
            }
        }
    }
}

// Pass p + 2's index j of the inverse (h2 = 4 h): from the elements that
// quad_outer_at writes, in s; st (m, v) takes element j + 4 m h.
template <class V, class St>
QUARN_INLINE void split_quad_outer (const VectorTables <typename V::Scalar> &tab, int pass,
                                    const typename V::Scalar *s, Idx h, Idx j, const St &st)
{
    const Idx at [8] = { j, 16 * h - j, 16 * h + j, 32 * h - j, 8 * h - j, 8 * h + j, 24 * h - j, 24 * h + j };
    V c3, s3, c4, s4;
    pair_twiddle (tab, pass + 2, j, c3, s3);
    pair_twiddle (tab, pass + 3, j, c4, s4);
    split_double_at ([s, &at] (int m) QUARN_INLINE_LAMBDA { return load_at <V> (s, at [m]); }, c3, s3, c4, s4, st);
}

// The inverse of merge_blocks_quad: passes p + 3 .. p in one sweep. The
// elements at multiples of h first (pass p + 2's indices 0, h, 2 h, 3 h and
// 4 h from s, then pass p's indices 0 and h of each block of 4 n in place);
// then at each index i, pass p + 2's indices i, 2 h - i, 2 h + i, 4 h - i
// give the elements that pass p's index i reads in each block of 4 n.
template <class V>
QUARN_INLINE void split_blocks_quad (typename V::Scalar *df, const typename V::Scalar *sf, Idx len, Idx n,
                                     const VectorTables <typename V::Scalar> &tab, int pass, const V &k)
{
    const Idx h = n >> 1;
    for (Idx c = 0; c < len; c += 16 * n)
    {
        const typename V::Scalar * const s = sf + c * V::W;
        typename V::Scalar * const d = df + c * V::W;
        const auto to_d = [d, h] (Idx j) QUARN_INLINE_LAMBDA
        {
            return [d, h, j] (int m, const V &v) QUARN_INLINE_LAMBDA { store_at (d, j + Idx (4 * m) * h, v); };
        };
        split_double_extremes (d, s, 4 * n, k);
        split_quad_outer <V> (tab, pass, s, h, h, to_d (h));
        split_quad_outer <V> (tab, pass, s, h, 2 * h, to_d (2 * h));
        split_quad_outer <V> (tab, pass, s, h, 3 * h, to_d (3 * h));
#pragma GCC unroll 4
        for (int b = 0; b < 4; ++ b)
        {
            split_double_extremes (d + Idx (4 * b) * n * V::W, d + Idx (4 * b) * n * V::W, n, k);
        }

        for (Idx i = 1; i < h; ++ i)
        {
            // Pass p + 2 at j = i, 2 h - i, 2 h + i, 4 h - i: element
            // j + 4 m h of the block in q [.][m].
            const Idx js [4] = { i, 2 * h - i, 2 * h + i, 4 * h - i };
            V q [4][8];
#pragma GCC unroll 4
            for (int t = 0; t < 4; ++ t)
            {
                V * const o = q [t];
                split_quad_outer <V> (tab, pass, s, h, js [t], [o] (int m, const V &v) QUARN_INLINE_LAMBDA { o [m] = v; });
            }
            V c1, s1, c2, s2;
            pair_twiddle (tab, pass, i, c1, s1);
            pair_twiddle (tab, pass + 1, i, c2, s2);
            // Block b's elements i, 4 h - i, 4 h + i, 8 h - i, 2 h - i,
            // 2 h + i, 6 h - i, 6 h + i: j and j + 4 h of each j above.
#pragma GCC unroll 4
            for (int b = 0; b < 4; ++ b)
            {
                split_double_at ([&q, b] (int m) QUARN_INLINE_LAMBDA
                                 {
                                     constexpr int FROM [8] = { 0, 3, 0, 3, 1, 2, 1, 2 };
                                     constexpr int HIGH [8] = { 0, 0, 1, 1, 0, 0, 1, 1 };
                                     return q [FROM [m]][2 * b + HIGH [m]];
                                 },
                                 c1, s1, c2, s2,
                                 [d, b, h, i] (int m, const V &v) QUARN_INLINE_LAMBDA { store_at (d, Idx (8 * b) * h + i + m * h, v); });
            }
        }
    }
}

}  // namespace quarn::detail

#endif  // QUARN_DETAIL_QUADS_H
