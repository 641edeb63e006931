// SPDX-License-Identifier: MIT
// The vector paths, the first of five headers: the shape of the stages
// that run on lanes, and their twiddles.
//
// For N = 2^L samples and W = 2^w lanes, the first L - w stages of the
// transform are W independent transforms of N / W points, one per decimated
// sequence x [m W + t]. They run with sequence t in lane t, every vector
// holding one element of all W sequences (element c of sequence t at
// c W + t): every operation is lane by lane, the twiddles are the same in
// all lanes, the mirrored elements of a merge are just other vectors, and
// the input vectors are W consecutive samples. rows.h merges the W results.
//
// - the twiddles of the lane passes (passes.h has the passes);
// - the register stages that first.h's first kernel runs on blocks of
//   2^FK elements.

#ifndef QUARN_DETAIL_LANES_H
#define QUARN_DETAIL_LANES_H

#include "quarn/detail/butterfly.h"
#include "quarn/detail/tables.h"

#include <cstddef>
#include <type_traits>

namespace quarn::detail
{

// The shape of the lane stages for the vocabulary V.
template <class V>
struct Shape
{
    static constexpr int W = V::W;
    static constexpr int W_BITS = (W == 1) ? 0 : (W == 2) ? 1 : (W == 4) ? 2 : (W == 8) ? 3 : 4;
    static_assert ((1 << W_BITS) == W, "1, 2, 4, 8 or 16 lanes");

    // Stages done in registers by the first kernel at the shortest length
    // and backward (forward, from twice the shortest length on, it may do
    // more: Engine::FK_WIDE_BITS; the schedule says which).
    static constexpr int FK_BITS = first_kernel_bits (W_BITS);

    // Shortest transform: one first-kernel block per lane, and rows of at
    // least 2 W elements for the last stages.
    static constexpr int MIN_BITS = FK_BITS + W_BITS;

    // Vectors of a whole cache line: the first kernel may fill a region of
    // its output at a time, reading x out of order without fetching a line
    // twice.
    static constexpr bool LINE_VECTORS = sizeof (typename V::Scalar) * W >= 64;

    // Up to this many bytes of input, vectors of a whole cache line take the
    // first kernel block by block of the first lane passes, each just before
    // them (up to 10% faster at 2^10 float, 5% more at 2^14 to 2^17). Past
    // it, reading x out of order costs more than it saves: in order, float
    // at 2^20 was 16% faster and double at 2^20 on 8 lanes 15%.
    static constexpr std::size_t BY_REGION_BYTES = std::size_t (1) << 19;
};

// The numbers 0 .. 31 with their 5 bits reversed.
constexpr int REVERSED_5 [32] = { 0, 16, 8, 24, 4, 20, 12, 28, 2, 18, 10, 26, 6, 22, 14, 30,
                                  1, 17, 9, 25, 5, 21, 13, 29, 3, 19, 11, 27, 7, 23, 15, 31 };

// x (0 <= x < 2^BITS, BITS <= 5) with its BITS bits reversed: a load from a
// constant table, which the compiler folds away where x is a constant, as in
// the unrolled loops of the kernels.
template <int BITS>
QUARN_INLINE constexpr int bit_reversed (Idx x)
{
    static_assert (BITS >= 0 && BITS <= 5, "up to 5 bits");
    return REVERSED_5 [x] >> (5 - BITS);
}

// x with its `bits` low bits reversed.
QUARN_INLINE Idx reversed (Idx x, int bits)
{
    Idx r = 0;
    for (int b = 0; b < bits; ++ b)
    {
        r = (r << 1) | ((x >> b) & 1);
    }
    return r;
}

// The bit-reversed successor of r = reversed (i - 1, bits), for 1 <= i <=
// 2^bits: adding 1 to i - 1 flips its trailing ones and the zero above them,
// so r flips as many bits from the top down. Without a loop: a carry loop's
// varying trip count costs a mispredicted branch on most blocks of the first
// kernel (up to 25% of its time on 4 lanes).
QUARN_INLINE Idx next_reversed (Idx r, Idx i, int bits)
{
#if defined (__GNUC__) || defined (__clang__)
    const int flips = __builtin_ctzll (static_cast <unsigned long long> (i)) + 1;
#else
    int flips = 1;
    while (((i >> (flips - 1)) & 1) == 0)
    {
        ++ flips;
    }
#endif
    const Idx all = (Idx (1) << bits) - 1;
    return r ^ (all ^ (all >> flips));
}

// ---- Phasors -----------------------------------------------------------------
// W phasors in double for a float vector V (two vectors of its instruction
// set's double type), lane j at angle (j + first) theta, stepping by W theta.
// Restarted at every block, so that no result depends on an earlier block and
// the rounding of the recurrence stays far below float resolution.

template <class V, bool = std::is_same <typename V::Scalar, float>::value>
struct Phasors
{
    using VD = typename V::Double;
    static constexpr int W = V::W;
    static constexpr int H = VD::W;

