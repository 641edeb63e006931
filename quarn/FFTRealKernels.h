// FFTRealKernels: the vectorised passes of FFTReal <float>, for one
// instruction set.
//
// No include guard, on purpose: quarn/FFTRealSimd.h includes this file once
// per instruction set, each time with these macros defined (and undefined
// again at the end of this file):
//     QUARN_SIMD_NS       the namespace of this copy (inside quarn::simd)
//     QUARN_SIMD_TARGET   the compiler target, for example "avx2,fma"
//     QUARN_SIMD_VECF     the vector of W floats, QUARN_SIMD_VECD of W doubles
// (see FFTRealSimd.h for their vocabulary).
//
// The passes compute what the scalar passes of FFTReal.h compute, in another
// order. For N = 2^L samples and W = 2^w lanes:
//
// - Lanes. The first L - w stages of the transform are W independent
//   transforms of N / W points, one per decimated sequence x [m W + t]; they
//   end as the W rows of N / W elements of the packed layout, sequence t in
//   row bitrev_w (t). So they run with sequence t in lane t, every vector
//   holding one element of all W sequences (element c of sequence t at
//   c W + t): every operation is lane by lane, the twiddles are the same in
//   all lanes, the mirrored elements n - i of a merge are just other
//   vectors, and the input vectors are W consecutive samples.
//   - The first kernel: stages 1 to FK_BITS on blocks of FK_LEN elements in
//     registers, reading the blocks' elements in bit-reversed order.
//   - Merge passes, two per sweep where they can, depth first: the passes
//     whose blocks fit in 2^INNER_BITS floats run block by block, while the
//     block is in the L1 cache, then those whose blocks fit in
//     2^MIDDLE_BITS floats, in L2.
// - Rows. The last w passes run in one sweep: for W indices i at a time, two
//   W x W transposes give W elements of every row, and the W rows merge in
//   registers (see last_stages). The mirrored elements m R - i of the
//   result are a vector in reverse lane order, stored whole after one
//   permutation (reverse); in the first chunk, where lane 0 would be element
//   m R itself, the vector goes one lane lower (reverse_shift) and the next
//   chunk writes its last lane again. The sines, mirrored cosine entries,
//   are read the same way.
// - Phasor passes (above TRIGO_BD_LIMIT): phasors in double, restarted at
//   every block; on rows W of them side by side (lane j at angle j theta,
//   stepping by W theta), on lanes the same, taken one angle at a time.
//
// backward runs the inverse of each step in the reverse order.

#if ! defined (QUARN_SIMD_NS)

// Included on its own, by a tool: the kernels come through FFTRealSimd.h.
#include "quarn/FFTRealSimd.h"

#else

namespace quarn::simd::QUARN_SIMD_NS
{

#define QUARN_KERNEL [[gnu::always_inline, gnu::target (QUARN_SIMD_TARGET)]] inline
#define QUARN_STEP [[gnu::target (QUARN_SIMD_TARGET)]] inline

using V = QUARN_SIMD_VECF;
using VD = QUARN_SIMD_VECD;
using Idx = std::ptrdiff_t;    // positions in the arrays

constexpr int W = V::W;
constexpr int W_BITS = (W == 4) ? 2 : (W == 8) ? 3 : 4;
constexpr int FK_BITS = W_BITS + 1;
constexpr int FK_LEN = 1 << FK_BITS;

// Shortest transform these kernels run: the lanes need one first-kernel
// block, the rows merge at least W indices at a time.
constexpr int MIN_BITS = FK_BITS + W_BITS;

// Lane passes on blocks up to 2^INNER_BITS floats (both arrays in L1) run
// block by block, then those on blocks up to 2^MIDDLE_BITS floats (both
// arrays in L2); only the passes above sweep the whole arrays.
constexpr int INNER_BITS = 12;
constexpr int MIDDLE_BITS = 15;

// The highest level of Plan::lane_twiddles that the lane passes of a
// transform of 2^bits samples read: pass L - w - 1, or the table's limit.
constexpr int lane_top (int bits)
{
    return std::min (bits - W_BITS - 1, TRIGO_BD_LIMIT);
}

constexpr float SQRT2_2 = 0.70710677f;   // sqrt (2) / 2 as float
constexpr double PI = 3.141592653589793;

// The numbers 0 .. 2^BITS - 1 with their BITS bits reversed.
template <int BITS>
struct BitRev
{
    int v [1 << BITS];

    constexpr BitRev () : v ()
    {
        for (int x = 0; x < (1 << BITS); ++ x)
        {
            for (int b = 0; b < BITS; ++ b)
            {
                v [x] |= ((x >> b) & 1) << (BITS - 1 - b);
            }
        }
    }
};

constexpr BitRev <FK_BITS> REV_FK {};
constexpr BitRev <W_BITS> REV_W {};

inline const float * cos_level (const Plan &plan, int level)
{
    return plan.cos_table + ((1 << (level - 1)) - 4);
}

inline const double * phasor_start (const Plan &plan, int pass)
{
    return plan.phasors + PHASOR_STRIDE * Idx (pass - TRIGO_BD_LIMIT - 1);
}

// Element k of all lanes.
QUARN_KERNEL V vload (const float *p, Idx k)
{
    return V::load (p + k * W);
}

QUARN_KERNEL void vstore (float *p, Idx k, V v)
{
    v.store (p + k * W);
}



// ---- Twiddle sources -------------------------------------------------------
// start_block () before each block of a pass. Twiddles of row passes:
// next (i, c, s) gives cos and sin of (i + j) pi / n in lane j, for
// i = 0, W, 2 W, ... < n / 2 in that order.

// Above TRIGO_BD_LIMIT: W phasors in double, restarted at every block so
// that no result depends on an earlier block and the rounding of the
// recurrence stays far below float resolution.
class PhasorTwiddles
{
public:
    QUARN_KERNEL explicit PhasorTwiddles (const double *start)
    :   _start (start),
        _step_c (VD::splat (start [W])),
        _step_s (VD::splat (start [PHASOR_LANES + 1 + W])),
        _c (VD::splat (1)),
        _s (VD::splat (0))
    {
    }

    QUARN_KERNEL void start_block ()
    {
        _c = VD::load (_start);
        _s = VD::load (_start + PHASOR_LANES + 1);
    }

    QUARN_KERNEL void next (Idx /* i */, V &c, V &s)
    {
        c = _c.to_float ();
        s = _s.to_float ();
        VD::rotate (_c, _s, _step_c, _step_s);
    }

private:
    const double * _start;
    VD _step_c;
    VD _step_s;
    VD _c;
    VD _s;
};

// Twiddles of lane passes: next (i, c, s) gives cos and sin of i pi / n in
// every lane, for i = 1 .. n / 2 - 1 in that order.

// Up to TRIGO_BD_LIMIT, from Plan::lane_twiddles, which hold the entries of
// the cosine table level (cos i and the mirrored entry, sin i) side by side:
// read in increasing order, they come faster than from the two ends of the
// level.
class LaneTableTwiddles
{
public:
    QUARN_KERNEL LaneTableTwiddles (const Plan &plan, int level)
    :   _tab (plan.lane_twiddles + ((1 << level) - 8))
    {
    }

    QUARN_KERNEL void start_block () {}

    QUARN_KERNEL void next (Idx i, V &c, V &s)
    {
        c = V::splat (_tab [2 * i]);
        s = V::splat (_tab [2 * i + 1]);
    }

private:
    const float * _tab;
};

// W angles at a time from the phasors of PhasorTwiddles, kept as floats.
class LanePhasorTwiddles
{
public:
    QUARN_KERNEL explicit LanePhasorTwiddles (const double *start) : _rows (start) {}

