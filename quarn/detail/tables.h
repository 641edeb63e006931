// SPDX-License-Identifier: MIT
// The layouts of the twiddle tables, each defined here and nowhere else, with
// their builders, and the tables a vector path reads.

#ifndef QUARN_DETAIL_TABLES_H
#define QUARN_DETAIL_TABLES_H

#include "quarn/detail/butterfly.h"

#include <cmath>
#include <cstddef>

namespace quarn::detail
{

constexpr double PI = 3.141592653589793;
constexpr double SQRT2_2 = 1.4142135623730951 * 0.5;   // rounded to the sample type by the third stage

// ---- Cosine levels -----------------------------------------------------------
// Level L holds cos (i pi / 2^L) for i = 0 .. 2^(L-1) - 1; levels from 3 up lie
// back to back, level L at cos_level_index (L). The sine of i pi / 2^L is the
// mirrored entry 2^(L-1) - i of the same level.

QUARN_INLINE constexpr int cos_level_index (int level)
{
    return (1 << (level - 1)) - 4;
}

// Levels `from` .. `to` (from >= 3) into dst, level L at
// cos_level_index (L) - cos_level_index (from): computed in double, each
// rounded once.
template <class T>
void build_cos_levels (T *dst, int from, int to)
{
    for (int level = from; level <= to; ++ level)
    {
        const int len = 1 << (level - 1);
        T * const lvl = dst + (cos_level_index (level) - cos_level_index (from));
        const double mul = PI / (len * 2);
        for (int i = 0; i < len; ++ i)
        {
            lvl [i] = static_cast <T> (std::cos (i * mul));
        }
    }
}

// ---- Twiddle pairs -------------------------------------------------------------
// One level L of cosines with each entry beside its mirrored one, the sine:
// entry i at 2 i (cos) and 2 i + 1 (sin), i < 2^(L-1). Lower levels are every
// 2^(L - level)-th pair of it, so one level serves all below.

constexpr std::size_t pair_table_size (int level)
{
    return std::size_t (1) << level;
}

template <class T>
void build_pairs (T *dst, int level)
{
    const int h = 1 << (level - 1);
    const double mul = PI / (h * 2);
    for (int i = 0; i < h; ++ i)
    {
        dst [2 * std::ptrdiff_t (i)] = static_cast <T> (std::cos (i * mul));
        dst [2 * std::ptrdiff_t (i) + 1] = (i == 0) ? T (0) : static_cast <T> (std::cos ((h - i) * mul));
    }
}

// ---- Phasor starts ---------------------------------------------------------------
// For a pass p whose twiddles come from phasors (in double): cos (j pi / 2^p)
// for j = 0 .. PHASOR_LANES, then the sines. Lane j of a vector of W lanes
// starts at angle j pi / 2^p and steps by the angle of entry W.

constexpr int PHASOR_LANES = 16;
constexpr int PHASOR_STRIDE = 2 * (PHASOR_LANES + 1);

// Passes from .. to into dst, pass p at PHASOR_STRIDE (p - from).
inline void build_phasor_starts (double *dst, int from, int to)
{
    for (int pass = from; pass <= to; ++ pass)
    {
        const double theta = std::ldexp (PI, -pass);
        double * const start = dst + PHASOR_STRIDE * std::ptrdiff_t (pass - from);
        for (int j = 0; j <= PHASOR_LANES; ++ j)
        {
            start [j] = std::cos (j * theta);
            start [PHASOR_LANES + 1 + j] = std::sin (j * theta);
        }
    }
}

// ---- The order of the sweeps ------------------------------------------------------
// A vector path's first kernel does stages 1 .. fk_bits on lanes; lane passes
// fk_bits .. split - 1 follow (split = L - w), in place in the scratch array,
// then the last stages. Those on blocks of up to 2^INNER_BITS floats run
// block by block (16 KiB, in L1), then those on blocks of up to
// 2^MIDDLE_BITS floats (256 KiB, in any L2); only the passes above sweep
// the whole array. Where the input and the output are larger than the L2,
// those sweeps go to L3 or memory: then the middle blocks grow to half the
// L2 (2 MiB: 2^18 floats), which saves a sweep at some lengths. (These sizes
// were chosen when the passes still went between two arrays; twice the
// blocks for the one array measured within 4% either way, 9% slower at
// float 2^17, so they stay.) In each group one single pass first if the
// count is odd, then pairs: only group 0 can have an odd count (the two
// groups above it hold even counts), so the one single pass of a transform
// comes right after the first kernel, which the engine relies on.

// The stages of the first kernel on 2^w_bits lanes: one more than w_bits,
// at least the three that have their own code.
constexpr int first_kernel_bits (int w_bits)
{
    return (w_bits + 1 > 3) ? w_bits + 1 : 3;
}

// Forward, as many as one block of it can keep in `vectors` registers,
// wherever the length has one such block a lane (from twice the shortest
// length on, where that is one stage more): a stage costs less there than
// in a lane pass (forward, time against the narrow kernel: AVX-512 double 0.93 to 0.97
// from 2^8 to 2^15, even above; AVX2 double 0.86 to 0.95 to 2^16; SSE2
// double 0.85 to 0.98, 0.87 to 0.93 from 2^13 on). The inverse
// gained nothing so (AVX-512 double within 4% either way; SSE2 and AVX2 up
// to 7 to 17% slower from 2^14 on, its stores going to twice as many
// places of x) and keeps the narrow kernel.
constexpr int forward_first_kernel_bits (int w_bits, int vectors, int bits)
{
    const int fk = first_kernel_bits (w_bits);
    int wide = fk;
    while ((2 << wide) <= vectors)
    {
        ++ wide;
    }
    return (bits >= wide + w_bits) ? wide : fk;
}

constexpr int INNER_BITS = 12;
constexpr int MIDDLE_BITS = 16;

struct Schedule
{
    int split = 0;                 // L - w: the last stages start here
    int fk_bits = 0;               // the first kernel's stages: passes start here
    int end [3] = {};              // passes of group g: end [g - 1] .. end [g] - 1
    std::ptrdiff_t block [3] = {}; // and their block length, in elements

