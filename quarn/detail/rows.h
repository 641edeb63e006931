// SPDX-License-Identifier: MIT
// The vector paths, the fourth of five headers: the last w stages, in one
// sweep between the lanes and the packed layout.
//
// After L - w stages (lanes.h) the packed layout holds W rows of R = N / W
// elements, row p being lane bitrev_w (p). The last w stages merge them. For
// the indices i .. i + W - 1 of a chunk (0 < i < R / 2) they read elements i
// and R / 2 + i of every row, W x W transposes turn those into one vector per
// row, and the merges run W indices wide: a spectrum of 2^A R points is
// carried as its elements m R + i and m R - i (a Partial <A>), and the
// result's elements m R - i are stored reversed. The chunks start at i = 1,
// so the last lane of the last chunk is i = R / 2, which the chunks compute
// wrongly (it has no mirror); it and i = 0, the elements at the multiples of
// R / 2, depend on nothing else and are computed last, by the scalar merges
// on those 2 W elements alone (multiples_forward).

#ifndef QUARN_DETAIL_ROWS_H
#define QUARN_DETAIL_ROWS_H

#include "quarn/detail/kernels.h"
#include "quarn/detail/lanes.h"

#include <cmath>
#include <type_traits>

namespace quarn::detail
{

template <class V, int A>
struct Partial
{
    V plus [count (1 << A)];          // element m R + i
    V minus [count ((1 << A) + 1)];   // element m R - i, for m >= 1
};

// The cosines and sines of level A (pass L - w + A) at the indices of a
// chunk: for plus lane m (element m R + i; m < max (1, 2^(A-1))) the angle
// (m R + i) pi / (2^A R). Up to the table limit from the cosine level, where
// they are the entries m R + i and the mirrored ones; above, from phasors in
// double for m = 0, turned by m pi / 2^A for the others.
// (One per level per transform: the padding that its double instantiations
// leave around the empty phasors is of no account.)
template <class V, int A>
class LevelTwiddles  // NOLINT(clang-analyzer-optin.performance.Padding)
{
public:
    using T = typename V::Scalar;
    static constexpr int W = V::W;
    static constexpr int COUNT = (A == 0) ? 1 : (1 << (A - 1));

    // Cosine and sine of plus lane m, for the chunk of the last fetch.
    QUARN_INLINE const V & cos (int m) const { return _cos [m]; }
    QUARN_INLINE const V & sin (int m) const { return _sin [m]; }

    QUARN_INLINE LevelTwiddles (const VectorTables <T> &tab, Idx r)
    :   _r (r)
    {
        const int pass = tab.nbr_bits - Shape <V>::W_BITS + A;
        _phasor = pass > tab.limit;
        if (_phasor)
        {
            _row.start (tab.phasor_start (pass), 1);
#pragma GCC unroll 4
            for (int m = 1; m < COUNT; ++ m)
            {
                // m pi / 2^A = (m 2^(3 - A)) pi / 8, A <= 3
                const double angle = double (m << (3 - A)) * (PI / 8);
                _rot_c [m] = std::cos (angle);
                _rot_s [m] = std::sin (angle);
            }
        }
        else
        {
            _tab = tab.cos_level (pass);
            _top = (A == 0) ? (r >> 1) : COUNT * r;    // entries of the level
        }
    }