    QUARN_KERNEL void start_block ()
    {
        _rows.start_block ();
        refill ();
    }

    QUARN_KERNEL void next (Idx i, V &c, V &s)
    {
        const Idx j = i & (W - 1);
        if (j == 0)
        {
            refill ();
        }
        c = V::splat (_c [j]);
        s = V::splat (_s [j]);
    }

private:
    QUARN_KERNEL void refill ()
    {
        V c;
        V s;
        _rows.next (0, c, s);
        c.store (_c);
        s.store (_s);
    }

    PhasorTwiddles _rows;
    float _c [W] = {};
    float _s [W] = {};
};



// ---- Passes on lanes --------------------------------------------------------
// Over len floats from sf to df; n = 2^pass elements per lane.

// One pass, as FFTReal::merge_pass.
template <class Twiddles>
QUARN_KERNEL void lane_merge_single (float *df, const float *sf, Idx len, Idx n, Twiddles &tw)
{
    const Idx h = n >> 1;
    for (Idx c = 0; c < len; c += 2 * n * W)
    {
        const float * const s = sf + c;
        float * const d = df + c;

        const V s0 = vload (s, 0);
        const V sn = vload (s, n);
        vstore (d, 0, s0 + sn);
        vstore (d, n, s0 - sn);
        vstore (d, h, vload (s, h));
        vstore (d, n + h, vload (s, n + h));

        tw.start_block ();
        for (Idx i = 1; i < h; ++ i)
        {
            V co;
            V si;
            tw.next (i, co, si);
            const V a = vload (s, i);
            const V b = vload (s, h + i);
            const V x = vload (s, n + i);
            const V y = vload (s, n + h + i);
            const V v = V::mul_sub (x, co, y * si);
            vstore (d, i, a + v);
            vstore (d, n - i, a - v);
            const V v2 = V::mul_add (x, si, y * co);
            vstore (d, n + i, v2 + b);
            vstore (d, 2 * n - i, v2 - b);
        }
    }
}

// Two passes, p and p + 1 (n = 2^p): lane i of pass p gives the elements
// i, n - i, n + i, 2 n - i of each half of a block of 4 n, which are what
// lanes i and n - i of pass p + 1 read and write.
template <class Tw1, class Tw2>
QUARN_KERNEL void lane_merge_double (float *df, const float *sf, Idx len, Idx n, Tw1 &tw1, Tw2 &tw2)
{
    const Idx h = n >> 1;
    const V k = V::splat (SQRT2_2);
    for (Idx c = 0; c < len; c += 4 * n * W)
    {
        const float * const s = sf + c;
        float * const d = df + c;

        // i = 0 and i = h: pass p leaves A [0] = in [0] + in [n],
        // A [n] = in [0] - in [n], A [h] = in [h], A [n + h] = in [n + h] in
        // each half; pass p + 1 adds and subtracts at 0, keeps n and turns h
        // by pi / 4.
        {
            const V a0 = vload (s, 0) + vload (s, n);
            const V a0n = vload (s, 0) - vload (s, n);
            const V a1 = vload (s, 2 * n) + vload (s, 3 * n);
            const V a1n = vload (s, 2 * n) - vload (s, 3 * n);
            vstore (d, 0, a0 + a1);
            vstore (d, 2 * n, a0 - a1);
            vstore (d, n, a0n);
            vstore (d, 3 * n, a1n);

            const V a0h = vload (s, h);
            const V a0nh = vload (s, n + h);
            const V a1h = vload (s, 2 * n + h);
            const V a1nh = vload (s, 3 * n + h);
            const V w = (a1h - a1nh) * k;
            const V w2 = (a1h + a1nh) * k;
            vstore (d, h, a0h + w);
            vstore (d, 2 * n - h, a0h - w);
            vstore (d, 2 * n + h, w2 + a0nh);
            vstore (d, 4 * n - h, w2 - a0nh);
        }

        tw1.start_block ();
        tw2.start_block ();
        for (Idx i = 1; i < h; ++ i)
        {
            V c1;
            V s1;
            V c2;
            V s2;
            tw1.next (i, c1, s1);
            tw2.next (i, c2, s2);

            // Pass p on both halves.
            V a = vload (s, i);
            V b = vload (s, h + i);
            V x = vload (s, n + i);
            V y = vload (s, n + h + i);
            V v = V::mul_sub (x, c1, y * s1);
            V v2 = V::mul_add (x, s1, y * c1);
            const V a0 = a + v;            // A0 [i]
            const V a0m = a - v;           // A0 [n - i]
            const V a0n = v2 + b;          // A0 [n + i]
            const V a02m = v2 - b;         // A0 [2n - i]

            a = vload (s, 2 * n + i);
            b = vload (s, 2 * n + h + i);
            x = vload (s, 3 * n + i);
            y = vload (s, 3 * n + h + i);
            v = V::mul_sub (x, c1, y * s1);
            v2 = V::mul_add (x, s1, y * c1);
            const V a1 = a + v;
            const V a1m = a - v;
            const V a1n = v2 + b;
            const V a12m = v2 - b;

            // Pass p + 1, lane i ...
            const V w = V::mul_sub (a1, c2, a1n * s2);
            const V w2 = V::mul_add (a1, s2, a1n * c2);
            vstore (d, i, a0 + w);
            vstore (d, 2 * n - i, a0 - w);
            vstore (d, 2 * n + i, w2 + a0n);
            vstore (d, 4 * n - i, w2 - a0n);

            // ... and lane n - i, whose cosine and sine are swapped.
            const V w3 = V::mul_sub (a1m, s2, a12m * c2);
            const V w4 = V::mul_add (a1m, c2, a12m * s2);
            vstore (d, n - i, a0m + w3);
            vstore (d, n + i, a0m - w3);
            vstore (d, 3 * n - i, w4 + a02m);
            vstore (d, 3 * n + i, w4 - a02m);
        }
    }
}

// The inverse of lane_merge_single, doubled, as FFTReal::split_pass.
template <class Twiddles>
QUARN_KERNEL void lane_split_single (float *df, const float *sf, Idx len, Idx n, Twiddles &tw)
{
    const Idx h = n >> 1;
    for (Idx c = 0; c < len; c += 2 * n * W)
    {
        const float * const sr = sf + c;
        const float * const si = sr + n * W;
        float * const d1 = df + c;
        float * const d2 = d1 + n * W;

        const V r0 = vload (sr, 0);
        const V i0 = vload (si, 0);
        vstore (d1, 0, r0 + i0);
        vstore (d2, 0, r0 - i0);
        const V rh = vload (sr, h);
        const V ih = vload (si, h);
        vstore (d1, h, rh + rh);
        vstore (d2, h, ih + ih);

        tw.start_block ();
        for (Idx i = 1; i < h; ++ i)
        {
            V co;
            V sn;
            tw.next (i, co, sn);
            const V a = vload (sr, i);
            const V am = vload (si, -i);
            const V b = vload (si, i);
            const V bm = vload (si, n - i);
            vstore (d1, i, a + am);
            vstore (d1, h + i, b - bm);
            const V vr = a - am;
            const V vi = b + bm;
            vstore (d2, i, V::mul_add (vr, co, vi * sn));
            vstore (d2, h + i, V::mul_sub (vi, co, vr * sn));
        }
    }
}

// The inverse of lane_merge_double: undoes pass p + 1, then pass p.
template <class Tw1, class Tw2>
QUARN_KERNEL void lane_split_double (float *df, const float *sf, Idx len, Idx n, Tw1 &tw1, Tw2 &tw2)
{
    const Idx h = n >> 1;
    const V k = V::splat (SQRT2_2);
    for (Idx c = 0; c < len; c += 4 * n * W)
    {
        const float * const o = sf + c;
        float * const d = df + c;

        // i = 0 and i = h.
        {
            const V o0 = vload (o, 0);
            const V o2n = vload (o, 2 * n);
            const V a0 = o0 + o2n;
            const V a1 = o0 - o2n;
            const V a0n = vload (o, n) + vload (o, n);
            const V a1n = vload (o, 3 * n) + vload (o, 3 * n);
            vstore (d, 0, a0 + a0n);
            vstore (d, n, a0 - a0n);
            vstore (d, 2 * n, a1 + a1n);
            vstore (d, 3 * n, a1 - a1n);

            const V oh = vload (o, h);
            const V onh = vload (o, n + h);
            const V o2nh = vload (o, 2 * n + h);
            const V o3nh = vload (o, 3 * n + h);
            const V a0h = oh + onh;
            const V a0nh = o2nh - o3nh;
            const V vr = oh - onh;
            const V vi = o2nh + o3nh;
            const V a1h = (vr + vi) * k;
            const V a1nh = (vi - vr) * k;
            vstore (d, h, a0h + a0h);
            vstore (d, n + h, a0nh + a0nh);
            vstore (d, 2 * n + h, a1h + a1h);
            vstore (d, 3 * n + h, a1nh + a1nh);
        }

        tw1.start_block ();
        tw2.start_block ();
        for (Idx i = 1; i < h; ++ i)
        {
            V c1;
            V s1;
            V c2;
            V s2;
            tw1.next (i, c1, s1);
            tw2.next (i, c2, s2);

            const V f0 = vload (o, i);              // out [i]
            const V f1 = vload (o, n + i);          // out [n + i]
            const V f2 = vload (o, 2 * n + i);      // out [2n + i]
            const V f3 = vload (o, 3 * n + i);      // out [3n + i]
            const V g0 = vload (o, n - i);          // out [n - i]
            const V g1 = vload (o, 2 * n - i);      // out [2n - i]
            const V g2 = vload (o, 3 * n - i);      // out [3n - i]
            const V g3 = vload (o, 4 * n - i);      // out [4n - i]

            // Undo pass p + 1, lanes i and n - i.
            const V a0 = f0 + g1;
            const V a0n = f2 - g3;
            V vr = f0 - g1;
            V vi = f2 + g3;
            const V a1 = V::mul_add (vr, c2, vi * s2);
            const V a1n = V::mul_sub (vi, c2, vr * s2);
            const V a0m = g0 + f1;
            const V a02m = g2 - f3;
            vr = g0 - f1;
            vi = g2 + f3;
            const V a1m = V::mul_add (vr, s2, vi * c2);
            const V a12m = V::mul_sub (vi, s2, vr * c2);

            // Undo pass p on both halves.
            vr = a0 - a0m;
            vi = a0n + a02m;
            vstore (d, i, a0 + a0m);
            vstore (d, h + i, a0n - a02m);
            vstore (d, n + i, V::mul_add (vr, c1, vi * s1));
            vstore (d, n + h + i, V::mul_sub (vi, c1, vr * s1));
            vr = a1 - a1m;
            vi = a1n + a12m;
            vstore (d, 2 * n + i, a1 + a1m);
            vstore (d, 2 * n + h + i, a1n - a12m);
            vstore (d, 3 * n + i, V::mul_add (vr, c1, vi * s1));
            vstore (d, 3 * n + h + i, V::mul_sub (vi, c1, vr * s1));
        }
    }
}



// ---- First kernel: stages 1 .. FK_BITS on lanes, in registers ----------------

// Pass PASS of FFTReal (3 <= PASS < FK_BITS) and the ones above it on FK_LEN
// vectors, element j of the block of each lane; the twiddles are the same in
// every lane.
template <int PASS>
QUARN_KERNEL void merge_lanes (V v [FK_LEN], const float *cos_table)
{
    constexpr Idx n = Idx (1) << PASS;
    constexpr Idx h = n >> 1;
    const float * const tab = cos_table + ((1 << (PASS - 1)) - 4);
    V u [FK_LEN];
#pragma GCC unroll 16
    for (Idx c = 0; c < FK_LEN; c += 2 * n)
    {
        u [c] = v [c] + v [c + n];
        u [c + n] = v [c] - v [c + n];
        u [c + h] = v [c + h];
        u [c + n + h] = v [c + n + h];
#pragma GCC unroll 16
        for (Idx i = 1; i < h; ++ i)
        {
            const V co = V::splat (tab [i]);
            const V si = V::splat (tab [h - i]);
            const V a = v [c + i];
            const V b = v [c + h + i];
            const V x = v [c + n + i];
            const V y = v [c + n + h + i];
            const V w = V::mul_sub (x, co, y * si);
            u [c + i] = a + w;
            u [c + n - i] = a - w;
            const V w2 = V::mul_add (x, si, y * co);
            u [c + n + i] = w2 + b;
            u [c + 2 * n - i] = w2 - b;
        }
    }
#pragma GCC unroll 32
    for (Idx j = 0; j < FK_LEN; ++ j)
    {
        v [j] = u [j];
    }
    if constexpr (PASS + 1 < FK_BITS)
    {
        merge_lanes <PASS + 1> (v, cos_table);
    }
}

// The inverse of merge_lanes <PASS>, doubled, after those of the passes
// above it.
template <int PASS>
QUARN_KERNEL void split_lanes (V v [FK_LEN], const float *cos_table)
{
    if constexpr (PASS + 1 < FK_BITS)
    {
        split_lanes <PASS + 1> (v, cos_table);
    }
    constexpr Idx n = Idx (1) << PASS;
    constexpr Idx h = n >> 1;
    const float * const tab = cos_table + ((1 << (PASS - 1)) - 4);
    V u [FK_LEN];
#pragma GCC unroll 16
    for (Idx c = 0; c < FK_LEN; c += 2 * n)
    {
        u [c] = v [c] + v [c + n];
        u [c + n] = v [c] - v [c + n];
        u [c + h] = v [c + h] + v [c + h];
        u [c + n + h] = v [c + n + h] + v [c + n + h];
#pragma GCC unroll 16
        for (Idx i = 1; i < h; ++ i)
        {
            const V co = V::splat (tab [i]);
            const V si = V::splat (tab [h - i]);
            const V a = v [c + i];
            const V am = v [c + n - i];
            const V b = v [c + n + i];
            const V bm = v [c + 2 * n - i];
            u [c + i] = a + am;
            u [c + h + i] = b - bm;
            const V vr = a - am;
            const V vi = b + bm;
            u [c + n + i] = V::mul_add (vr, co, vi * si);
            u [c + n + h + i] = V::mul_sub (vi, co, vr * si);
        }
    }
#pragma GCC unroll 32
    for (Idx j = 0; j < FK_LEN; ++ j)
    {
        v [j] = u [j];
    }
}

// Stages 1 to FK_BITS (passes 1 .. FK_BITS - 1 of FFTReal) on FK_LEN
// vectors: element j of the block of each lane, already in bit-reversed
// order.
QUARN_KERNEL void first_stages_lanes (V v [FK_LEN], const float *cos_table)
{
#pragma GCC unroll 16
    for (Idx c = 0; c < FK_LEN; c += 4)
    {
        const V a0 = v [c];
        const V a1 = v [c + 1];
        const V a2 = v [c + 2];
        const V a3 = v [c + 3];
        v [c + 1] = a0 - a1;
        v [c + 3] = a2 - a3;
        const V s0 = a0 + a1;
        const V s2 = a2 + a3;
        v [c] = s0 + s2;
        v [c + 2] = s0 - s2;
    }

    const V k = V::splat (SQRT2_2);
#pragma GCC unroll 16
    for (Idx c = 0; c < FK_LEN; c += 8)
    {
        const V s0 = v [c];
        const V s1 = v [c + 1];
        const V s3 = v [c + 3];
        const V s4 = v [c + 4];
        const V s5 = v [c + 5];
        const V s7 = v [c + 7];
        v [c] = s0 + s4;
        v [c + 4] = s0 - s4;
        V w = (s5 - s7) * k;
        v [c + 1] = s1 + w;
        v [c + 3] = s1 - w;
        w = (s5 + s7) * k;
        v [c + 5] = w + s3;
        v [c + 7] = w - s3;
    }

    if constexpr (FK_BITS > 3)
    {
        merge_lanes <3> (v, cos_table);
    }
}

// The inverse of first_stages_lanes, doubled per stage; element j of the
// result belongs at the bit-reversed index of j.
QUARN_KERNEL void first_stages_lanes_inv (V v [FK_LEN], const float *cos_table)
{
    if constexpr (FK_BITS > 3)
    {
        split_lanes <3> (v, cos_table);
    }

    const V k = V::splat (SQRT2_2);
#pragma GCC unroll 16
    for (Idx c = 0; c < FK_LEN; c += 8)
    {
        const V s0 = v [c];
        const V s1 = v [c + 1];
        const V s2 = v [c + 2];
        const V s3 = v [c + 3];
        const V s4 = v [c + 4];
        const V s5 = v [c + 5];
        const V s6 = v [c + 6];
        const V s7 = v [c + 7];
        v [c] = s0 + s4;
        v [c + 4] = s0 - s4;
        v [c + 2] = s2 + s2;
        v [c + 6] = s6 + s6;
        v [c + 1] = s1 + s3;
        v [c + 3] = s5 - s7;
        const V a = s1 - s3;
        const V b = s5 + s7;
        v [c + 5] = (b + a) * k;
        v [c + 7] = (b - a) * k;
    }

#pragma GCC unroll 16
    for (Idx c = 0; c < FK_LEN; c += 4)
    {
        const V s0 = v [c] + v [c + 2];
        const V s2 = v [c] - v [c + 2];
        const V d1 = v [c + 1] + v [c + 1];
        const V d3 = v [c + 3] + v [c + 3];
        v [c] = s0 + d1;
        v [c + 1] = s0 - d1;
        v [c + 2] = s2 + d3;
        v [c + 3] = s2 - d3;
    }
}

// Stages 1 .. FK_BITS from x into the lanes of df. Lane t takes the samples
// x [m W + t]; block b of FK_LEN elements reads its elements j from
// m = bitrev (b FK_LEN + j) = bitrev_FK (j) blocks + bitrev (b), so taking
// the blocks in the order k = bitrev (b) reads each of the FK_LEN places of
// x in sequence.
QUARN_STEP void first_stages (const Plan &plan, float *df, const float *x)
{
    const Idx blocks = 1 << (plan.nbr_bits - FK_BITS - W_BITS);
    for (Idx k = 0; k < blocks; ++ k)
    {
        V v [FK_LEN];
#pragma GCC unroll 32
        for (Idx j = 0; j < FK_LEN; ++ j)
        {
            v [j] = vload (x, REV_FK.v [j] * blocks + k);
        }
        first_stages_lanes (v, plan.cos_table);
        float * const d = df + Idx (plan.bitrev [k << (FK_BITS + W_BITS)]) * FK_LEN * W;
#pragma GCC unroll 32
        for (Idx j = 0; j < FK_LEN; ++ j)
        {
            vstore (d, j, v [j]);
        }
    }
}

// The inverse of first_stages: from the lanes of sf into x.
QUARN_STEP void first_stages_inv (const Plan &plan, float *x, const float *sf)
{
    const Idx blocks = 1 << (plan.nbr_bits - FK_BITS - W_BITS);
    for (Idx k = 0; k < blocks; ++ k)
    {
        V v [FK_LEN];
        const float * const s = sf + Idx (plan.bitrev [k << (FK_BITS + W_BITS)]) * FK_LEN * W;
#pragma GCC unroll 32
        for (Idx j = 0; j < FK_LEN; ++ j)
        {
            v [j] = vload (s, j);
        }
        first_stages_lanes_inv (v, plan.cos_table);
#pragma GCC unroll 32
        for (Idx j = 0; j < FK_LEN; ++ j)
        {
            vstore (x, REV_FK.v [j] * blocks + k, v [j]);
        }
    }
}



// ---- The last w passes, in one sweep between lanes and the packed layout ----
// After L - w stages the packed layout holds W rows of R = N / W elements.
// The last w passes merge them; for the lanes i .. i + W - 1 of a chunk
// (i < R / 2) they read elements i and R / 2 + i of every row and write the
// elements m R + i and m R - i of the result: a spectrum of 2^A R points is
// carried as those elements of it (a Partial <A>), and each merge is W lanes
// wide. The rows come from the lanes by W x W transposes; the elements
// m R - i are stored reversed (the first chunk: see the top of this file). The
// elements (m + 1/2) R, which no chunk holds, are computed once at the end.

template <int A>
struct Partial
{
    V plus [1 << A];          // element m R + i
    V minus [(1 << A) + 1];   // element m R - i, for m >= 1
};

// Cosines and sines for the merge of level A (pass L - w + A) at the lanes
// of a chunk: for plus lane m (element m R + i; m < max (1, 2^(A - 1))) the
// angle (m R + i) pi / (2^A R). From the cosine table, where cos and sin of
// plus lane m are the entries m R + i and 2^(A - 1) R - (m R + i); above
// TRIGO_BD_LIMIT (PHASOR) from W phasors in double for lane 0, turned by
// m pi / 2^A. Which of the two is a template argument, so that the loop of a
// sweep carries only the state of its own twiddles.
template <int A, bool PHASOR>
class CascadeTwiddles
{
public:
    static constexpr int COUNT = (A == 0) ? 1 : (1 << (A - 1));