    VD c_lo, c_hi, s_lo, s_hi;
    VD step_c, step_s;

    QUARN_INLINE void start (const double *st, int first)
    {
        const double * const ss = st + PHASOR_LANES + 1;
        c_lo = VD::load (st + first);
        c_hi = VD::load (st + first + H);
        s_lo = VD::load (ss + first);
        s_hi = VD::load (ss + first + H);
        step_c = VD::splat (st [W]);
        step_s = VD::splat (ss [W]);
    }

    QUARN_INLINE V cos () const { return V::from_doubles (c_lo, c_hi); }
    QUARN_INLINE V sin () const { return V::from_doubles (s_lo, s_hi); }

    // (c, s) times (rc, rs) as complex numbers.
    QUARN_INLINE static void rotate (VD &c, VD &s, const VD &rc, const VD &rs)
    {
        const VD c2 = mul_sub (c, rc, s * rs);
        s = mul_add (c, rs, s * rc);
        c = c2;
    }

    QUARN_INLINE void advance ()
    {
        rotate (c_lo, s_lo, step_c, step_s);
        rotate (c_hi, s_hi, step_c, step_s);
    }

    // At pi / 4 - a, a the phasors' angles, rounded to float.
    QUARN_INLINE void eighth_mirror (typename V::Scalar *c, typename V::Scalar *s) const
    {
        const VD k = VD::splat (SQRT2_2);
        V::from_doubles ((c_lo + s_lo) * k, (c_hi + s_hi) * k).store (c);
        V::from_doubles ((c_lo - s_lo) * k, (c_hi - s_hi) * k).store (s);
    }

    // The phasors turned by (rc, rs), rounded to float.
    QUARN_INLINE void turned (double rc, double rs, V &c, V &s) const
    {
        VD cl = c_lo;
        VD sl = s_lo;
        VD ch = c_hi;
        VD sh = s_hi;
        rotate (cl, sl, VD::splat (rc), VD::splat (rs));
        rotate (ch, sh, VD::splat (rc), VD::splat (rs));
        c = V::from_doubles (cl, ch);
        s = V::from_doubles (sl, sh);
    }
};

// Double precision reads every twiddle from a table: no phasors.
template <class V>
struct Phasors <V, false>
{
    QUARN_INLINE void start (const double * /* st */, int /* first */) {}
    QUARN_INLINE V cos () const { return V::splat (1); }
    QUARN_INLINE V sin () const { return V::splat (0); }
    QUARN_INLINE void advance () {}
    QUARN_INLINE void turned (double /* rc */, double /* rs */, V &c, V &s) const { c = cos (); s = sin (); }
    QUARN_INLINE void eighth_mirror (typename V::Scalar * /* c */, typename V::Scalar * /* s */) const {}
};

// ---- Twiddles of lane passes -------------------------------------------------
// The cosine and sine of i pi / 2^pass, the same in every lane, for
// i = 1 .. 2^(pass-1) - 1 in increasing order: up to the table limit from
// the twiddle pairs (TableTwiddles), above it W at a time from phasors.
// Float takes both through TableOrPhasorTwiddles, which chooses at run
// time: a float pass is then compiled once, not once per source (twice
// cost a user's file 0.4 s of compile time).

template <class V>
class TableTwiddles
{
public:
    using T = typename V::Scalar;

    QUARN_INLINE TableTwiddles (const VectorTables <T> &tab, int pass)
    :   _pairs (tab.pairs),
        _step (Idx (2) << (tab.pair_level - pass))
    {
    }

    QUARN_INLINE void start_block ()
    {
        _p = _pairs;
    }

