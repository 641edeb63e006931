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
#include "quarn/detail/passes.h"
#include "quarn/detail/rows.h"

#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>

namespace quarn::detail
{

// ---- The scratch array ---------------------------------------------------------
// The lane passes run in place in the scratch array; the first kernel (or
// the last stages of the inverse) fills it from the input, and the last
// stages (or the inverse first kernel) empty it into the output, at related
// positions. Had both arrays the same place in a 4 KiB page, their lines
// would crowd the same few L1 cache sets (indexed by the address modulo 4
// KiB), and loads would wait on stores to the same page offset: when the
// passes still went back and forth between the two arrays, that made them
// up to 2 times slower from 2^15 samples, depending on where the caller's
// array lay. So the scratch array starts on a cache line and, from
// 2^FAR_BITS samples on, half a page from the output modulo the page, within
// the slack of scratch_slack_bytes (kernels.h).


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
    using S = Shape <V>;

    // The first kernel of FK stages (S::FK_BITS or Engine's FK_WIDE_BITS).
    template <int FK>
    QUARN_INLINE static void first (const Tab &tab, T *d, const T *x, Idx from, Idx count, bool by_output)
    {
        first_stages <V, FK> (tab, d, x, from, count, by_output);
    }

    // Twiddles from phasors only above the table limit, and only in float.
    static constexpr bool PHASORS = std::is_same <T, float>::value;

    // The one single pass, right after a first kernel of FK stages: its
    // blocks' length a constant.
    template <int FK>
    QUARN_INLINE static void single (const Tab &tab, T *d, Idx len)
    {
        TableTwiddles <V> tw (tab, FK);
        merge_blocks_in_place <V> (d, len, Idx (1) << FK, tw);
    }