    QUARN_KERNEL CascadeTwiddles ()
    :   _pc (VD::splat (1)), _ps (VD::splat (0)), _step_c (VD::splat (1)), _step_s (VD::splat (0))
    {
    }

    // Cosine and sine of plus lane m.
    QUARN_KERNEL V cos (Idx m) const { return _c [m]; }
    QUARN_KERNEL V sin (Idx m) const { return _s [m]; }

    QUARN_KERNEL void init (const Plan &plan, int pass, Idx r)
    {
        _tab = cos_level (plan, pass);
        _r = r;
        for (Idx m = 0; m < COUNT; ++ m)
        {
            if (m > 0)
            {
                // cos and sin of m pi / 2^A, 1 <= m < 2^(A - 1), A <= 3: the
                // angle is (m 2^(3 - A)) pi / 8; in double for the phasors.
                const Idx e = m << (3 - A);
                _rot_c [m] = std::cos (double (e) * (PI / 8));
                _rot_s [m] = std::sin (double (e) * (PI / 8));
            }
        }
        if constexpr (PHASOR)
        {
            const double * const start = phasor_start (plan, pass);
            _pc = VD::load (start);
            _ps = VD::load (start + PHASOR_LANES + 1);
            _step_c = VD::splat (start [W]);
            _step_s = VD::splat (start [PHASOR_LANES + 1 + W]);
        }
    }