    QUARN_INLINE void next (Idx /* i */, V &c, V &s)
    {
        _p += _step;
        c = V::splat (_p [0]);
        s = V::splat (_p [1]);
    }

    // The twiddle at j = 2^pass / R - i, i the index `next` gave last: the
    // table's own entry, whatever R.
    template <int R>
    QUARN_INLINE void mirror (Idx j, V &c, V &s) const
    {
        const T * const p = _pairs + j * _step;
        c = V::splat (p [0]);
        s = V::splat (p [1]);
    }

private:
    const T * _pairs;
    Idx _step;
    const T * _p = nullptr;
};

template <class V>
class TableOrPhasorTwiddles
{
public:
    using T = typename V::Scalar;
    static constexpr int W = V::W;

    QUARN_INLINE TableOrPhasorTwiddles (const VectorTables <T> &tab, int pass, bool from_table)
    :   _table (tab, from_table ? pass : tab.pair_level),  // a level the tables hold, unread
        _start (from_table ? nullptr : tab.phasor_start (pass)),
        _from_table (from_table)
    {
    }

    QUARN_INLINE void start_block ()
    {
        if (_from_table)
        {
            _table.start_block ();
            return;
        }
        _row.start (_start, 0);
        refill ();
    }

    QUARN_INLINE void next (Idx i, V &c, V &s)
    {
        if (_from_table)
        {
            _table.next (i, c, s);
            return;
        }
        _lane = i & (W - 1);
        if (_lane == 0)
        {
            refill ();
        }
        c = V::splat (_c [_lane]);
        s = V::splat (_s [_lane]);
    }

    // The twiddle at j = 2^pass / R - i, i the index `next` gave last, for R
    // = 2 or 4: the angle pi / R - a, a that of i. For R = 2 the cosine and
    // sine swapped; for R = 4 (cos a + sin a, cos a - sin a) sqrt (2) / 2,
    // from the phasors in double, rounded once.
    template <int R>
    QUARN_INLINE void mirror (Idx j, V &c, V &s) const
    {
        static_assert (R == 2 || R == 4, "a quarter or an eighth of a turn");
        if (_from_table)
        {
            _table.template mirror <R> (j, c, s);
        }
        else if constexpr (R == 2)
        {
            c = V::splat (_s [_lane]);
            s = V::splat (_c [_lane]);
        }
        else
        {
            c = V::splat (_mc [_lane]);
            s = V::splat (_ms [_lane]);
        }
    }

private:
    QUARN_INLINE void refill ()
    {
        _row.cos ().store (_c);
        _row.sin ().store (_s);
        _row.eighth_mirror (_mc, _ms);
        _row.advance ();
    }

