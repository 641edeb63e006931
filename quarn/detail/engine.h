// SPDX-License-Identifier: MIT
// The vector paths, the fifth of five headers: the order of the sweeps,
// and where the scratch array lies. Engine <V>::forward and backward run a
// whole transform of 2^MIN_BITS samples or more on the vocabulary V;
// dispatch.h compiles them once per instruction set.

#ifndef QUARN_DETAIL_ENGINE_H
#define QUARN_DETAIL_ENGINE_H

#include "quarn/detail/first.h"
#include "quarn/detail/kernels.h"
#include "quarn/detail/lanes.h"
#include "quarn/detail/quads.h"
#include "quarn/detail/rows.h"

#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>

namespace quarn::detail
{

// ---- The scratch array ---------------------------------------------------------
// The vector passes go back and forth between the scratch array and the
// output at the same positions. Had both arrays the same place in a 4 KiB
// page, their lines would crowd the same few L1 cache sets (indexed by the
// address modulo 4 KiB), and loads would wait on stores to the same page
// offset: that made the passes from 2^15 samples up to 2 times slower,
// depending on where the caller's array lay. So the scratch array starts on a
// cache line and, from 2^FAR_BITS samples on, half a page from the output
// modulo the page, within the slack of scratch_slack_bytes (kernels.h).


template <class T>
T * place_scratch (T *base, const T *out, int nbr_bits)
{
    // Only the addresses' offsets within a page are used.
    const std::uintptr_t b = reinterpret_cast <std::uintptr_t> (base);  // NOLINT(cppcoreguidelines-pro-type-reinterpret-cast)
    std::uintptr_t skip;
    if (nbr_bits >= FAR_BITS)
    {
        const std::uintptr_t o = reinterpret_cast <std::uintptr_t> (out);  // NOLINT(cppcoreguidelines-pro-type-reinterpret-cast)
        const std::uintptr_t want = (o + PAGE_BYTES / 2) & ~(LINE_BYTES - 1);
        skip = (want - b) & (PAGE_BYTES - 1);
    }
    else
    {
        skip = (0 - b) & (LINE_BYTES - 1);
    }
    return base + skip / sizeof (T);
}

// The steps of a transform, each a sweep over the arrays. dispatch.h wraps
// each in a function of its own per instruction set, compiled for it.
template <class V>
struct Steps
{
    using T = typename V::Scalar;
    using Tab = VectorTables <T>;

    QUARN_INLINE static void first (const Tab &tab, T *d, const T *x, Idx from, Idx count, bool by_output)
    {
        first_stages <V> (tab, d, x, from, count, by_output);
    }

    // Twiddles from phasors only above the table limit, and only in float.
    static constexpr bool PHASORS = std::is_same <T, float>::value;

    QUARN_INLINE static void single (const Tab &tab, T *d, const T *s, Idx len)
    {
        TableTwiddles <V> tw (tab, Shape <V>::FK_BITS);
        merge_blocks <V> (d, s, len, Idx (1) << Shape <V>::FK_BITS, tw);
    }

    QUARN_INLINE static void pair (const Tab &tab, T *d, const T *s, Idx len, int pass)
    {
        const V k = V::splat (static_cast <T> (SQRT2_2));
        const Idx n = Idx (1) << pass;
        // Across the limit too: phasors in double, rounded once, are as
        // good as the table.
        if (PHASORS && pass + 1 > tab.limit)
        {
            PhasorTwiddles <V> tw1 (tab, pass);
            PhasorTwiddles <V> tw2 (tab, pass + 1);
            merge_blocks_double <V> (d, s, len, n, tw1, tw2, k);
        }
        else
        {
            TableTwiddles <V> tw1 (tab, pass);
            TableTwiddles <V> tw2 (tab, pass + 1);
            merge_blocks_double <V> (d, s, len, n, tw1, tw2, k);
        }
    }

    // Four passes a sweep, all twiddles from the tables (pass + 3 at most
    // the limit). Only where a vector fills a cache line: its 32 registers
    // hold the four blocks' eight vectors that it keeps between its two
    // halves (with 16, AVX2 was 1 to 5% slower than by pairs). And only in
    // double: in float it saved 5 to 12% at 2^15 and 2^16, but took a
    // user's file 0.3 s longer to compile, past its budget of 4 s.
    static constexpr bool QUADS = Shape <V>::LINE_VECTORS && std::is_same <T, double>::value;

    QUARN_INLINE static void quad (const Tab &tab, T *d, const T *s, Idx len, int pass)
    {
        if constexpr (QUADS)
        {
            const V k = V::splat (static_cast <T> (SQRT2_2));
            merge_blocks_quad <V> (d, s, len, Idx (1) << pass, tab, pass, k);
        }
    }

    QUARN_INLINE static void last (const Tab &tab, T *f, const T *s)
    {
        last_stages <V> (tab, f, s);
    }

    QUARN_INLINE static void first_inv (const Tab &tab, T *x, const T *s)
    {
        first_stages_inv <V> (tab, x, s);
    }