    template <bool CHUNK0>
    QUARN_KERNEL void next (Idx i)
    {
        if constexpr (PHASOR)
        {
            _c [0] = _pc.to_float ();
            _s [0] = _ps.to_float ();
            for (Idx m = 1; m < COUNT; ++ m)
            {
                // Turned in double, rounded once: as exact as lane 0.
                VD cm = _pc;
                VD sm = _ps;
                VD::rotate (cm, sm, VD::splat (_rot_c [m]), VD::splat (_rot_s [m]));
                _c [m] = cm.to_float ();
                _s [m] = sm.to_float ();
            }
            VD::rotate (_pc, _ps, _step_c, _step_s);
        }
        else
        {
            const Idx hr = (A == 0) ? (_r >> 1) : (COUNT * _r);    // entries of the level
            for (Idx m = 0; m < COUNT; ++ m)
            {
                _c [m] = V::load (_tab + m * _r + i);
                if constexpr (CHUNK0)
                {
                    // Lane 0: the entry hr - m r, or cos (pi / 2) = 0 for
                    // m = 0, which lies past the level.
                    const V lane0 = (m == 0) ? V::zero () : V::splat (_tab [hr - m * _r]);
                    _s [m] = V::reverse_shift (V::load (_tab + hr - m * _r - W), lane0);
                }
                else
                {
                    _s [m] = V::reverse (V::load (_tab + hr - m * _r - i - (W - 1)));
                }
            }
        }
    }