    // For 2^bits samples of `sample_bytes` bytes in vectors of 2^w_bits
    // lanes after a first kernel of fk stages, with an L2 cache of
    // l2_bytes (0: unknown).
    Schedule (int bits, int w_bits, int fk, std::size_t sample_bytes, std::size_t l2_bytes)
    :   split (bits - w_bits),
        fk_bits (fk)
    {
        const int shrink = (sample_bytes > 4) ? 1 : 0;  // doubles take twice the room
        const int inner_bits = INNER_BITS - shrink - w_bits;
        int middle_floats = MIDDLE_BITS;
        if ((std::size_t (2) << bits) * sample_bytes > l2_bytes)
        {
            // Floats of each array when both fill the L2.
            while ((std::size_t (8) << middle_floats) <= l2_bytes / 2)
            {
                ++ middle_floats;
            }
        }
        const int middle_bits = middle_floats - shrink - w_bits;

        // As many passes in blocks as fit, but no more single passes than
        // the parity of the count asks for: an odd count of lane passes gets
        // its one single pass in the smallest blocks.
        int inner = (split < inner_bits) ? split : inner_bits;
        if (((inner - fk_bits) & 1) != ((split - fk_bits) & 1))
        {
            -- inner;
        }
        int middle = (split < middle_bits) ? split : middle_bits;
        middle = (middle > inner) ? middle : inner;
        if (((middle - inner) & 1) != 0)
        {
            -- middle;
        }
        end [0] = inner;
        end [1] = middle;
        end [2] = split;
        for (int g = 0; g < 3; ++ g)
        {
            block [g] = std::ptrdiff_t (1) << end [g];
        }
    }

    Schedule () = default;
};

// ---- What a vector path reads ------------------------------------------------------

template <class T>
struct VectorTables
{
    int nbr_bits = 0;          // log2 N
    int limit = 0;             // highest pass that reads tables; phasors above
    const T *pairs = nullptr;  // twiddle pairs of level pair_level
    int pair_level = 0;
    const T *cos = nullptr;    // cosine levels cos_from .. min (nbr_bits - 1, limit)
    int cos_from = 0;
    const double *phasors = nullptr;   // phasor starts of passes limit .. nbr_bits - 1
    Schedule forward_schedule;
    Schedule backward_schedule;   // after the narrow first kernel (first_kernel_bits)
    // Whether the inverse first kernel goes through its buffer (first.h):
    // [1] for vectors of a whole line with x on one, [0] otherwise; and
    // the last stages (rows.h).
    bool staged [2] = {};
    bool staged_last = false;
    // Whether the forward first kernel writes its blocks past the caches
    // (vectors of a whole line only; first.h).
    bool stream_first = false;

    // Read by the kernels, so always inlined: GCC does not inline a function
    // of another tuning into them otherwise (a call per level of the last
    // stages; the time is the same within 1% either way).
    QUARN_INLINE const T * cos_level (int level) const
    {
        return cos + (cos_level_index (level) - cos_level_index (cos_from));
    }

    QUARN_INLINE const double * phasor_start (int pass) const
    {
        return phasors + PHASOR_STRIDE * std::ptrdiff_t (pass - limit);
    }
};

}  // namespace quarn::detail

#endif  // QUARN_DETAIL_TABLES_H