    QUARN_INLINE static void single_inv (const Tab &tab, T *d, const T *s, Idx len)
    {
        TableTwiddles <V> tw (tab, Shape <V>::FK_BITS);
        split_blocks <V> (d, s, len, Idx (1) << Shape <V>::FK_BITS, tw);
    }

    QUARN_INLINE static void pair_inv (const Tab &tab, T *d, const T *s, Idx len, int pass)
    {
        const V k = V::splat (static_cast <T> (SQRT2_2));
        const Idx n = Idx (1) << pass;
        if (PHASORS && pass + 1 > tab.limit)
        {
            PhasorTwiddles <V> tw1 (tab, pass);
            PhasorTwiddles <V> tw2 (tab, pass + 1);
            split_blocks_double <V> (d, s, len, n, tw1, tw2, k);
        }
        else
        {
            TableTwiddles <V> tw1 (tab, pass);
            TableTwiddles <V> tw2 (tab, pass + 1);
            split_blocks_double <V> (d, s, len, n, tw1, tw2, k);
        }
    }

    QUARN_INLINE static void quad_inv (const Tab &tab, T *d, const T *s, Idx len, int pass)
    {
        if constexpr (QUADS)
        {
            const V k = V::splat (static_cast <T> (SQRT2_2));
            split_blocks_quad <V> (d, s, len, Idx (1) << pass, tab, pass, k);
        }
    }

    QUARN_INLINE static void last_inv (const Tab &tab, T *d, const T *f)
    {
        last_stages_inv <V> (tab, d, f);
    }
};

// A whole transform of 2^MIN_BITS samples or more, step by step. Depth
// first: the arrays are taken in regions of the largest blocked group's
// block (group 1 of the schedule); in each, block by block, the passes of
// group 0 while the block is in L1, and before them, where a vector fills a
// cache line, the first kernel's blocks that land there (which then need no
// trip through L2); then those of group 1. Only group 2 and
// the last stages sweep the whole arrays (and the first kernel, where
// vectors are narrower, or for the inverse).
template <class V, class St = Steps <V>>
struct Engine
{
    using T = typename V::Scalar;
    using S = Shape <V>;
    static constexpr int MIN_BITS = S::MIN_BITS;

    // Passes `from` .. `to` - 1 over len elements from p, alternating with
    // q; returns where the result is. One single pass first if the count is
    // odd, then pairs, or fours while they fit where `quads`. Only group 0
    // has an odd count, and it starts right after the first kernel
    // (tables.h), where `single` runs.
    QUARN_INLINE static T * passes (const VectorTables <T> &tab, T *p, T *q, Idx len, int from, int to,
                                   bool quads = false)
    {
        for (int pass = from; pass < to; )
        {
            if (pass == from && ((to - from) & 1) != 0)
            {
                St::single (tab, q, p, len);
                pass += 1;
            }
            else if (quads && to - pass >= 4)
            {
                St::quad (tab, q, p, len, pass);
                pass += 4;
            }
            else
            {
                St::pair (tab, q, p, len, pass);
                pass += 2;
            }
            std::swap (p, q);
        }
        return p;
    }

    // The inverse: passes to - 1 .. from.
    QUARN_INLINE static T * passes_inv (const VectorTables <T> &tab, T *p, T *q, Idx len, int from, int to,
                                       bool quads = false)
    {
        const int bottom = from + ((to - from) & 1);
        for (int pass = to; pass > bottom; std::swap (p, q))
        {
            if (quads && pass - bottom >= 4)
            {
                pass -= 4;
                St::quad_inv (tab, q, p, len, pass);
            }
            else
            {
                pass -= 2;
                St::pair_inv (tab, q, p, len, pass);
            }
        }
        if (((to - from) & 1) != 0)
        {
            St::single_inv (tab, q, p, len);
            std::swap (p, q);
        }
        return p;
    }

    // Group 1 in fours: 5 to 9% faster where it is the last group (2^14,
    // 2^15), 2 to 8% from 2^16 to 2^20 (output on a cache line; off one,
    // where each of the 32 output streams straddles lines, within 4% either
    // way there).
    static bool group_1_quads (const VectorTables <T> &tab)
    {
        return Steps <V>::QUADS && tab.schedule.end [1] <= tab.limit + 1;
    }

    // Group 0 in fours in the inverse from 2^13 samples on (3 to 7% faster
    // to 2^17). The forward was 2 to 8% slower so, and 2^11 either way.
    static bool group_0_quads (const VectorTables <T> &tab, bool inverse)
    {
        return Steps <V>::QUADS && inverse && tab.nbr_bits >= 13 && tab.schedule.end [0] <= tab.limit + 1;
    }

    // The sweeps that fours save.
    static int quad_count (const VectorTables <T> &tab, bool inverse)
    {
        const Schedule &s = tab.schedule;
        return (group_1_quads (tab) ? (s.end [1] - s.end [0]) / 4 : 0)
            + (group_0_quads (tab, inverse) ? (s.end [0] - S::FK_BITS) / 4 : 0);
    }