    // The angles of the elements (m + 1/2) R, (2 m + 1) pi / 2^(A + 1), in
    // every lane (A >= 1), from the small table levels.
    QUARN_KERNEL void set_half (const Plan &plan)
    {
        const int level = (A + 1 < 3) ? 3 : A + 1;
        const float * const tab = cos_level (plan, level);
        const int quarter = 1 << (level - 1);
        for (Idx m = 0; m < COUNT; ++ m)
        {
            const int e = (2 * m + 1) << (level - A - 1);
            _c [m] = V::splat (tab [e]);
            _s [m] = V::splat (tab [quarter - e]);
        }
    }

private:
    // Widest members first: the AVX-512 vectors would otherwise leave
    // padding holes between the scalars.
    V _c [COUNT] = {};
    V _s [COUNT] = {};
    VD _pc;
    VD _ps;
    VD _step_c;
    VD _step_s;
    const float * _tab = nullptr;
    Idx _r = 0;
    double _rot_c [COUNT] = {};
    double _rot_s [COUNT] = {};
};

// The first of the w levels of a transform of 2^bits samples whose pass is
// above TRIGO_BD_LIMIT (W_BITS: none).
constexpr int phasor_from (int bits)
{
    return std::min (std::max (TRIGO_BD_LIMIT + 1 - (bits - W_BITS), 0), W_BITS);
}

// The twiddles of the w levels: from level PHASOR_FROM on, phasors.
template <int PHASOR_FROM>
struct CascadeTwiddleSet
{
    CascadeTwiddles <0, (0 >= PHASOR_FROM)> t0;
    CascadeTwiddles <1, (1 >= PHASOR_FROM)> t1;
    CascadeTwiddles <2, (2 >= PHASOR_FROM)> t2;
    CascadeTwiddles <3, (3 >= PHASOR_FROM)> t3;

    QUARN_KERNEL CascadeTwiddleSet (const Plan &plan, Idx r)
    {
        const int split = plan.nbr_bits - W_BITS;
        assert (phasor_from (plan.nbr_bits) == PHASOR_FROM);
        t0.init (plan, split, r);
        t1.init (plan, split + 1, r);
        if constexpr (W_BITS > 2)
        {
            t2.init (plan, split + 2, r);
        }
        if constexpr (W_BITS > 3)
        {
            t3.init (plan, split + 3, r);
        }
    }

    template <bool CHUNK0>
    QUARN_KERNEL void next (Idx i)
    {
        t0.template next <CHUNK0> (i);
        t1.template next <CHUNK0> (i);
        if constexpr (W_BITS > 2)
        {
            t2.template next <CHUNK0> (i);
        }
        if constexpr (W_BITS > 3)
        {
            t3.template next <CHUNK0> (i);
        }
    }

    QUARN_KERNEL void set_half (const Plan &plan)
    {
        t1.set_half (plan);
        if constexpr (W_BITS > 2)
        {
            t2.set_half (plan);
        }
        if constexpr (W_BITS > 3)
        {
            t3.set_half (plan);
        }
    }