    Phasors <V> _row {};
    TableTwiddles <V> _table;
    const double * _start;
    Idx _lane = 0;
    bool _from_table;
    T _c [count (W)] = {};
    T _s [count (W)] = {};
    T _mc [count (W)] = {};
    T _ms [count (W)] = {};
};

// ---- First kernel --------------------------------------------------------------

// cos (k pi / 32) for k = 0 .. 16, each as the tables hold it (the double
// nearest the cosine of k (pi / 32), cos (pi / 2) as 0): the twiddles of
// levels up to 5, which the first kernel, the last stages' multiples and the
// straight kernels read as constants. Read from the tables inside the first
// kernel's loop, they were loaded again after every vector store (which may
// alias anything), with the address arithmetic of their level each time.
constexpr double COS_32 [17] = {
    1.0,
    0.9951847266721969,
    0.9807852804032304,
    0.9569403357322088,
    0.9238795325112867,
    0.881921264348355,
    0.8314696123025452,
    0.773010453362737,
    0.7071067811865476,
    0.6343932841636455,
    0.5555702330196023,
    0.4713967368259978,
    0.38268343236508984,
    0.29028467725446233,
    0.19509032201612833,
    0.09801714032956077,
    0.0
};

// cos and sin of i pi / 2^level, for 1 <= level <= 5.
template <class T>
struct LowTwiddles
{
    QUARN_INLINE static void pair (int level, Idx i, T &c, T &s)
    {
        c = static_cast <T> (COS_32 [i << (5 - level)]);
        s = static_cast <T> (COS_32 [((Idx (1) << (level - 1)) - i) << (5 - level)]);
    }
};

// Merge pass PASS on LEN elements, as merge_blocks does it in memory, from
// in (j) to out (j, value): the first kernel's passes above the third stage,
// the last stages' multiples of R / 2 (rows.h) and the straight kernels.
template <class E, int LEN, int PASS, class In, class Out>
QUARN_INLINE void merge_pass (In in, Out out)
{
    static_assert (PASS <= 5, "the low twiddles' levels");
    using Tw = LowTwiddles <typename E::Scalar>;
    constexpr Idx n = Idx (1) << PASS;
    constexpr Idx h = n >> 1;
#pragma GCC unroll 16
    for (Idx c = 0; c < LEN; c += 2 * n)
    {
        const E a = in (c);
        const E b = in (c + n);
        out (c, a + b);
        out (c + n, a - b);
        out (c + h, in (c + h));
        out (c + n + h, in (c + n + h));
#pragma GCC unroll 16
        for (Idx i = 1; i < h; ++ i)
        {
            typename E::Scalar co, si;
            Tw::pair (PASS, i, co, si);
            E re, re_m, im, im_m;
            merge_butterfly (in (c + i), in (c + h + i), in (c + n + i), in (c + n + h + i),
                             E::splat (co), E::splat (si), re, re_m, im, im_m);
            out (c + i, re);
            out (c + n - i, re_m);
            out (c + n + i, im);
            out (c + 2 * n - i, im_m);
        }
    }
}

// Its inverse, doubled.
template <class E, int LEN, int PASS, class In, class Out>
QUARN_INLINE void split_pass (In in, Out out)
{
    static_assert (PASS <= 5, "the low twiddles' levels");
    using Tw = LowTwiddles <typename E::Scalar>;
    constexpr Idx n = Idx (1) << PASS;
    constexpr Idx h = n >> 1;
#pragma GCC unroll 16
    for (Idx c = 0; c < LEN; c += 2 * n)
    {
        const E a = in (c);
        const E b = in (c + n);
        const E ah = in (c + h);
        const E bh = in (c + n + h);
        out (c, a + b);
        out (c + n, a - b);
        out (c + h, ah + ah);
        out (c + n + h, bh + bh);
#pragma GCC unroll 16
        for (Idx i = 1; i < h; ++ i)
        {
            typename E::Scalar co, si;
            Tw::pair (PASS, i, co, si);
            E p1, p2, q1, q2;
            split_butterfly (in (c + i), in (c + n - i), in (c + n + i), in (c + 2 * n - i),
                             E::splat (co), E::splat (si), p1, p2, q1, q2);
            out (c + i, p1);
            out (c + h + i, p2);
            out (c + n + i, q1);
            out (c + n + h + i, q2);
        }
    }
}

// Merge passes PASS .. END - 1 on LEN elements held in registers.
template <class E, int LEN, int PASS, int END>
QUARN_INLINE void merge_in_registers (E v [])
{
    if constexpr (PASS < END)
    {
        E u [count (LEN)];
        merge_pass <E, LEN, PASS> ([v] (Idx j) QUARN_INLINE_LAMBDA { return v [j]; },
                                   [&u] (Idx j, const E &e) QUARN_INLINE_LAMBDA { u [j] = e; });
#pragma GCC unroll 32
        for (Idx j = 0; j < LEN; ++ j)
        {
            v [j] = u [j];
        }
        merge_in_registers <E, LEN, PASS + 1, END> (v);
    }
}

// The inverse of merge_in_registers: passes END - 1 .. PASS.
template <class E, int LEN, int PASS, int END>
QUARN_INLINE void split_in_registers (E v [])
{
    if constexpr (PASS < END)
    {
        split_in_registers <E, LEN, PASS + 1, END> (v);
        E u [count (LEN)];
        split_pass <E, LEN, PASS> ([v] (Idx j) QUARN_INLINE_LAMBDA { return v [j]; },
                                   [&u] (Idx j, const E &e) QUARN_INLINE_LAMBDA { u [j] = e; });
#pragma GCC unroll 32
        for (Idx j = 0; j < LEN; ++ j)
        {
            v [j] = u [j];
        }
    }
}

}  // namespace quarn::detail

#endif  // QUARN_DETAIL_LANES_H
