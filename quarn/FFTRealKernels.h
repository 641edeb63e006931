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
//     block is in the L1 cache.
// - Rows. A transpose of W x W tiles turns the lanes into the packed layout,
//   and the last w passes merge the rows, W indices i at a time: the mirrored
//   elements n - i of a merge lie one lane off, so their values are carried
//   over from the previous vector of the loop (reverse_shift), and the sine,
//   the mirrored cosine entry, comes the same way. Two passes per sweep where
//   they can: passes p and p + 1 on a block of 4 n points close over the
//   elements i, n - i, n + i, 2 n - i, ... of lanes i.
// - Phasor passes (above TRIGO_BD_LIMIT): phasors in double, restarted at
//   every block; on rows W of them side by side (lane j at angle j theta,
//   stepping by W theta), on lanes the same, taken one angle at a time.
//
// backward runs the inverse of each step in the reverse order.

namespace quarn
{
namespace simd
{
namespace QUARN_SIMD_NS
{

#define QUARN_KERNEL [[gnu::always_inline, gnu::target (QUARN_SIMD_TARGET)]] inline
#define QUARN_STEP [[gnu::target (QUARN_SIMD_TARGET)]] inline

using V = QUARN_SIMD_VECF;
using VD = QUARN_SIMD_VECD;

constexpr int W = V::W;
constexpr int W_BITS = (W == 4) ? 2 : (W == 8) ? 3 : 4;
constexpr int FK_BITS = W_BITS + 1;
constexpr int FK_LEN = 1 << FK_BITS;

// Shortest transform these kernels run: the lanes need one first-kernel
// block, the rows merge at least W indices at a time.
constexpr int MIN_BITS = FK_BITS + W_BITS;

// Lane passes on blocks up to 2^INNER_BITS floats (both arrays in L1) run
// block by block.
constexpr int INNER_BITS = 12;

constexpr float SQRT2_2 = 0.70710677f;   // sqrt (2) / 2 as float

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
    return plan.phasors + PHASOR_STRIDE * (pass - TRIGO_BD_LIMIT - 1);
}

// Element k of all lanes.
QUARN_KERNEL V vload (const float *p, int k)
{
    return V::load (p + k * W);
}

QUARN_KERNEL void vstore (float *p, int k, V v)
{
    v.store (p + k * W);
}



// ---- Twiddle sources -------------------------------------------------------
// start_block () before each block of a pass. Twiddles of row passes:
// next (i, c, s) gives cos and sin of (i + j) pi / n in lane j, for
// i = 0, W, 2 W, ... < n / 2 in that order.

// Up to TRIGO_BD_LIMIT: the cosine table level. The sine is the mirrored
// entry, h - i - j, taken from this and the previous aligned vector.
class TableTwiddles
{
public:
    QUARN_KERNEL TableTwiddles (const float *level, int h)
    :   _tab (level), _h (h), _prev (V::zero ())
    {
    }

    // sin 0 = 0 comes in as lane 0 of the previous vector.
    QUARN_KERNEL void start_block () { _prev = V::zero (); }

    QUARN_KERNEL void next (int i, V &c, V &s)
    {
        c = V::load (_tab + i);
        const V t = V::load (_tab + _h - i - W);
        s = V::reverse_shift (t, _prev);
        _prev = t;
    }

private:
    const float * _tab;
    int _h;
    V _prev;
};

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

    QUARN_KERNEL void next (int /* i */, V &c, V &s)
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

class LaneTableTwiddles
{
public:
    QUARN_KERNEL LaneTableTwiddles (const float *level, int h) : _tab (level), _h (h) {}

    QUARN_KERNEL void start_block () {}

    QUARN_KERNEL void next (int i, V &c, V &s)
    {
        c = V::splat (_tab [i]);
        s = V::splat (_tab [_h - i]);
    }

private:
    const float * _tab;
    int _h;
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