    template <int A>
    QUARN_KERNEL const auto & get () const
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

// Pass L - w on rows p (elements x1 = i, y1 = R / 2 + i) and q (x2, y2).
// CHUNK0: the chunk of i = 0, where lane 0 holds the elements with no mirror
// (index 0 and the middle of each spectrum) and takes them apart; a template
// argument, so that the other chunks carry none of it.
template <bool CHUNK0>
QUARN_KERNEL void cascade_first (V x1, V y1, V x2, V y2, V c, V s, Partial <1> &d)
{
    const V v = V::mul_sub (x2, c, y2 * s);
    const V v2 = V::mul_add (x2, s, y2 * c);
    d.plus [0] = x1 + v;
    d.minus [1] = x1 - v;
    d.plus [1] = v2 + y1;
    d.minus [2] = v2 - y1;
    if constexpr (CHUNK0)
    {
        d.plus [1] = V::first_of (d.plus [1], d.minus [1]);   // element R
    }
}

// Pass L - w + A (A >= 1) on spectra p and q of 2^A R points. Plus lane m and
// minus lane m' are the indices m R + i and m' R - i of FFTReal::merge_pass;
// minus lane m' takes the cosine and sine of plus lane 2^(A - 1) - m',
// swapped.
template <int A, bool CHUNK0, class Twiddles>
QUARN_KERNEL void cascade_merge (const Partial <A> &p, const Partial <A> &q, const Twiddles &tw,
                                 Partial <A + 1> &d)
{
    constexpr Idx M = Idx (1) << A;
    constexpr Idx H = M >> 1;
#pragma GCC unroll 8
    for (Idx m = 0; m < H; ++ m)
    {
        const V c = tw.cos (m);
        const V s = tw.sin (m);
        const V v = V::mul_sub (q.plus [m], c, q.plus [H + m] * s);
        const V v2 = V::mul_add (q.plus [m], s, q.plus [H + m] * c);
        d.plus [m] = p.plus [m] + v;
        d.minus [M - m] = p.plus [m] - v;
        d.plus [M + m] = v2 + p.plus [H + m];
        d.minus [2 * M - m] = v2 - p.plus [H + m];
    }
#pragma GCC unroll 8
    for (Idx m = 1; m <= H; ++ m)
    {
        const V c = tw.sin (H - m);
        const V s = tw.cos (H - m);
        const V v = V::mul_sub (q.minus [m], c, q.minus [H + m] * s);
        const V v2 = V::mul_add (q.minus [m], s, q.minus [H + m] * c);
        d.minus [m] = p.minus [m] + v;
        d.plus [M - m] = p.minus [m] - v;
        d.minus [M + m] = v2 + p.minus [H + m];
        d.plus [2 * M - m] = v2 - p.minus [H + m];
    }
    if constexpr (CHUNK0)
    {
        // Index 0: element 2^A R = p [0] - q [0]. Index 2^(A - 1) R: the
        // elements S / 2 and 3 S / 2 are p [S / 2] and q [S / 2].
        d.plus [M] = V::first_of (d.plus [M], d.minus [M]);
        d.minus [H] = V::first_of (d.minus [H], p.minus [H]);
        d.plus [H] = V::first_of (d.plus [H], p.minus [H]);
        d.minus [M + H] = V::first_of (d.minus [M + H], q.minus [H]);
        d.plus [2 * M - H] = V::first_of (d.plus [2 * M - H], q.minus [H]);
    }
}

// Merges the W >> A spectra of level A pairwise up to the whole transform.
template <int A, bool CHUNK0, class TwiddleSet>
QUARN_KERNEL void cascade_up (Partial <A> *specs, const TwiddleSet &tw, Partial <W_BITS> &out)
{
    if constexpr (A == W_BITS)
    {
        out = specs [0];
    }
    else
    {
        Partial <A + 1> next [(W >> A) / 2];
#pragma GCC unroll 8
        for (Idx k = 0; k < (W >> A) / 2; ++ k)
        {
            cascade_merge <A, CHUNK0> (specs [2 * k], specs [2 * k + 1], tw.template get <A> (), next [k]);
        }
        cascade_up <A + 1, CHUNK0> (next, tw, out);
    }
}

// One chunk of last_stages: lanes i .. i + W - 1 of every row.
template <bool CHUNK0, class TwiddleSet>
QUARN_KERNEL void last_chunk (float *df, const float *sf, Idx r, Idx i, TwiddleSet &tw)
{
    const Idx h = r >> 1;
    constexpr int TOP = 1 << W_BITS;
    V x [W];
    V y [W];
#pragma GCC unroll 16
    for (Idx k = 0; k < W; ++ k)
    {
        x [k] = vload (sf, i + k);
        y [k] = vload (sf, h + i + k);
    }
    V::transpose (x);
    V::transpose (y);

    // Row p is lane bitrev_w (p).
    tw.template next <CHUNK0> (i);
    Partial <1> s1 [W / 2];
#pragma GCC unroll 8
    for (Idx k = 0; k < W / 2; ++ k)
    {
        cascade_first <CHUNK0> (x [REV_W.v [2 * k]], y [REV_W.v [2 * k]],
                                x [REV_W.v [2 * k + 1]], y [REV_W.v [2 * k + 1]],
                                tw.t0.cos (0), tw.t0.sin (0), s1 [k]);
    }
    Partial <W_BITS> out;  // NOLINT(cppcoreguidelines-pro-type-member-init): filled before use
    cascade_up <1, CHUNK0> (s1, tw, out);

#pragma GCC unroll 16
    for (Idx m = 0; m < TOP; ++ m)
    {
        out.plus [m].store (df + m * r + i);
    }
#pragma GCC unroll 16
    for (Idx m = 1; m <= TOP; ++ m)
    {
        if constexpr (CHUNK0)
        {
            // Lane 0 is element m R, which plus lane 0 of m holds (for
            // m R = N it lies past the end): the vector goes one lane lower,
            // where its lane 0 lands on element m R - W, which the next
            // chunk (or the elements (m + 1/2) R) writes again.
            V::reverse_shift (out.minus [m], out.minus [m]).store (df + m * r - W);
        }
        else
        {
            V::reverse (out.minus [m]).store (df + m * r - i - (W - 1));
        }
    }
}

// The lanes in sf (after L - w stages) into the packed spectrum in df.
template <int PHASOR_FROM>
QUARN_STEP void last_stages (const Plan &plan, float *df, const float *sf)
{
    const Idx r = 1 << (plan.nbr_bits - W_BITS);
    const Idx h = r >> 1;
    constexpr int TOP = 1 << W_BITS;
    CascadeTwiddleSet <PHASOR_FROM> tw (plan, r);
    last_chunk <true> (df, sf, r, 0, tw);
    for (Idx i = W; i < h; i += W)
    {
        last_chunk <false> (df, sf, r, i, tw);
    }

    // The elements (m + 1/2) R: pass L - w keeps element R / 2 of each row
    // (dfr [h] = s1r [h], dfi [h] = s2r [h]); the passes after it are
    // ordinary merges there, at angles (m + 1/2) pi / 2^A.
    tw.set_half (plan);
    Partial <1> s1 [W / 2];
#pragma GCC unroll 8
    for (Idx k = 0; k < W / 2; ++ k)
    {
        const V a = V::splat (sf [h * W + REV_W.v [2 * k]]);
        const V b = V::splat (sf [h * W + REV_W.v [2 * k + 1]]);
        s1 [k].plus [0] = a;
        s1 [k].minus [1] = a;
        s1 [k].plus [1] = b;
        s1 [k].minus [2] = b;
    }
    Partial <W_BITS> out;  // NOLINT(cppcoreguidelines-pro-type-member-init): filled before use
    cascade_up <1, false> (s1, tw, out);
#pragma GCC unroll 16
    for (Idx m = 1; m <= TOP; ++ m)
    {
        df [m * r - h] = out.minus [m].first ();
    }
}

// The inverse of cascade_merge, doubled, as FFTReal::split_pass.
template <int A, bool CHUNK0, class Twiddles>
QUARN_KERNEL void cascade_split (const Partial <A + 1> &d, const Twiddles &tw, Partial <A> &p, Partial <A> &q)
{
    constexpr Idx M = Idx (1) << A;
    constexpr Idx H = M >> 1;
#pragma GCC unroll 8
    for (Idx m = 0; m < H; ++ m)
    {
        const V c = tw.cos (m);
        const V s = tw.sin (m);
        const V a = d.plus [m];
        const V am = d.minus [M - m];
        const V b = d.plus [M + m];
        const V bm = d.minus [2 * M - m];
        p.plus [m] = a + am;
        p.plus [H + m] = b - bm;
        const V vr = a - am;
        const V vi = b + bm;
        q.plus [m] = V::mul_add (vr, c, vi * s);
        q.plus [H + m] = V::mul_sub (vi, c, vr * s);
    }
#pragma GCC unroll 8
    for (Idx m = 1; m <= H; ++ m)
    {
        const V c = tw.sin (H - m);
        const V s = tw.cos (H - m);
        const V a = d.minus [m];
        const V am = d.plus [M - m];
        const V b = d.minus [M + m];
        const V bm = d.plus [2 * M - m];
        p.minus [m] = a + am;
        p.minus [H + m] = b - bm;
        const V vr = a - am;
        const V vi = b + bm;
        q.minus [m] = V::mul_add (vr, c, vi * s);
        q.minus [H + m] = V::mul_sub (vi, c, vr * s);
    }
    if constexpr (CHUNK0)
    {
        // Index 2^(A - 1) R: twice the elements S / 2 and 3 S / 2.
        const V fp = d.plus [H] + d.plus [H];
        const V fq = d.plus [M + H] + d.plus [M + H];
        p.plus [H] = V::first_of (p.plus [H], fp);
        p.minus [H] = V::first_of (p.minus [H], fp);
        q.plus [H] = V::first_of (q.plus [H], fq);
        q.minus [H] = V::first_of (q.minus [H], fq);
    }
}

// Splits the whole transform (level A) down to the W / 2 spectra of level 1.
template <int A, bool CHUNK0, class TwiddleSet>
QUARN_KERNEL void cascade_down (const Partial <A> &part, const TwiddleSet &tw, Partial <1> *out)
{
    if constexpr (A == 1)
    {
        out [0] = part;
    }
    else
    {
        Partial <A - 1> p;  // NOLINT(cppcoreguidelines-pro-type-member-init): filled before use
        Partial <A - 1> q;  // NOLINT(cppcoreguidelines-pro-type-member-init): filled before use
        cascade_split <A - 1, CHUNK0> (part, tw.template get <A - 1> (), p, q);
        cascade_down <A - 1, CHUNK0> (p, tw, out);
        cascade_down <A - 1, CHUNK0> (q, tw, out + (1 << (A - 2)));
    }
}

// The inverse of cascade_first: rows p (x1, y1) and q (x2, y2), doubled;
// y1 and y2 of lane 0 of chunk 0 (elements R / 2) come from the caller.
QUARN_KERNEL void cascade_first_inv (const Partial <1> &d, V c, V s, V &x1, V &y1, V &x2, V &y2)
{
    x1 = d.plus [0] + d.minus [1];
    y1 = d.plus [1] - d.minus [2];
    const V vr = d.plus [0] - d.minus [1];
    const V vi = d.plus [1] + d.minus [2];
    x2 = V::mul_add (vr, c, vi * s);
    y2 = V::mul_sub (vi, c, vr * s);
}

// One chunk of last_stages_inv: lanes i .. i + W - 1 of every row; fix1
// and fix2 are lane 0 of the rows' elements R / 2, for chunk 0.
template <bool CHUNK0, class TwiddleSet>
QUARN_KERNEL void last_chunk_inv (float *df, const float *sf, Idx r, Idx i, TwiddleSet &tw,
                                  const V fix1 [], const V fix2 [])
{
    const Idx h = r >> 1;
    constexpr int TOP = 1 << W_BITS;
    tw.template next <CHUNK0> (i);
    Partial <W_BITS> d;  // NOLINT(cppcoreguidelines-pro-type-member-init): filled before use
#pragma GCC unroll 16
    for (Idx m = 0; m < TOP; ++ m)
    {
        d.plus [m] = V::load (sf + m * r + i);
    }
#pragma GCC unroll 16
    for (Idx m = 1; m <= TOP; ++ m)
    {
        if constexpr (CHUNK0)
        {
            // Lane 0: element m R, or for m R = N a finite value that only
            // meets a zero sine.
            const V t = V::load (sf + m * r - W);
            d.minus [m] = V::reverse_shift (t, (m < TOP) ? V::load (sf + m * r) : t);
        }
        else
        {
            d.minus [m] = V::reverse (V::load (sf + m * r - i - (W - 1)));
        }
    }
    Partial <1> s1 [W / 2];
    cascade_down <W_BITS, CHUNK0> (d, tw, s1);

    V x [W];
    V y [W];
#pragma GCC unroll 8
    for (Idx k = 0; k < W / 2; ++ k)
    {
        const int l1 = REV_W.v [2 * k];
        const int l2 = REV_W.v [2 * k + 1];
        cascade_first_inv (s1 [k], tw.t0.cos (0), tw.t0.sin (0), x [l1], y [l1], x [l2], y [l2]);
        if constexpr (CHUNK0)
        {
            y [l1] = V::first_of (y [l1], fix1 [k]);
            y [l2] = V::first_of (y [l2], fix2 [k]);
        }
    }
    V::transpose (x);
    V::transpose (y);
#pragma GCC unroll 16
    for (Idx k = 0; k < W; ++ k)
    {
        vstore (df, i + k, x [k]);
        vstore (df, h + i + k, y [k]);
    }
}

// The inverse of last_stages: the packed spectrum in sf into lanes in df.
template <int PHASOR_FROM>
QUARN_STEP void last_stages_inv (const Plan &plan, float *df, const float *sf)
{
    const Idx r = 1 << (plan.nbr_bits - W_BITS);
    const Idx h = r >> 1;
    constexpr int TOP = 1 << W_BITS;
    CascadeTwiddleSet <PHASOR_FROM> tw (plan, r);

    // Elements (m + 1/2) R first: lane 0 of chunk 0 needs them.
    V fix1 [W / 2];
    V fix2 [W / 2];
    {
        tw.set_half (plan);
        Partial <W_BITS> e;  // NOLINT(cppcoreguidelines-pro-type-member-init): filled before use
#pragma GCC unroll 16
        for (Idx m = 0; m < TOP; ++ m)
        {
            e.plus [m] = V::splat (sf [m * r + h]);
        }
#pragma GCC unroll 16
        for (Idx m = 1; m <= TOP; ++ m)
        {
            e.minus [m] = e.plus [m - 1];
        }
        Partial <1> s1 [W / 2];
        cascade_down <W_BITS, false> (e, tw, s1);
#pragma GCC unroll 8
        for (Idx k = 0; k < W / 2; ++ k)
        {
            fix1 [k] = s1 [k].plus [0] + s1 [k].plus [0];
            fix2 [k] = s1 [k].plus [1] + s1 [k].plus [1];
        }
    }

    last_chunk_inv <true> (df, sf, r, 0, tw, fix1, fix2);
    for (Idx i = W; i < h; i += W)
    {
        last_chunk_inv <false> (df, sf, r, i, tw, fix1, fix2);
    }
}



// last_stages and last_stages_inv with the twiddles of the length.
template <int PHASOR_FROM = 0>
QUARN_KERNEL void last_stages_any (const Plan &plan, float *df, const float *sf)
{
    if constexpr (PHASOR_FROM < W_BITS)
    {
        if (phasor_from (plan.nbr_bits) != PHASOR_FROM)
        {
            last_stages_any <PHASOR_FROM + 1> (plan, df, sf);
            return;
        }
    }
    last_stages <PHASOR_FROM> (plan, df, sf);
}

template <int PHASOR_FROM = 0>
QUARN_KERNEL void last_stages_inv_any (const Plan &plan, float *df, const float *sf)
{
    if constexpr (PHASOR_FROM < W_BITS)
    {
        if (phasor_from (plan.nbr_bits) != PHASOR_FROM)
        {
            last_stages_inv_any <PHASOR_FROM + 1> (plan, df, sf);
            return;
        }
    }
    last_stages_inv <PHASOR_FROM> (plan, df, sf);
}



// ---- Steps: one or two lane passes over a range, with their twiddles --------
// Table passes up to TRIGO_BD_LIMIT, phasor passes above.

QUARN_STEP void forward_single (const Plan &plan, float *df, const float *sf, Idx len, int pass)
{
    const Idx n = 1 << pass;
    if (pass <= TRIGO_BD_LIMIT)
    {
        LaneTableTwiddles tw (plan, pass);
        lane_merge_single (df, sf, len, n, tw);
    }
    else
    {
        LanePhasorTwiddles tw (phasor_start (plan, pass));
        lane_merge_single (df, sf, len, n, tw);
    }
}

QUARN_STEP void forward_double (const Plan &plan, float *df, const float *sf, Idx len, int pass)
{
    const Idx n = 1 << pass;
    if (pass + 1 <= TRIGO_BD_LIMIT)
    {
        LaneTableTwiddles tw1 (plan, pass);
        LaneTableTwiddles tw2 (plan, pass + 1);
        lane_merge_double (df, sf, len, n, tw1, tw2);
    }
    else if (pass <= TRIGO_BD_LIMIT)
    {
        LaneTableTwiddles tw1 (plan, pass);
        LanePhasorTwiddles tw2 (phasor_start (plan, pass + 1));
        lane_merge_double (df, sf, len, n, tw1, tw2);
    }
    else
    {
        LanePhasorTwiddles tw1 (phasor_start (plan, pass));
        LanePhasorTwiddles tw2 (phasor_start (plan, pass + 1));
        lane_merge_double (df, sf, len, n, tw1, tw2);
    }
}

QUARN_STEP void backward_single (const Plan &plan, float *df, const float *sf, Idx len, int pass)
{
    const Idx n = 1 << pass;
    if (pass <= TRIGO_BD_LIMIT)
    {
        LaneTableTwiddles tw (plan, pass);
        lane_split_single (df, sf, len, n, tw);
    }
    else
    {
        LanePhasorTwiddles tw (phasor_start (plan, pass));
        lane_split_single (df, sf, len, n, tw);
    }
}

QUARN_STEP void backward_double (const Plan &plan, float *df, const float *sf, Idx len, int pass)
{
    const Idx n = 1 << pass;
    if (pass + 1 <= TRIGO_BD_LIMIT)
    {
        LaneTableTwiddles tw1 (plan, pass);
        LaneTableTwiddles tw2 (plan, pass + 1);
        lane_split_double (df, sf, len, n, tw1, tw2);
    }
    else if (pass <= TRIGO_BD_LIMIT)
    {
        LaneTableTwiddles tw1 (plan, pass);
        LanePhasorTwiddles tw2 (phasor_start (plan, pass + 1));
        lane_split_double (df, sf, len, n, tw1, tw2);
    }
    else
    {
        LanePhasorTwiddles tw1 (phasor_start (plan, pass));
        LanePhasorTwiddles tw2 (phasor_start (plan, pass + 1));
        lane_split_double (df, sf, len, n, tw1, tw2);
    }
}

// Number of sweeps that passes p0 .. p1 - 1 take: one single pass first if
// their count is odd, then pairs.
constexpr int sweeps (int p0, int p1)
{
    return (p1 - p0 + 1) / 2;
}

// Passes p0 .. p1 - 1 over len floats, from src, alternating between the
// arrays; returns the array that holds the result.
QUARN_KERNEL float * run_forward (const Plan &plan, float *src, float *dst, Idx len, int p0, int p1)
{
    int p = p0;
    if (((p1 - p0) & 1) != 0)
    {
        forward_single (plan, dst, src, len, p);
        std::swap (src, dst);
        ++ p;
    }
    for ( ; p < p1; p += 2)
    {
        forward_double (plan, dst, src, len, p);
        std::swap (src, dst);
    }
    return src;
}

// The inverse of run_forward: undoes passes p1 - 1 .. p0 in place of the
// sweeps of run_forward, from src to dst and then between dst and src.
QUARN_KERNEL float * run_backward (const Plan &plan, float *src, float *dst, Idx len, int p0, int p1)
{
    const bool single = ((p1 - p0) & 1) != 0;
    for (int p = p1 - 2; p >= (single ? p0 + 1 : p0); p -= 2)
    {
        backward_double (plan, dst, src, len, p);
        std::swap (src, dst);
    }
    if (single)
    {
        backward_single (plan, dst, src, len, p0);
        std::swap (src, dst);
    }
    return src;
}



// ---- Entries ---------------------------------------------------------------
// For 2^MIN_BITS samples and more. Lane passes run up to pass L - w - 1:
// those below `inner` on blocks of 2^INNER_BITS floats, then those below
// `middle` on blocks of 2^MIDDLE_BITS floats, then the rest.

struct Schedule
{
    int split;     // L - w: the last stages run from here
    int inner;     // first lane pass on blocks of `middle_block`
    int middle;    // first lane pass over the whole array
    Idx inner_block;
    Idx middle_block;
    int sweeps;    // sweeps after the first kernel