    QUARN_INLINE static void pair (const Tab &tab, T *d, Idx len, int pass)
    {
        const V k = V::splat (static_cast <T> (SQRT2_2));
        const Idx n = Idx (1) << pass;
        // Across the limit too: phasors in double, rounded once, are as
        // good as the table.
        if constexpr (PHASORS)
        {
            const bool from_table = pass + 1 <= tab.limit;
            TableOrPhasorTwiddles <V> tw1 (tab, pass, from_table);
            TableOrPhasorTwiddles <V> tw2 (tab, pass + 1, from_table);
            merge_blocks_double <V> (d, len, n, tw1, tw2, k);
        }
        else
        {
            TableTwiddles <V> tw1 (tab, pass);
            TableTwiddles <V> tw2 (tab, pass + 1);
            merge_blocks_double <V> (d, len, n, tw1, tw2, k);
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

    QUARN_INLINE static void single_inv (const Tab &tab, T *d, Idx len)
    {
        TableTwiddles <V> tw (tab, S::FK_BITS);
        split_blocks_in_place <V> (d, len, Idx (1) << S::FK_BITS, tw);
    }

    QUARN_INLINE static void pair_inv (const Tab &tab, T *d, Idx len, int pass)
    {
        const V k = V::splat (static_cast <T> (SQRT2_2));
        const Idx n = Idx (1) << pass;
        if constexpr (PHASORS)
        {
            const bool from_table = pass + 1 <= tab.limit;
            TableOrPhasorTwiddles <V> tw1 (tab, pass, from_table);
            TableOrPhasorTwiddles <V> tw2 (tab, pass + 1, from_table);
            split_blocks_double <V> (d, len, n, tw1, tw2, k);
        }
        else
        {
            TableTwiddles <V> tw1 (tab, pass);
            TableTwiddles <V> tw2 (tab, pass + 1);
            split_blocks_double <V> (d, len, n, tw1, tw2, k);
        }
    }

    QUARN_INLINE static void last_inv (const Tab &tab, T *d, const T *f)
    {
        last_stages_inv <V> (tab, d, f);
    }
};

// A whole transform of 2^MIN_BITS samples or more, step by step. Depth
// first: the scratch array is taken in regions of the largest blocked group's
// block (group 1 of the schedule); in each, block by block, the passes of
// group 0 while the block is in L1, and before them, where a vector fills a
// cache line, the first kernel's blocks that land there (which then need no
// trip through L2); then those of group 1. Only group 2 and
// the last stages sweep the whole arrays (and the first kernel, where
// vectors are narrower, or for the inverse).
// VECTORS: how many vectors a block of the forward first kernel may keep in
// registers (tables.h); more than V's where St is compiled for more.
template <class V, class St = Steps <V>, int VECTORS = V::KERNEL_VECTORS>
struct Engine
{
    using T = typename V::Scalar;
    using S = Shape <V>;
    static constexpr int MIN_BITS = S::MIN_BITS;
    static constexpr int FK_WIDE_BITS = forward_first_kernel_bits (S::W_BITS, VECTORS, 64);

    // Whether the forward transform takes the wide first kernel.
    QUARN_INLINE static bool wide_first (const VectorTables <T> &tab)
    {
        return FK_WIDE_BITS != S::FK_BITS && tab.forward_schedule.fk_bits == FK_WIDE_BITS;
    }

    // Passes `from` .. `to` - 1 in place over len elements from d: one
    // single pass first if the count is odd, then pairs. Only group 0 has an
    // odd count, and it starts right after the first kernel (tables.h),
    // where `single` runs.
    QUARN_INLINE static void passes (const VectorTables <T> &tab, T *d, Idx len, int from, int to)
    {
        for (int pass = from; pass < to; )
        {
            if (pass == from && ((to - from) & 1) != 0)
            {
                if (wide_first (tab))
                {
                    St::template single <FK_WIDE_BITS> (tab, d, len);
                }
                else
                {
                    St::template single <S::FK_BITS> (tab, d, len);
                }
                pass += 1;
            }
            else
            {
                St::pair (tab, d, len, pass);
                pass += 2;
            }
        }
    }

    // The inverse: passes to - 1 .. from.
    QUARN_INLINE static void passes_inv (const VectorTables <T> &tab, T *d, Idx len, int from, int to)
    {
        const int bottom = from + ((to - from) & 1);
        for (int pass = to; pass > bottom; pass -= 2)
        {
            St::pair_inv (tab, d, len, pass - 2);
        }
        if (((to - from) & 1) != 0)
        {
            St::single_inv (tab, d, len);
        }
    }

    // The packed spectrum of x into f, through scratch (N samples and the
    // slack of scratch_slack_bytes).
    static void forward (const VectorTables <T> &tab, T *f, const T *x, T *scratch)
    {
        const Schedule &s = tab.forward_schedule;
        if (s.split <= s.fk_bits + 1)
        {
            forward_short (tab, f, x, scratch);
            return;
        }
        const Idx n = Idx (1) << s.split;                   // elements
        const Idx fk_len = Idx (1) << s.fk_bits;            // a first-kernel block
        constexpr Idx W = S::W;
        const auto first = [&tab, x] (T *d, Idx from, Idx count, bool by_output)
        {
            if (wide_first (tab))
            {
                St::template first <FK_WIDE_BITS> (tab, d, x, from, count, by_output);
            }
            else
            {
                St::template first <S::FK_BITS> (tab, d, x, from, count, by_output);
            }
        };

        // Everything between the first kernel and the last stages in the
        // scratch array.
        T * const buf = place_scratch (scratch, f, tab.nbr_bits);
        const Idx region = s.block [1];
        const bool by_region = S::LINE_VECTORS && (std::size_t (1) << tab.nbr_bits) * sizeof (T) <= S::BY_REGION_BYTES;
        if (! by_region)
        {
            first (buf, 0, n / fk_len, false);
        }
        for (Idx r = 0; r < n; r += region)
        {
            for (Idx c = r; c < r + region; c += s.block [0])
            {
                if (by_region)
                {
                    first (buf, c / fk_len, s.block [0] / fk_len, true);
                }
                passes (tab, buf + c * W, s.block [0], s.fk_bits, s.end [0]);
            }
            passes (tab, buf + r * W, region, s.end [0], s.end [1]);
        }
        passes (tab, buf, n, s.end [1], s.end [2]);
        St::last (tab, f, buf);
    }

    // Where the first kernel leaves at most one lane pass (the shortest
    // length and twice it, and forward with the wide kernel the next): the
    // first kernel, that pass, the last stages, with no schedule to walk (up
    // to 15% faster there than the loops above).
    static void forward_short (const VectorTables <T> &tab, T *f, const T *x, T *scratch)
    {
        if (wide_first (tab))
        {
            forward_short_of <FK_WIDE_BITS> (tab, f, x, scratch);
        }
        else
        {
            forward_short_of <S::FK_BITS> (tab, f, x, scratch);
        }
    }

    template <int FK>
    static void forward_short_of (const VectorTables <T> &tab, T *f, const T *x, T *scratch)
    {
        const Idx n = Idx (1) << tab.forward_schedule.split;
        T * const buf = place_scratch (scratch, f, tab.nbr_bits);
        St::template first <FK> (tab, buf, x, 0, n >> FK, false);
        if (tab.forward_schedule.split != FK)
        {
            St::template single <FK> (tab, buf, n);
        }
        St::last (tab, f, buf);
    }

    static void backward_short (const VectorTables <T> &tab, T *x, const T *f, T *scratch)
    {
        const Idx n = Idx (1) << tab.backward_schedule.split;
        T * const buf = place_scratch (scratch, x, tab.nbr_bits);
        St::last_inv (tab, buf, f);
        if (tab.backward_schedule.split != S::FK_BITS)
        {
            St::single_inv (tab, buf, n);
        }
        St::first_inv (tab, x, buf);
    }

    // The inverse: N times the samples of the packed spectrum f into x.
    static void backward (const VectorTables <T> &tab, T *x, const T *f, T *scratch)
    {
        if (tab.backward_schedule.split <= S::FK_BITS + 1)
        {
            backward_short (tab, x, f, scratch);
            return;
        }
        const Schedule &s = tab.backward_schedule;
        const Idx n = Idx (1) << s.split;
        constexpr Idx W = S::W;

        T * const buf = place_scratch (scratch, x, tab.nbr_bits);
        St::last_inv (tab, buf, f);
        passes_inv (tab, buf, n, s.end [1], s.end [2]);
        const Idx region = s.block [1];
        for (Idx r = 0; r < n; r += region)
        {
            passes_inv (tab, buf + r * W, region, s.end [0], s.end [1]);
            for (Idx c = r; c < r + region; c += s.block [0])
            {
                passes_inv (tab, buf + c * W, s.block [0], S::FK_BITS, s.end [0]);
            }
        }
        St::first_inv (tab, x, buf);
    }
};

}  // namespace quarn::detail

#endif  // QUARN_DETAIL_ENGINE_H