    // The twiddles of the chunk at i; chunks come in increasing order.
    QUARN_INLINE void fetch (Idx i)
    {
        if (_phasor)
        {
            _cos [0] = _row.cos ();
            _sin [0] = _row.sin ();
#pragma GCC unroll 4
            for (int m = 1; m < COUNT; ++ m)
            {
                _row.turned (_rot_c [m], _rot_s [m], _cos [m], _sin [m]);
            }
            _row.advance ();
        }
        else
        {
#pragma GCC unroll 4
            for (int m = 0; m < COUNT; ++ m)
            {
                _cos [m] = V::load (_tab + m * _r + i);
                _sin [m] = reverse (V::load (_tab + _top - m * _r - i - (W - 1)));
            }
        }
    }

private:
    // Widest members first: the vectors would otherwise leave padding holes.
    V _cos [count (COUNT)];
    V _sin [count (COUNT)];
    Phasors <V> _row;
    double _rot_c [count (COUNT)];
    double _rot_s [count (COUNT)];
    const T * _tab = nullptr;
    Idx _r;
    Idx _top = 0;
    bool _phasor = false;
};

// The place of a level that fewer lanes do not have.
struct NoLevel
{
    template <class Tab>
    QUARN_INLINE NoLevel (const Tab & /* tab */, Idx /* r */) {}
};

template <class V>
struct ChunkTwiddles
{
    static constexpr int W_BITS = Shape <V>::W_BITS;
    template <int A>
    using Level = typename std::conditional <(W_BITS > A), LevelTwiddles <V, A>, NoLevel>::type;

    Level <0> t0;
    Level <1> t1;
    Level <2> t2;
    Level <3> t3;

    QUARN_INLINE ChunkTwiddles (const VectorTables <typename V::Scalar> &tab, Idx r)
    :   t0 (tab, r), t1 (tab, r), t2 (tab, r), t3 (tab, r)
    {
    }

    QUARN_INLINE void fetch (Idx i)
    {
        t0.fetch (i);
        if constexpr (W_BITS > 1)
        {
            t1.fetch (i);
        }
        if constexpr (W_BITS > 2)
        {
            t2.fetch (i);
        }
        if constexpr (W_BITS > 3)
        {
            t3.fetch (i);
        }
    }