    QUARN_KERNEL explicit Schedule (int bits)
    :   split (bits - W_BITS)
    {
        // As many passes in blocks as fit, but no more single passes than
        // the parity of the count asks for: an odd count of lane passes gets
        // its one single pass in the smallest blocks.
        inner = std::min (split, INNER_BITS - W_BITS);
        if (((inner - FK_BITS) & 1) != ((split - FK_BITS) & 1))
        {
            -- inner;
        }
        middle = std::max (inner, std::min (split, MIDDLE_BITS - W_BITS));
        if (((middle - inner) & 1) != 0)
        {
            -- middle;
        }
        inner_block = Idx (1) << (inner + W_BITS);
        middle_block = Idx (1) << (middle + W_BITS);
        sweeps = quarn::simd::QUARN_SIMD_NS::sweeps (FK_BITS, inner)
               + quarn::simd::QUARN_SIMD_NS::sweeps (inner, middle)
               + quarn::simd::QUARN_SIMD_NS::sweeps (middle, split) + 1;
    }
};

QUARN_STEP void forward (const Plan &plan, float f [], const float x [])
{
    const Schedule s (plan.nbr_bits);
    const Idx n = Idx (1) << plan.nbr_bits;

    // The first kernel writes where the sweep count makes the last land in f.
    float * const a = ((s.sweeps & 1) == 0) ? f : plan.buffer;
    float * const b = (a == f) ? plan.buffer : f;

    first_stages (plan, a, x);
    float *cur = a;
    for (Idx c = 0; c < n; c += s.inner_block)
    {
        cur = run_forward (plan, a + c, b + c, s.inner_block, FK_BITS, s.inner) - c;
    }
    float * const mid = cur;
    for (Idx c = 0; c < n; c += s.middle_block)
    {
        cur = run_forward (plan, mid + c, ((mid == a) ? b : a) + c, s.middle_block, s.inner, s.middle) - c;
    }
    cur = run_forward (plan, cur, (cur == a) ? b : a, n, s.middle, s.split);
    last_stages_any (plan, (cur == a) ? b : a, cur);
}

QUARN_STEP void backward (const Plan &plan, float x [], const float f [])
{
    const Schedule s (plan.nbr_bits);
    const Idx n = Idx (1) << plan.nbr_bits;

    // The last sweep writes the buffer, which the first kernel reads.
    float * const a = ((s.sweeps & 1) != 0) ? plan.buffer : x;
    float * const b = (a == x) ? plan.buffer : x;

    last_stages_inv_any (plan, a, f);
    float *cur = run_backward (plan, a, b, n, s.middle, s.split);
    float * const mid = cur;
    for (Idx c = 0; c < n; c += s.middle_block)
    {
        cur = run_backward (plan, mid + c, ((mid == a) ? b : a) + c, s.middle_block, s.inner, s.middle) - c;
    }
    float * const inner = cur;
    for (Idx c = 0; c < n; c += s.inner_block)
    {
        run_backward (plan, inner + c, ((inner == a) ? b : a) + c, s.inner_block, FK_BITS, s.inner);
    }
    first_stages_inv (plan, x, plan.buffer);
}

#undef QUARN_KERNEL
#undef QUARN_STEP

}  // namespace quarn::simd::QUARN_SIMD_NS

#undef QUARN_SIMD_NS
#undef QUARN_SIMD_TARGET
#undef QUARN_SIMD_VECF
#undef QUARN_SIMD_VECD

#endif  // QUARN_SIMD_NS