    QUARN_KERNEL void next (int i, V &c, V &s)
    {
        const int j = i & (W - 1);
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
    float _c [W];
    float _s [W];
};



// ---- Passes on lanes --------------------------------------------------------
// Over len floats from sf to df; n = 2^pass elements per lane.

// One pass, as FFTReal::merge_pass.
template <class Twiddles>
QUARN_KERNEL void lane_merge_single (float *df, const float *sf, int len, int n, Twiddles &tw)
{
    const int h = n >> 1;
    for (int c = 0; c < len; c += 2 * n * W)
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
        for (int i = 1; i < h; ++ i)
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
QUARN_KERNEL void lane_merge_double (float *df, const float *sf, int len, int n, Tw1 &tw1, Tw2 &tw2)
{
    const int h = n >> 1;
    const V k = V::splat (SQRT2_2);
    for (int c = 0; c < len; c += 4 * n * W)
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
        for (int i = 1; i < h; ++ i)
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
QUARN_KERNEL void lane_split_single (float *df, const float *sf, int len, int n, Twiddles &tw)
{
    const int h = n >> 1;
    for (int c = 0; c < len; c += 2 * n * W)
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
        for (int i = 1; i < h; ++ i)
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
QUARN_KERNEL void lane_split_double (float *df, const float *sf, int len, int n, Tw1 &tw1, Tw2 &tw2)
{
    const int h = n >> 1;
    const V k = V::splat (SQRT2_2);
    for (int c = 0; c < len; c += 4 * n * W)
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
        for (int i = 1; i < h; ++ i)
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



// ---- Passes on rows (the packed layout), W indices i at a time -----------

// One pass: pairs of packed spectra of n points into spectra of 2 n points,
// as FFTReal::merge_pass, over len elements from sf to df.
template <class Twiddles>
QUARN_KERNEL void merge_single (float *df, const float *sf, int len, int n, Twiddles &tw)
{
    const int h = n >> 1;
    for (int c = 0; c < len; c += 2 * n)
    {
        const float * const s1r = sf + c;
        const float * const s1i = s1r + h;
        const float * const s2r = s1r + n;
        const float * const s2i = s2r + h;
        float * const dfr = df + c;
        float * const dfi = dfr + n;

        tw.start_block ();
        V gr_prev = V::zero ();
        V gi_prev = V::zero ();
        for (int i = 0; i < h; i += W)
        {
            V co;
            V si;
            tw.next (i, co, si);
            const V a = V::load (s1r + i);
            const V b = V::load (s1i + i);
            const V x = V::load (s2r + i);
            const V y = V::load (s2i + i);

            const V v = V::mul_sub (x, co, y * si);
            const V v2 = V::mul_add (x, si, y * co);
            const V fr = a + v;        // dfr [i]
            const V gr = a - v;        // dfr [n - i]
            V fi = v2 + b;             // dfi [i]
            const V gi = v2 - b;       // dfi [n - i]
            if (i == 0)
            {
                fi = V::first_of (fi, gr);    // dfi [0] = s1r [0] - s2r [0]
            }
            fr.store (dfr + i);
            fi.store (dfi + i);
            if (i > 0)
            {
                V::reverse_shift (gr_prev, gr).store (dfr + n - i);
                V::reverse_shift (gi_prev, gi).store (dfi + n - i);
            }
            gr_prev = gr;
            gi_prev = gi;
        }
        // i = h: dfr [h] = s1r [h], dfi [h] = s2r [h].
        V::reverse_shift (gr_prev, V::splat (s1r [h])).store (dfr + h);
        V::reverse_shift (gi_prev, V::splat (s2r [h])).store (dfi + h);
    }
}

// Two passes, p and p + 1 (n = 2^p): each block of 4 n points goes from four
// packed spectra of n points to one of 4 n points. Lane i of pass p gives
// the elements i, n - i, n + i, 2 n - i of each half, which are exactly
// what lanes i and n - i of pass p + 1 read and write.
template <class Tw1, class Tw2>
QUARN_KERNEL void merge_double (float *df, const float *sf, int len, int n, Tw1 &tw1, Tw2 &tw2)
{
    const int h = n >> 1;
    const V k = V::splat (SQRT2_2);
    for (int c = 0; c < len; c += 4 * n)
    {
        const float * const s = sf + c;
        float * const d = df + c;

        tw1.start_block ();
        tw2.start_block ();
        V g0_prev = V::zero ();
        V g1_prev = V::zero ();
        V g2_prev = V::zero ();
        V g3_prev = V::zero ();
        for (int i = 0; i < h; i += W)
        {
            V c1;
            V s1;
            V c2;
            V s2;
            tw1.next (i, c1, s1);
            tw2.next (i, c2, s2);

            // Pass p on the first half: A0 [i], A0 [n - i], A0 [n + i], A0 [2n - i].
            V a = V::load (s + i);
            V b = V::load (s + h + i);
            V x = V::load (s + n + i);
            V y = V::load (s + n + h + i);
            V v = V::mul_sub (x, c1, y * s1);
            V v2 = V::mul_add (x, s1, y * c1);
            const V a0 = a + v;
            const V a0m = a - v;
            const V a0n = v2 + b;
            const V a02m = v2 - b;

            // ... and on the second half: A1.
            a = V::load (s + 2 * n + i);
            b = V::load (s + 2 * n + h + i);
            x = V::load (s + 3 * n + i);
            y = V::load (s + 3 * n + h + i);
            v = V::mul_sub (x, c1, y * s1);
            v2 = V::mul_add (x, s1, y * c1);
            const V a1 = a + v;
            const V a1m = a - v;
            const V a1n = v2 + b;
            const V a12m = v2 - b;

            // Pass p + 1, lane i: cos and sin of i pi / 2n.
            const V w = V::mul_sub (a1, c2, a1n * s2);
            const V w2 = V::mul_add (a1, s2, a1n * c2);
            const V o_i = a0 + w;            // out [i]
            const V o_2nm = a0 - w;          // out [2n - i]
            V o_2ni = w2 + a0n;              // out [2n + i]
            const V o_4nm = w2 - a0n;        // out [4n - i]

            // Pass p + 1, lane n - i: cos and sin swap.
            const V w3 = V::mul_sub (a1m, s2, a12m * c2);
            const V w4 = V::mul_add (a1m, c2, a12m * s2);
            const V o_nm = a0m + w3;         // out [n - i]
            V o_ni = a0m - w3;               // out [n + i]
            const V o_3nm = w4 + a02m;       // out [3n - i]
            V o_3ni = w4 - a02m;             // out [3n + i]

            if (i == 0)
            {
                // The extreme coefficients: out [2n] = A0 [0] - A1 [0],
                // out [n] = A0 [n], out [3n] = A1 [n].
                o_2ni = V::first_of (o_2ni, o_2nm);
                o_ni = V::first_of (o_ni, a0m);
                o_3ni = V::first_of (o_3ni, a1m);
            }

            o_i.store (d + i);
            o_ni.store (d + n + i);
            o_2ni.store (d + 2 * n + i);
            o_3ni.store (d + 3 * n + i);
            if (i > 0)
            {
                V::reverse_shift (g0_prev, o_nm).store (d + n - i);
                V::reverse_shift (g1_prev, o_2nm).store (d + 2 * n - i);
                V::reverse_shift (g2_prev, o_3nm).store (d + 3 * n - i);
                V::reverse_shift (g3_prev, o_4nm).store (d + 4 * n - i);
            }
            g0_prev = o_nm;
            g1_prev = o_2nm;
            g2_prev = o_3nm;
            g3_prev = o_4nm;
        }

        // i = h: pass p leaves A0 [h] = in [h], A0 [n + h] = in [n + h] and
        // the same in the second half; pass p + 1 turns them by pi / 4.
        const V ah = V::splat (s [h]);
        const V anh = V::splat (s [n + h]);
        const V bh = V::splat (s [2 * n + h]);
        const V bnh = V::splat (s [3 * n + h]);
        const V w = (bh - bnh) * k;
        const V w2 = (bh + bnh) * k;
        V::reverse_shift (g0_prev, ah + w).store (d + h);
        V::reverse_shift (g1_prev, ah - w).store (d + 2 * n - h);
        V::reverse_shift (g2_prev, w2 + anh).store (d + 3 * n - h);
        V::reverse_shift (g3_prev, w2 - anh).store (d + 4 * n - h);
    }
}



// The inverse of merge_single, doubled, as FFTReal::split_pass.
template <class Twiddles>
QUARN_KERNEL void split_single (float *df, const float *sf, int len, int n, Twiddles &tw)
{
    const int h = n >> 1;
    for (int c = 0; c < len; c += 2 * n)
    {
        const float * const sfr = sf + c;
        const float * const sfi = sfr + n;
        float * const d1r = df + c;
        float * const d1i = d1r + h;
        float * const d2r = d1r + n;
        float * const d2i = d2r + h;

        tw.start_block ();
        // Lane 0 of the first mirrored vectors: sfi [-0] is sfi [0]; sfi [n]
        // lies outside the block and only meets a zero sine.
        V t0_prev = V::load (sfi);
        V t1_prev = t0_prev;
        const V fix1 = V::splat (sfr [h] * 2);
        const V fix2 = V::splat (sfi [h] * 2);
        for (int i = 0; i < h; i += W)
        {
            V co;
            V si;
            tw.next (i, co, si);
            const V t0 = V::load (sfi - i - W);
            const V t1 = V::load (sfi + n - i - W);
            const V m0 = V::reverse_shift (t0, t0_prev);    // sfi [-i]
            const V m1 = V::reverse_shift (t1, t1_prev);    // sfi [n - i]
            t0_prev = t0;
            t1_prev = t1;
            const V a = V::load (sfr + i);
            const V b = V::load (sfi + i);

            const V r1 = a + m0;
            V i1 = b - m1;
            const V vr = a - m0;
            const V vi = b + m1;
            const V r2 = V::mul_add (vr, co, vi * si);
            V i2 = V::mul_sub (vi, co, vr * si);
            if (i == 0)
            {
                i1 = V::first_of (i1, fix1);    // d1r [h] = 2 sfr [h]
                i2 = V::first_of (i2, fix2);    // d2r [h] = 2 sfi [h]
            }
            r1.store (d1r + i);
            i1.store (d1i + i);
            r2.store (d2r + i);
            i2.store (d2i + i);
        }
    }
}

// The inverse of merge_double: undoes pass p + 1, then pass p, doubled twice.
template <class Tw1, class Tw2>
QUARN_KERNEL void split_double (float *df, const float *sf, int len, int n, Tw1 &tw1, Tw2 &tw2)
{
    const int h = n >> 1;
    const float kf = SQRT2_2;
    for (int c = 0; c < len; c += 4 * n)
    {
        const float * const o = sf + c;
        float * const d = df + c;

        tw1.start_block ();
        tw2.start_block ();

        // The mirrored streams out [(j + 1) n - i]: lane 0 of their first
        // vectors is out [n], out [2n], out [3n] and, for out [4n] outside
        // the block, a finite value that only meets a zero sine.
        V t0_prev = V::load (o + n);
        V t1_prev = V::load (o + 2 * n);
        V t2_prev = V::load (o + 3 * n);
        V t3_prev = t2_prev;

        // i = h: undo pass p + 1 at lane h (angle pi / 4), for the patches
        // of the extreme coefficients of pass p below.
        const float oh = o [h];
        const float onh = o [n + h];
        const float o2nh = o [2 * n + h];
        const float o3nh = o [3 * n + h];
        const float a0h = oh + onh;
        const float a0nh = o2nh - o3nh;
        const float vrh = oh - onh;
        const float vih = o2nh + o3nh;
        const float a1h = (vrh + vih) * kf;
        const float a1nh = (vih - vrh) * kf;
        const V fix0h = V::splat (a0h * 2);
        const V fix0nh = V::splat (a0nh * 2);
        const V fix1h = V::splat (a1h * 2);
        const V fix1nh = V::splat (a1nh * 2);

        for (int i = 0; i < h; i += W)
        {
            V c1;
            V s1;
            V c2;
            V s2;
            tw1.next (i, c1, s1);
            tw2.next (i, c2, s2);

            const V f0 = V::load (o + i);              // out [i]
            const V f1 = V::load (o + n + i);          // out [n + i]
            const V f2 = V::load (o + 2 * n + i);      // out [2n + i]
            const V f3 = V::load (o + 3 * n + i);      // out [3n + i]
            const V t0 = V::load (o + n - i - W);
            const V t1 = V::load (o + 2 * n - i - W);
            const V t2 = V::load (o + 3 * n - i - W);
            const V t3 = V::load (o + 4 * n - i - W);
            const V g0 = V::reverse_shift (t0, t0_prev);   // out [n - i]
            const V g1 = V::reverse_shift (t1, t1_prev);   // out [2n - i]
            const V g2 = V::reverse_shift (t2, t2_prev);   // out [3n - i]
            const V g3 = V::reverse_shift (t3, t3_prev);   // out [4n - i]
            t0_prev = t0;
            t1_prev = t1;
            t2_prev = t2;
            t3_prev = t3;

            // Undo pass p + 1, lane i: A0 [i], A0 [n + i], A1 [i], A1 [n + i].
            const V a0 = f0 + g1;
            const V a0n = f2 - g3;
            V vr = f0 - g1;
            V vi = f2 + g3;
            const V a1 = V::mul_add (vr, c2, vi * s2);
            const V a1n = V::mul_sub (vi, c2, vr * s2);

            // ... lane n - i: A0 [n - i], A0 [2n - i], A1 [n - i], A1 [2n - i].
            const V a0m = g0 + f1;
            const V a02m = g2 - f3;
            vr = g0 - f1;
            vi = g2 + f3;
            const V a1m = V::mul_add (vr, s2, vi * c2);
            const V a12m = V::mul_sub (vi, s2, vr * c2);

            // Undo pass p on the first half ...
            vr = a0 - a0m;
            vi = a0n + a02m;
            const V e0 = a0 + a0m;                         // in [i]
            V e0h = a0n - a02m;                            // in [h + i]
            const V e0n = V::mul_add (vr, c1, vi * s1);    // in [n + i]
            V e0nh = V::mul_sub (vi, c1, vr * s1);         // in [n + h + i]

            // ... and on the second half.
            vr = a1 - a1m;
            vi = a1n + a12m;
            const V e1 = a1 + a1m;
            V e1h = a1n - a12m;
            const V e1n = V::mul_add (vr, c1, vi * s1);
            V e1nh = V::mul_sub (vi, c1, vr * s1);

            if (i == 0)
            {
                e0h = V::first_of (e0h, fix0h);
                e0nh = V::first_of (e0nh, fix0nh);
                e1h = V::first_of (e1h, fix1h);
                e1nh = V::first_of (e1nh, fix1nh);
            }

            e0.store (d + i);
            e0h.store (d + h + i);
            e0n.store (d + n + i);
            e0nh.store (d + n + h + i);
            e1.store (d + 2 * n + i);
            e1h.store (d + 2 * n + h + i);
            e1n.store (d + 3 * n + i);
            e1nh.store (d + 3 * n + h + i);
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
    constexpr int n = 1 << PASS;
    constexpr int h = n >> 1;
    const float * const tab = cos_table + ((1 << (PASS - 1)) - 4);
    V u [FK_LEN];
#pragma GCC unroll 16
    for (int c = 0; c < FK_LEN; c += 2 * n)
    {
        u [c] = v [c] + v [c + n];
        u [c + n] = v [c] - v [c + n];
        u [c + h] = v [c + h];
        u [c + n + h] = v [c + n + h];
#pragma GCC unroll 16
        for (int i = 1; i < h; ++ i)
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
    for (int j = 0; j < FK_LEN; ++ j)
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
    constexpr int n = 1 << PASS;
    constexpr int h = n >> 1;
    const float * const tab = cos_table + ((1 << (PASS - 1)) - 4);
    V u [FK_LEN];
#pragma GCC unroll 16
    for (int c = 0; c < FK_LEN; c += 2 * n)
    {
        u [c] = v [c] + v [c + n];
        u [c + n] = v [c] - v [c + n];
        u [c + h] = v [c + h] + v [c + h];
        u [c + n + h] = v [c + n + h] + v [c + n + h];
#pragma GCC unroll 16
        for (int i = 1; i < h; ++ i)
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
    for (int j = 0; j < FK_LEN; ++ j)
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
    for (int c = 0; c < FK_LEN; c += 4)
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
    for (int c = 0; c < FK_LEN; c += 8)
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
    for (int c = 0; c < FK_LEN; c += 8)
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
    for (int c = 0; c < FK_LEN; c += 4)
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
    const int blocks = 1 << (plan.nbr_bits - FK_BITS - W_BITS);
    for (int k = 0; k < blocks; ++ k)
    {
        V v [FK_LEN];
#pragma GCC unroll 32
        for (int j = 0; j < FK_LEN; ++ j)
        {
            v [j] = vload (x, REV_FK.v [j] * blocks + k);
        }
        first_stages_lanes (v, plan.cos_table);
        float * const d = df + plan.bitrev [k << (FK_BITS + W_BITS)] * (FK_LEN * W);
#pragma GCC unroll 32
        for (int j = 0; j < FK_LEN; ++ j)
        {
            vstore (d, j, v [j]);
        }
    }
}

// The inverse of first_stages: from the lanes of sf into x.
QUARN_STEP void first_stages_inv (const Plan &plan, float *x, const float *sf)
{
    const int blocks = 1 << (plan.nbr_bits - FK_BITS - W_BITS);
    for (int k = 0; k < blocks; ++ k)
    {
        V v [FK_LEN];
        const float * const s = sf + plan.bitrev [k << (FK_BITS + W_BITS)] * (FK_LEN * W);
#pragma GCC unroll 32
        for (int j = 0; j < FK_LEN; ++ j)
        {
            v [j] = vload (s, j);
        }
        first_stages_lanes_inv (v, plan.cos_table);
#pragma GCC unroll 32
        for (int j = 0; j < FK_LEN; ++ j)
        {
            vstore (x, REV_FK.v [j] * blocks + k, v [j]);
        }
    }
}



// ---- Between lanes and rows -------------------------------------------------

// Lane t, element c (at c W + t) goes to row bitrev_w (t), element c (at
// bitrev_w (t) N / W + c): the packed layout after L - w stages.
QUARN_STEP void lanes_to_rows (const Plan &plan, float *df, const float *sf)
{
    const int row = 1 << (plan.nbr_bits - W_BITS);
    for (int c = 0; c < row; c += W)
    {
        V v [W];
#pragma GCC unroll 16
        for (int k = 0; k < W; ++ k)
        {
            v [k] = vload (sf, c + k);
        }
        V::transpose (v);
#pragma GCC unroll 16
        for (int t = 0; t < W; ++ t)
        {
            v [t].store (df + REV_W.v [t] * row + c);
        }
    }
}

QUARN_STEP void rows_to_lanes (const Plan &plan, float *df, const float *sf)
{
    const int row = 1 << (plan.nbr_bits - W_BITS);
    for (int c = 0; c < row; c += W)
    {
        V v [W];
#pragma GCC unroll 16
        for (int t = 0; t < W; ++ t)
        {
            v [t] = V::load (sf + REV_W.v [t] * row + c);
        }
        V::transpose (v);
#pragma GCC unroll 16
        for (int k = 0; k < W; ++ k)
        {
            vstore (df, c + k, v [k]);
        }
    }
}



// ---- Steps: one or two passes over a range, with their twiddles ------------
// Table passes up to TRIGO_BD_LIMIT, phasor passes above.

template <bool ROWS>
QUARN_STEP void forward_single (const Plan &plan, float *df, const float *sf, int len, int pass)
{
    using TableTw = std::conditional_t <ROWS, TableTwiddles, LaneTableTwiddles>;
    using PhasorTw = std::conditional_t <ROWS, PhasorTwiddles, LanePhasorTwiddles>;
    const int n = 1 << pass;
    if (pass <= TRIGO_BD_LIMIT)
    {
        TableTw tw (cos_level (plan, pass), n >> 1);
        if constexpr (ROWS) merge_single (df, sf, len, n, tw); else lane_merge_single (df, sf, len, n, tw);
    }
    else
    {
        PhasorTw tw (phasor_start (plan, pass));
        if constexpr (ROWS) merge_single (df, sf, len, n, tw); else lane_merge_single (df, sf, len, n, tw);
    }
}

template <bool ROWS>
QUARN_STEP void forward_double (const Plan &plan, float *df, const float *sf, int len, int pass)
{
    using TableTw = std::conditional_t <ROWS, TableTwiddles, LaneTableTwiddles>;
    using PhasorTw = std::conditional_t <ROWS, PhasorTwiddles, LanePhasorTwiddles>;
    const int n = 1 << pass;
    if (pass + 1 <= TRIGO_BD_LIMIT)
    {
        TableTw tw1 (cos_level (plan, pass), n >> 1);
        TableTw tw2 (cos_level (plan, pass + 1), n);
        if constexpr (ROWS) merge_double (df, sf, len, n, tw1, tw2); else lane_merge_double (df, sf, len, n, tw1, tw2);
    }
    else if (pass <= TRIGO_BD_LIMIT)
    {
        TableTw tw1 (cos_level (plan, pass), n >> 1);
        PhasorTw tw2 (phasor_start (plan, pass + 1));
        if constexpr (ROWS) merge_double (df, sf, len, n, tw1, tw2); else lane_merge_double (df, sf, len, n, tw1, tw2);
    }
    else
    {
        PhasorTw tw1 (phasor_start (plan, pass));
        PhasorTw tw2 (phasor_start (plan, pass + 1));
        if constexpr (ROWS) merge_double (df, sf, len, n, tw1, tw2); else lane_merge_double (df, sf, len, n, tw1, tw2);
    }
}

template <bool ROWS>
QUARN_STEP void backward_single (const Plan &plan, float *df, const float *sf, int len, int pass)
{
    using TableTw = std::conditional_t <ROWS, TableTwiddles, LaneTableTwiddles>;
    using PhasorTw = std::conditional_t <ROWS, PhasorTwiddles, LanePhasorTwiddles>;
    const int n = 1 << pass;
    if (pass <= TRIGO_BD_LIMIT)
    {
        TableTw tw (cos_level (plan, pass), n >> 1);
        if constexpr (ROWS) split_single (df, sf, len, n, tw); else lane_split_single (df, sf, len, n, tw);
    }
    else
    {
        PhasorTw tw (phasor_start (plan, pass));
        if constexpr (ROWS) split_single (df, sf, len, n, tw); else lane_split_single (df, sf, len, n, tw);
    }
}

template <bool ROWS>
QUARN_STEP void backward_double (const Plan &plan, float *df, const float *sf, int len, int pass)
{
    using TableTw = std::conditional_t <ROWS, TableTwiddles, LaneTableTwiddles>;
    using PhasorTw = std::conditional_t <ROWS, PhasorTwiddles, LanePhasorTwiddles>;
    const int n = 1 << pass;
    if (pass + 1 <= TRIGO_BD_LIMIT)
    {
        TableTw tw1 (cos_level (plan, pass), n >> 1);
        TableTw tw2 (cos_level (plan, pass + 1), n);
        if constexpr (ROWS) split_double (df, sf, len, n, tw1, tw2); else lane_split_double (df, sf, len, n, tw1, tw2);
    }
    else if (pass <= TRIGO_BD_LIMIT)
    {
        TableTw tw1 (cos_level (plan, pass), n >> 1);
        PhasorTw tw2 (phasor_start (plan, pass + 1));
        if constexpr (ROWS) split_double (df, sf, len, n, tw1, tw2); else lane_split_double (df, sf, len, n, tw1, tw2);
    }
    else
    {
        PhasorTw tw1 (phasor_start (plan, pass));
        PhasorTw tw2 (phasor_start (plan, pass + 1));
        if constexpr (ROWS) split_double (df, sf, len, n, tw1, tw2); else lane_split_double (df, sf, len, n, tw1, tw2);
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
template <bool ROWS>
QUARN_KERNEL float * run_forward (const Plan &plan, float *src, float *dst, int len, int p0, int p1)
{
    int p = p0;
    if (((p1 - p0) & 1) != 0)
    {
        forward_single <ROWS> (plan, dst, src, len, p);
        std::swap (src, dst);
        ++ p;
    }
    for ( ; p < p1; p += 2)
    {
        forward_double <ROWS> (plan, dst, src, len, p);
        std::swap (src, dst);
    }
    return src;
}

// The inverse of run_forward: undoes passes p1 - 1 .. p0, the first sweep
// reading src and writing dst, the next ones alternating between dst and
// other; returns the array that holds the result.
template <bool ROWS>
QUARN_KERNEL float * run_backward (const Plan &plan, const float *src, float *dst, float *other,
                                   int len, int p0, int p1)
{
    const bool single = ((p1 - p0) & 1) != 0;
    for (int p = p1 - 2; p >= (single ? p0 + 1 : p0); p -= 2)
    {
        backward_double <ROWS> (plan, dst, src, len, p);
        src = dst;
        std::swap (dst, other);
    }
    if (single)
    {
        backward_single <ROWS> (plan, dst, src, len, p0);
        src = dst;
    }
    return const_cast <float *> (src);
}



// ---- Entries ---------------------------------------------------------------
// For 2^MIN_BITS samples and more. Lane passes run up to pass L - w - 1,
// those up to pass `inner` - 1 on blocks of 2^INNER_BITS floats; row passes
// from L - w on.

struct Schedule
{
    int bits;     // L
    int split;    // first row pass: L - w
    int inner;    // first lane pass over the whole array
    int block;    // floats of a block of the inner lane passes

    QUARN_KERNEL explicit Schedule (int nbr_bits)
    :   bits (nbr_bits),
        split (nbr_bits - W_BITS),
        inner (std::min (nbr_bits - W_BITS, INNER_BITS - W_BITS)),
        block (1 << (std::min (nbr_bits - W_BITS, INNER_BITS - W_BITS) + W_BITS))
    {
    }

    // Sweeps over the arrays after the first kernel: lane passes, the
    // transpose, row passes.
    QUARN_KERNEL int sweeps_after_first () const
    {
        return sweeps (FK_BITS, inner) + sweeps (inner, split) + 1 + sweeps (split, bits);
    }
};

QUARN_STEP void forward (const Plan &plan, float f [], const float x [])
{
    const Schedule s (plan.nbr_bits);
    const int n = 1 << s.bits;

    // The first kernel writes where the sweep count makes the last land in f.
    float * const a = ((s.sweeps_after_first () & 1) == 0) ? f : plan.buffer;
    float * const b = (a == f) ? plan.buffer : f;

    first_stages (plan, a, x);
    float *cur = a;
    for (int c = 0; c < n; c += s.block)
    {
        cur = run_forward <false> (plan, a + c, b + c, s.block, FK_BITS, s.inner) - c;
    }
    cur = run_forward <false> (plan, cur, (cur == a) ? b : a, n, s.inner, s.split);
    float * const rows = (cur == a) ? b : a;
    lanes_to_rows (plan, rows, cur);
    run_forward <true> (plan, rows, (rows == a) ? b : a, n, s.split, s.bits);
}

QUARN_STEP void backward (const Plan &plan, float x [], const float f [])
{
    const Schedule s (plan.nbr_bits);
    const int n = 1 << s.bits;

    // The last sweep writes the buffer, which the first kernel reads.
    float * const a = ((s.sweeps_after_first () & 1) != 0) ? plan.buffer : x;
    float * const b = (a == x) ? plan.buffer : x;

    float *cur = run_backward <true> (plan, f, a, b, n, s.split, s.bits);
    float * const lanes = (cur == a) ? b : a;
    rows_to_lanes (plan, lanes, cur);
    cur = run_backward <false> (plan, lanes, (lanes == a) ? b : a, lanes, n, s.inner, s.split);
    float * const other = (cur == a) ? b : a;
    for (int c = 0; c < n; c += s.block)
    {
        run_backward <false> (plan, cur + c, other + c, cur + c, s.block, FK_BITS, s.inner);
    }
    first_stages_inv (plan, x, plan.buffer);
}

#undef QUARN_KERNEL
#undef QUARN_STEP

}  // namespace QUARN_SIMD_NS
}  // namespace simd
}  // namespace quarn

#undef QUARN_SIMD_NS
#undef QUARN_SIMD_TARGET
#undef QUARN_SIMD_VECF
#undef QUARN_SIMD_VECD