    template <int A>
    QUARN_INLINE const auto & level () const
    {
        if constexpr (A == 0)
        {
            return t0;
        }
        else if constexpr (A == 1)
        {
            return t1;
        }
        else if constexpr (A == 2)
        {
            return t2;
        }
        else
        {
            return t3;
        }
    }
};

// Level A (A >= 1) merges spectra p and q of 2^A R points into one of
// 2^(A+1) R, whose elements m R + i and m R - i go to out (m, +1, value) and
// out (m, -1, value). Plus lane m and minus lane m' are the indices m R + i
// and m' R - i of merge_blocks; minus lane m' takes the cosine and sine of
// plus lane 2^(A-1) - m', swapped.
template <class V, int A, class Tw, class Out>
QUARN_INLINE void merge_partials (const Partial <V, A> &p, const Partial <V, A> &q, const Tw &tw, Out out)
{
    constexpr int M = 1 << A;
    constexpr int H = M >> 1;
#pragma GCC unroll 8
    for (int m = 0; m < H; ++ m)
    {
        V re, re_m, im, im_m;
        merge_butterfly (p.plus [m], p.plus [H + m], q.plus [m], q.plus [H + m], tw.cos (m), tw.sin (m),
                         re, re_m, im, im_m);
        out (m, 1, re);
        out (M - m, -1, re_m);
        out (M + m, 1, im);
        out (2 * M - m, -1, im_m);
    }
#pragma GCC unroll 8
    for (int m = 1; m <= H; ++ m)
    {
        V re, re_m, im, im_m;
        merge_butterfly (p.minus [m], p.minus [H + m], q.minus [m], q.minus [H + m], tw.sin (H - m), tw.cos (H - m),
                         re, re_m, im, im_m);
        out (m, -1, re);
        out (M - m, 1, re_m);
        out (M + m, -1, im);
        out (2 * M - m, 1, im_m);
    }
}

// The inverse: the elements of a spectrum of 2^(A+1) R points, from
// in (m, +1) and in (m, -1), back into twice p and q.
template <class V, int A, class Tw, class In>
QUARN_INLINE void split_partials (In in, const Tw &tw, Partial <V, A> &p, Partial <V, A> &q)
{
    constexpr int M = 1 << A;
    constexpr int H = M >> 1;
#pragma GCC unroll 8
    for (int m = 0; m < H; ++ m)
    {
        split_butterfly (in (m, 1), in (M - m, -1), in (M + m, 1), in (2 * M - m, -1), tw.cos (m), tw.sin (m),
                         p.plus [m], p.plus [H + m], q.plus [m], q.plus [H + m]);
    }
#pragma GCC unroll 8
    for (int m = 1; m <= H; ++ m)
    {
        split_butterfly (in (m, -1), in (M - m, 1), in (M + m, -1), in (2 * M - m, 1), tw.sin (H - m), tw.cos (H - m),
                         p.minus [m], p.minus [H + m], q.minus [m], q.minus [H + m]);
    }
}

// Into a Partial, for the levels below the last.
template <class V, int A>
QUARN_INLINE auto into_partial (Partial <V, A> &d)
{
    return [&d] (int m, int sign, const V &v) QUARN_INLINE_LAMBDA
    {
        (sign > 0 ? d.plus [m] : d.minus [m]) = v;
    };
}

template <class V, int A>
QUARN_INLINE auto from_partial (const Partial <V, A> &d)
{
    return [&d] (int m, int sign) QUARN_INLINE_LAMBDA
    {
        return sign > 0 ? d.plus [m] : d.minus [m];
    };
}

// The spectrum of level A (A >= 1) of the rows k 2^A .. (k + 1) 2^A - 1,
// from their elements x and y (row p in lane bitrev_w (p)), depth first, so
// that no more is live at once than one level's two halves.
template <class V, int A>
QUARN_INLINE void merge_rows (const V x [], const V y [], int k, const ChunkTwiddles <V> &tw, Partial <V, A> &d)
{
    if constexpr (A == 1)
    {
        const int p = bit_reversed <Shape <V>::W_BITS> (2 * k);
        const int q = bit_reversed <Shape <V>::W_BITS> (2 * k + 1);
        merge_butterfly (x [p], y [p], x [q], y [q], tw.t0.cos (0), tw.t0.sin (0),
                         d.plus [0], d.minus [1], d.plus [1], d.minus [2]);
    }
    else
    {
        Partial <V, A - 1> p;
        Partial <V, A - 1> q;
        merge_rows <V, A - 1> (x, y, 2 * k, tw, p);
        merge_rows <V, A - 1> (x, y, 2 * k + 1, tw, q);
        merge_partials (p, q, tw.template level <A - 1> (), into_partial (d));
    }
}

// The inverse of merge_rows: twice the rows' elements x and y from d.
template <class V, int A>
QUARN_INLINE void split_rows (const Partial <V, A> &d, int k, const ChunkTwiddles <V> &tw, V x [], V y [])
{
    if constexpr (A == 1)
    {
        const int p = bit_reversed <Shape <V>::W_BITS> (2 * k);
        const int q = bit_reversed <Shape <V>::W_BITS> (2 * k + 1);
        split_butterfly (d.plus [0], d.minus [1], d.plus [1], d.minus [2], tw.t0.cos (0), tw.t0.sin (0),
                         x [p], y [p], x [q], y [q]);
    }
    else
    {
        Partial <V, A - 1> p;
        Partial <V, A - 1> q;
        split_partials (from_partial (d), tw.template level <A - 1> (), p, q);
        split_rows <V, A - 1> (p, 2 * k, tw, x, y);
        split_rows <V, A - 1> (q, 2 * k + 1, tw, x, y);
    }
}

// ---- The elements at the multiples of R / 2 ------------------------------------
// Element j R / 2 of the result depends only on the rows' elements 0 and
// R / 2: on those 2 W elements the last w merges are the merges of passes
// 1 .. w of a transform of 2 W points, with its twiddles.

template <class V>
QUARN_INLINE void multiples_forward (const VectorTables <typename V::Scalar> &tab, typename V::Scalar *f,
                        const typename V::Scalar *lanes)
{
    using E = One <typename V::Scalar>;
    constexpr int W = V::W;
    constexpr int W_BITS = Shape <V>::W_BITS;
    const Idx h = Idx (1) << (tab.nbr_bits - W_BITS - 1);
    E a [count (2 * W)];
#pragma GCC unroll 16
    for (int p = 0; p < W; ++ p)
    {
        a [2 * p].v = lanes [bit_reversed <W_BITS> (p)];
        a [2 * p + 1].v = lanes [h * W + bit_reversed <W_BITS> (p)];
    }
    merge_in_registers <E, 2 * W, 1, W_BITS + 1> (a);
#pragma GCC unroll 32
    for (int j = 0; j < 2 * W; ++ j)
    {
        f [j * h] = a [j].v;
    }
}

template <class V>
QUARN_INLINE void multiples_backward (const VectorTables <typename V::Scalar> &tab, typename V::Scalar *lanes,
                         const typename V::Scalar *f)
{
    using E = One <typename V::Scalar>;
    constexpr int W = V::W;
    constexpr int W_BITS = Shape <V>::W_BITS;
    const Idx h = Idx (1) << (tab.nbr_bits - W_BITS - 1);
    E a [count (2 * W)];
#pragma GCC unroll 32
    for (int j = 0; j < 2 * W; ++ j)
    {
        a [j].v = f [j * h];
    }
    split_in_registers <E, 2 * W, 1, W_BITS + 1> (a);
#pragma GCC unroll 16
    for (int p = 0; p < W; ++ p)
    {
        lanes [bit_reversed <W_BITS> (p)] = a [2 * p].v;
        lanes [h * W + bit_reversed <W_BITS> (p)] = a [2 * p + 1].v;
    }
}

// ---- The sweep -------------------------------------------------------------------

// The stores of elements m R + i .. m R + i + W - 1 of the chunks. They
// start one past a line (i = 1 mod W), so each leaves a line half written
// for the next chunk. From rows half a page apart on, the rows' lines crowd
// a few L1 sets, and with 16 lanes (48 lines a chunk) that line is gone
// before the next chunk comes back to it: AVX-512 float was 8 to 11% slower
// for it from 2^14 to 2^17, 4 to 6% above. There each line is written whole
// and once, at m R + i - 1: the last lane of the previous chunk's vector,
// then the first W - 1 of this one's. The first chunk's line starts with
// element m R, and the last chunk's last lane, element m R + R / 2, is not
// written: both are multiples_forward's. With 8 lanes (AVX2 float, AVX-512
// double) the extra shuffle cost more than it saved: 2 to 9% slower.
template <class V>
class PlusStores
{
public:
    static constexpr bool WHOLE_LINES = V::W >= 16;