    // The packed spectrum of x into f, through scratch (N samples and the
    // slack of scratch_slack_bytes).
    static void forward (const VectorTables <T> &tab, T *f, const T *x, T *scratch)
    {
        if (tab.schedule.split <= S::FK_BITS + 1)
        {
            forward_short (tab, f, x, scratch);
            return;
        }
        const Schedule &s = tab.schedule;
        const Idx n = Idx (1) << s.split;                   // elements
        constexpr Idx W = S::W;

        // The first kernel writes where the sweep count makes the last one
        // land in the scratch array, which the last stages read.
        T * const buf = place_scratch (scratch, f, tab.nbr_bits);
        const bool quads = group_1_quads (tab);
        T * const a = (((s.sweeps - quad_count (tab, false)) & 1) == 0) ? buf : f;
        T * const b = (a == f) ? buf : f;
        T *cur = a;
        const Idx region = s.block [1];
        const bool by_region = S::LINE_VECTORS && (std::size_t (1) << tab.nbr_bits) * sizeof (T) <= S::BY_REGION_BYTES;
        if (! by_region)
        {
            St::first (tab, a, x, 0, n / S::FK_LEN, false);
        }
        for (Idx r = 0; r < n; r += region)
        {
            T *p = a;
            for (Idx c = r; c < r + region; c += s.block [0])
            {
                if (by_region)
                {
                    St::first (tab, a, x, c / S::FK_LEN, s.block [0] / S::FK_LEN, true);
                }
                p = passes (tab, a + c * W, b + c * W, s.block [0], S::FK_BITS, s.end [0]) - c * W;
            }
            T * const q = (p == a) ? b : a;
            cur = passes (tab, p + r * W, q + r * W, region, s.end [0], s.end [1], quads) - r * W;
        }
        cur = passes (tab, cur, (cur == a) ? b : a, n, s.end [1], s.end [2]);
        St::last (tab, f, cur);
    }

    // The shortest lengths, 2^MIN_BITS and twice that: the first kernel, at
    // most one lane pass, the last stages, with no schedule to walk (up to
    // 15% faster there than the loops above).
    static void forward_short (const VectorTables <T> &tab, T *f, const T *x, T *scratch)
    {
        const Idx n = Idx (1) << tab.schedule.split;
        T * const buf = place_scratch (scratch, f, tab.nbr_bits);
        if (tab.schedule.split == S::FK_BITS)
        {
            St::first (tab, buf, x, 0, n / S::FK_LEN, false);
        }
        else
        {
            St::first (tab, f, x, 0, n / S::FK_LEN, false);
            St::single (tab, buf, f, n);
        }
        St::last (tab, f, buf);
    }

    static void backward_short (const VectorTables <T> &tab, T *x, const T *f, T *scratch)
    {
        const Idx n = Idx (1) << tab.schedule.split;
        T * const buf = place_scratch (scratch, x, tab.nbr_bits);
        if (tab.schedule.split == S::FK_BITS)
        {
            St::last_inv (tab, buf, f);
        }
        else
        {
            St::last_inv (tab, x, f);
            St::single_inv (tab, buf, x, n);
        }
        St::first_inv (tab, x, buf);
    }

    // The inverse: N times the samples of the packed spectrum f into x.
    static void backward (const VectorTables <T> &tab, T *x, const T *f, T *scratch)
    {
        if (tab.schedule.split <= S::FK_BITS + 1)
        {
            backward_short (tab, x, f, scratch);
            return;
        }
        const Schedule &s = tab.schedule;
        const Idx n = Idx (1) << s.split;
        constexpr Idx W = S::W;

        // The last sweep writes the scratch array, which the first kernel
        // reads.
        T * const buf = place_scratch (scratch, x, tab.nbr_bits);
        const bool quads = group_1_quads (tab);
        const bool quads_0 = group_0_quads (tab, true);
        T * const a = (((s.sweeps - quad_count (tab, true)) & 1) == 0) ? buf : x;
        T * const b = (a == x) ? buf : x;
        St::last_inv (tab, a, f);
        T * const top = passes_inv (tab, a, b, n, s.end [1], s.end [2]);
        T *cur = top;
        const Idx region = s.block [1];
        for (Idx r = 0; r < n; r += region)
        {
            T * const p = passes_inv (tab, top + r * W, ((top == a) ? b : a) + r * W, region,
                                      s.end [0], s.end [1], quads) - r * W;
            T * const q = (p == a) ? b : a;
            for (Idx c = r; c < r + region; c += s.block [0])
            {
                cur = passes_inv (tab, p + c * W, q + c * W, s.block [0], S::FK_BITS, s.end [0], quads_0) - c * W;
            }
        }
        // Not region by region: the first kernel's blocks scatter over the
        // whole of x, which the regions still to come may use.
        St::first_inv (tab, x, cur);
    }
};

}  // namespace quarn::detail

#endif  // QUARN_DETAIL_ENGINE_H
