// SPDX-License-Identifier: MIT
// The vector paths, part 3: the order of the sweeps, and where the scratch
// array lies. Engine <V>::forward and backward run a whole transform of
// 2^MIN_BITS samples or more on the vocabulary V; dispatch.h compiles them
// once per instruction set.

#ifndef QUARN_DETAIL_ENGINE_H
#define QUARN_DETAIL_ENGINE_H

#include "quarn/detail/kernels.h"
#include "quarn/detail/lanes.h"
#include "quarn/detail/rows.h"

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

    QUARN_INLINE static void first (const Tab &tab, T *d, const T *x)
    {
        first_stages <V> (tab, d, x);
    }

    // Twiddles from phasors only above the table limit, and only in float.
    static constexpr bool PHASORS = std::is_same <T, float>::value;

    QUARN_INLINE static void single (const Tab &tab, T *d, const T *s, Idx len, int pass)
    {
        if (PHASORS && pass > tab.limit)
        {
            PhasorTwiddles <V> tw (tab, pass);
            merge_blocks <V> (d, s, len, Idx (1) << pass, tw);
        }
        else
        {
            TableTwiddles <V> tw (tab, pass);
            merge_blocks <V> (d, s, len, Idx (1) << pass, tw);
        }
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

    QUARN_INLINE static void last (const Tab &tab, T *f, const T *s)
    {
        last_stages <V> (tab, f, s);
    }

    QUARN_INLINE static void first_inv (const Tab &tab, T *x, const T *s)
    {
        first_stages_inv <V> (tab, x, s);
    }

    QUARN_INLINE static void single_inv (const Tab &tab, T *d, const T *s, Idx len, int pass)
    {
        if (PHASORS && pass > tab.limit)
        {
            PhasorTwiddles <V> tw (tab, pass);
            split_blocks <V> (d, s, len, Idx (1) << pass, tw);
        }
        else
        {
            TableTwiddles <V> tw (tab, pass);
            split_blocks <V> (d, s, len, Idx (1) << pass, tw);
        }
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

    QUARN_INLINE static void last_inv (const Tab &tab, T *d, const T *f)
    {
        last_stages_inv <V> (tab, d, f);
    }
};

// A whole transform of 2^MIN_BITS samples or more, step by step.
template <class V, class St = Steps <V>>
struct Engine
{
    using T = typename V::Scalar;
    using S = Shape <V>;
    static constexpr int MIN_BITS = S::MIN_BITS;

    // The packed spectrum of x into f, through scratch (N samples and the
    // slack of scratch_slack_bytes).
    static void forward (const VectorTables <T> &tab, T *f, const T *x, T *scratch)
    {
        const Schedule &s = tab.schedule;
        const Idx n = Idx (1) << s.split;                   // elements

        // The first kernel writes where the sweep count makes the last one
        // land in the scratch array, which the last stages read.
        T * const buf = place_scratch (scratch, f, tab.nbr_bits);
        T * const a = ((s.sweeps & 1) == 0) ? buf : f;
        T * const b = (a == f) ? buf : f;
        St::first (tab, a, x);
        T *cur = a;
        int from = S::FK_BITS;
        for (int g = 0; g < 3; ++ g)
        {
            if (s.end [g] == from)
            {
                continue;
            }
            // One single pass first if the count is odd, then pairs.
            const int single = (s.end [g] - from) & 1;
            const Idx len = s.block [g];
            T * const src = cur;
            T * const dst = (src == a) ? b : a;
            for (Idx c = 0; c < n; c += len)
            {
                T *p = src + c * S::W;
                T *q = dst + c * S::W;
                for (int pass = from; pass < s.end [g]; )
                {
                    if (pass == from && single != 0)
                    {
                        St::single (tab, q, p, len, pass);
                        pass += 1;
                    }
                    else
                    {
                        St::pair (tab, q, p, len, pass);
                        pass += 2;
                    }
                    std::swap (p, q);
                }
                cur = p - c * S::W;
            }
            from = s.end [g];
        }
        St::last (tab, f, cur);
    }

    // The inverse: N times the samples of the packed spectrum f into x.
    static void backward (const VectorTables <T> &tab, T *x, const T *f, T *scratch)
    {
        const Schedule &s = tab.schedule;
        const Idx n = Idx (1) << s.split;

        // The last sweep writes the scratch array, which the first kernel
        // reads.
        T * const buf = place_scratch (scratch, x, tab.nbr_bits);
        T * const a = ((s.sweeps & 1) == 0) ? buf : x;
        T * const b = (a == x) ? buf : x;
        St::last_inv (tab, a, f);
        T *cur = a;
        for (int g = 2; g >= 0; -- g)
        {
            const int from = (g == 0) ? S::FK_BITS : s.end [g - 1];
            if (s.end [g] == from)
            {
                continue;
            }
            const int single = (s.end [g] - from) & 1;
            const Idx len = s.block [g];
            T * const src = cur;
            T * const dst = (src == a) ? b : a;
            for (Idx c = 0; c < n; c += len)
            {
                T *p = src + c * S::W;
                T *q = dst + c * S::W;
                for (int pass = s.end [g] - 2; pass >= from; pass -= 2)
                {
                    St::pair_inv (tab, q, p, len, pass);
                    std::swap (p, q);
                }
                if (single != 0)
                {
                    St::single_inv (tab, q, p, len, from);
                    std::swap (p, q);
                }
                cur = p - c * S::W;
            }
        }
        St::first_inv (tab, x, cur);
    }
};

}  // namespace quarn::detail

#endif  // QUARN_DETAIL_ENGINE_H