    QUARN_INLINE explicit PlusStores (Idx r)
    :   _whole (WHOLE_LINES && r * Idx (sizeof (typename V::Scalar)) >= Idx (PAGE_BYTES / 2))
    {
        if (_whole)
        {
#pragma GCC unroll 16
            for (int m = 0; m < V::W; ++ m)
            {
                V::splat (0).store (_carry + m * V::W);
            }
        }
    }

    // v, element m R + i of the chunk at i, for p = f + m R + i.
    QUARN_INLINE void store (typename V::Scalar *p, Idx m, const V &v)
    {
        if constexpr (WHOLE_LINES)
        {
            if (_whole)
            {
                shift_in (V::load (_carry + m * V::W), v).store (p - 1);
                v.store (_carry + m * V::W);
                return;
            }
        }
        v.store (p);
    }

    QUARN_INLINE bool whole () const { return WHOLE_LINES && _whole; }

private:
    // The previous chunk's vectors, as samples: as an array of vectors Clang
    // kept them in registers, and the chunks' work spilled (AVX-512 float 11
    // to 18% slower from 2^9 to 2^11, where they are not even used).
    alignas (64) typename V::Scalar _carry [count (WHOLE_LINES ? V::W * V::W : 1)];
    bool _whole;
};

// The stores of last_stages through a buffer, for whole lines (PlusStores)
// on AMD's CPUs (a Zen 5 EPYC measured). There the 2 W rows that a chunk
// writes, a power of two apart, crowd a few L1 sets even with whole lines,
// as in first_stages_inv: G chunks go to the buffer, and then each row's
// G W elements out at once. AVX-512 float forward from 2^14 to 2^19 6 to
// 21% faster so with f off a line, 0 to 7% on one; with f on a line 14%
// slower at 2^13, where the arrays fit in L1, and 7 to 14% at 2^20 (the
// plan's range: kernels.h).
template <class V>
class StagedRows
{
public:
    using T = typename V::Scalar;
    static constexpr int W = V::W;
    static constexpr Idx G = PlusStores <V>::WHOLE_LINES ? 8 : 1;

    QUARN_INLINE explicit StagedRows (bool on) : _on (on) {}

    // False at compile time for fewer lanes.
    QUARN_INLINE bool on () const { return G > 1 && _on; }

    // Where the current chunk's vector of row m goes: plus rows as the
    // elements from m R + i0 - 1 (PlusStores writes one before), minus rows
    // backwards from the end of the buffer's row.
    QUARN_INLINE T * plus (Idx m) { return _rows [m] + _g * W + 1; }
    QUARN_INLINE T * minus (Idx m) { return _rows [W + m - 1] + (G - 1 - _g) * W; }

    // After the chunk at i: when G chunks are in, out, plus row m to the
    // G W elements from m R + i0 - 1 on, minus row m to those up to
    // m R - i0. Whole rows take R of at least half a page, so the h / W
    // chunks are a multiple of G, and none is left over.
    QUARN_INLINE void next (T *df, Idx r, Idx i)
    {
        if (! on () || ++ _g < G)
        {
            return;
        }
#pragma GCC unroll 1
        for (Idx m = 0; m < W; ++ m)
        {
            copy (_rows [m], df + m * r + _i0 - 1);
        }
#pragma GCC unroll 1
        for (Idx m = 1; m <= W; ++ m)
        {
            copy (_rows [W + m - 1], df + m * r - _i0 - G * W + 1);
        }
        _g = 0;
        _i0 = i + W;
    }

private:
    QUARN_INLINE static void copy (const T *from, T *to)
    {
#pragma GCC unroll 8
        for (Idx c = 0; c < G; ++ c)
        {
            V::load (from + c * W).store (to + c * W);
        }
    }

    alignas (64) T _rows [count (G > 1 ? 2 * W : 1)][count (G * W)];
    Idx _i0 = 1;
    Idx _g = 0;
    bool _on;
};

// The lanes in sf (after L - w stages) into the packed spectrum in df.
template <class V>
QUARN_INLINE void last_stages (const VectorTables <typename V::Scalar> &tab, typename V::Scalar *df,
                  const typename V::Scalar *sf)
{
    constexpr int W = V::W;
    constexpr int W_BITS = Shape <V>::W_BITS;
    const Idx r = Idx (1) << (tab.nbr_bits - W_BITS);
    const Idx h = r >> 1;
    ChunkTwiddles <V> tw (tab, r);
    PlusStores <V> plus (r);
    // Where the plan says so, the chunks' stores go to a buffer, G chunks
    // at a time, and from it row by row: G W consecutive elements each
    // (see StagedRows).
    StagedRows <V> staged (tab.staged_last && plus.whole ());
    for (Idx i = 1; i < h; i += W)
    {
        V x [count (W)];
        V y [count (W)];
#pragma GCC unroll 16
        for (Idx k = 0; k < W; ++ k)
        {
            x [k] = load_at <V> (sf, i + k);
            // Element R of the rows is past the array: the lane that reads it
            // (i + k = R / 2) is recomputed by multiples_forward.
            y [k] = load_at <V> (sf, (k < W - 1 || i + k < h) ? h + i + k : h + i + k - 1);
        }
        V::transpose (x);
        V::transpose (y);

        tw.fetch (i);
        // The last level's outputs are final: stored as they come.
        const auto store = [df, r, i, &plus, &staged] (Idx m, int sign, const V &v) QUARN_INLINE_LAMBDA
        {
            if (staged.on ())
            {
                sign > 0 ? plus.store (staged.plus (m), m, v) : reverse (v).store (staged.minus (m));
                return;
            }
            if (sign > 0)
            {
                plus.store (df + m * r + i, m, v);
            }
            else
            {
                reverse (v).store (df + m * r - i - (W - 1));
            }
        };
        if constexpr (W_BITS == 1)
        {
            V re, re_m, im, im_m;
            merge_butterfly (x [0], y [0], x [1], y [1], tw.t0.cos (0), tw.t0.sin (0), re, re_m, im, im_m);
            store (0, 1, re);
            store (1, -1, re_m);
            store (1, 1, im);
            store (2, -1, im_m);
        }
        else
        {
            Partial <V, W_BITS - 1> p;
            Partial <V, W_BITS - 1> q;
            merge_rows <V, W_BITS - 1> (x, y, 0, tw, p);
            merge_rows <V, W_BITS - 1> (x, y, 1, tw, q);
            merge_partials (p, q, tw.template level <W_BITS - 1> (), store);
        }
        staged.next (df, r, i);
    }
    multiples_forward <V> (tab, df, sf);
}

// The inverse of last_stages: the packed spectrum in sf into lanes in df.
template <class V>
QUARN_INLINE void last_stages_inv (const VectorTables <typename V::Scalar> &tab, typename V::Scalar *df,
                      const typename V::Scalar *sf)
{
    constexpr int W = V::W;
    constexpr int W_BITS = Shape <V>::W_BITS;
    const Idx r = Idx (1) << (tab.nbr_bits - W_BITS);
    const Idx h = r >> 1;
    // First: its elements (0 and R / 2 of the rows) are written lane by lane,
    // and the first kernel, which reads them as vectors, may follow at once
    // on short transforms; a vector load waits long for narrower stores still
    // in flight. The chunks leave these elements alone.
    multiples_backward <V> (tab, df, sf);
    ChunkTwiddles <V> tw (tab, r);
    for (Idx i = 1; i < h; i += W)
    {
        tw.fetch (i);
        // The last level's inputs are read as they are needed.
        const auto load = [sf, r, i] (Idx m, int sign) QUARN_INLINE_LAMBDA
        {
            return (sign > 0) ? V::load (sf + m * r + i) : reverse (V::load (sf + m * r - i - (W - 1)));
        };
        V x [count (W)];
        V y [count (W)];
        if constexpr (W_BITS == 1)
        {
            split_butterfly (load (0, 1), load (1, -1), load (1, 1), load (2, -1), tw.t0.cos (0), tw.t0.sin (0),
                             x [0], y [0], x [1], y [1]);
        }
        else
        {
            Partial <V, W_BITS - 1> p;
            Partial <V, W_BITS - 1> q;
            split_partials (load, tw.template level <W_BITS - 1> (), p, q);
            split_rows <V, W_BITS - 1> (p, 0, tw, x, y);
            split_rows <V, W_BITS - 1> (q, 1, tw, x, y);
        }
        V::transpose (x);
        V::transpose (y);
#pragma GCC unroll 16
        for (Idx k = 0; k < W; ++ k)
        {
            // The last lane of the last chunk (i + k = R / 2) would write
            // element R / 2, which multiples_backward holds, and element R,
            // which is past the array (see last_stages).
            if (k < W - 1 || i + k < h)
            {
                store_at (df, i + k, x [k]);
                store_at (df, h + i + k, y [k]);
            }
        }
    }
}

}  // namespace quarn::detail

#endif  // QUARN_DETAIL_ROWS_H
