// SPDX-License-Identifier: MIT
// The vector paths, the third of five headers: the first kernel, stages 1 ..
// FK (the schedule's fk_bits) from the samples into the lanes (and its
// inverse), in registers,
// reading each block's elements in bit-reversed order.

#ifndef QUARN_DETAIL_FIRST_H
#define QUARN_DETAIL_FIRST_H

#include "quarn/detail/lanes.h"

#include <cstddef>
#include <cstdint>

namespace quarn::detail
{

// Stages 1 .. FK from x into the lanes of df, for the blocks
// first .. first + count - 1, counted in the order of the output (df) where
// by_output (only for vectors of a whole cache line), else of the input (x).
// Lane t takes the samples x [m W + t]; output block rb of FK_LEN elements reads its element j from
// m = bitrev (rb FK_LEN + j) = bitrev_FK (j) blocks + bitrev (rb): from
// FK_LEN places of x, at b = bitrev (rb). Counted in the input's order, the
// blocks read each place of x in sequence, which vectors narrower than a
// cache line need so as not to fetch lines again; in the output's order,
// they fill a region of df at a time. For narrower vectors of 8 elements a
// block the order is fixed at compile time, so that the addresses of x are
// plain induction variables (a choice at run time cost the 4-lane kernel
// 7%). A block of 16 elements takes all 16 registers of AVX2, and such
// induction variables spill there (8 lanes 2 to 8% slower from 2^7 to
// 2^12), so the order stays a choice at run time, though it is the input's.
// STREAM: the blocks go past the caches (the plan's stream_first, vectors
// of a whole line only); a choice per call, not per store, which cost float
// 2^11 2 to 6% though it never streams there.
template <class V, int FK, bool STREAM = false>
QUARN_INLINE void first_stages (const VectorTables <typename V::Scalar> &tab, typename V::Scalar *df,
                                const typename V::Scalar *x, Idx first, Idx count, bool by_output)
{
    using S = Shape <V>;
    if constexpr (S::LINE_VECTORS && ! STREAM)
    {
        if (tab.stream_first)
        {
            first_stages <V, FK, true> (tab, df, x, first, count, by_output);
            V::fence ();
            return;
        }
    }
    constexpr int FK_LEN = 1 << FK;
    const int block_bits = tab.nbr_bits - FK - S::W_BITS;
    const Idx blocks = Idx (1) << block_bits;
    const V k = V::splat (static_cast <typename V::Scalar> (SQRT2_2));
    const Idx stride = blocks * S::W;    // between the places of x that a block reads
    constexpr bool CHOICE = S::LINE_VECTORS || FK_LEN >= 16;
    const bool out_order = CHOICE && by_output;
    Idx r = reversed (first, block_bits);
    for (Idx i = first; i < first + count; ++ i, r = next_reversed (r, i, block_bits))
    {
        const Idx b = out_order ? r : i;
        const Idx rb = out_order ? i : r;
        const typename V::Scalar * const xb = x + b * S::W;
        V v [std::size_t (1) << FK];
#pragma GCC unroll 32
        for (Idx c = 0; c < FK_LEN; c += 4)
        {
            stages_1_2 ([&] (Idx j) QUARN_INLINE_LAMBDA { return V::load (xb + bit_reversed <FK> (c + j) * stride); },
                        [&] (Idx j, const V &e) QUARN_INLINE_LAMBDA { v [c + j] = e; });
        }
#pragma GCC unroll 16
        for (Idx c = 0; c < FK_LEN; c += 8)
        {
            stage_3 ([&] (Idx j) QUARN_INLINE_LAMBDA { return v [c + j]; },
                     [&] (Idx j, const V &e) QUARN_INLINE_LAMBDA { v [c + j] = e; }, k);
        }
        // The last pass writes the block out as it goes (past the caches
        // where the plan says so: the block is on a line there).
        typename V::Scalar * const d = df + rb * FK_LEN * S::W;
        const auto out = [d] (Idx j, const V &e) QUARN_INLINE_LAMBDA
        {
            if constexpr (STREAM)
            {
                e.stream (d + j * S::W);
            }
            else
            {
                store_at (d, j, e);
            }
        };
        if constexpr (FK > 3)
        {
            merge_in_registers <V, FK_LEN, 3, FK - 1> (v);
            merge_pass <V, FK_LEN, FK - 1> ([&v] (Idx j) QUARN_INLINE_LAMBDA { return v [j]; }, out);
        }
        else
        {
#pragma GCC unroll 32
            for (Idx j = 0; j < FK_LEN; ++ j)
            {
                out (j, v [j]);
            }
        }
    }
}

// The buffer of first_stages_inv, in bytes.
constexpr std::size_t STAGED_BYTES = 16384;

// The inverse of first_stages, doubled per stage: from the lanes of sf to x.
// The blocks in the order of x, whose FK_LEN places they write in sequence.
// A place's vector stores follow each other block after block, but a line
// of x that one block's store leaves incomplete (vectors of half a line, or
// of a whole one with x off a line, as from malloc) is completed by the next
// block's; by then the block's other stores, a power of two apart, have
// crowded the same few L1 sets, the line is gone, and the store waits for it
// again. With 16 or more stores a block, from 64 KiB of x to 1 MiB, the
// blocks therefore go STAGED_BYTES at a time to a buffer first, and then out
// place by place: that many consecutive vectors, each line written whole at
// once. Backward 8 to 17% faster so on AVX-512 off a line, 10 to 27% on
// AVX2 (float) on a line or off; AVX-512 on a line was up to 8% slower so,
// and 8 stores a block (SSE2, AVX2 double) gained nothing.
template <class V>
QUARN_INLINE void first_stages_inv (const VectorTables <typename V::Scalar> &tab, typename V::Scalar *x,
                                    const typename V::Scalar *sf)
{
    using S = Shape <V>;
    using T = typename V::Scalar;
    constexpr int FK = S::FK_BITS;   // the narrow kernel (tables.h)
    constexpr int FK_LEN = 1 << FK;
    const int block_bits = tab.nbr_bits - FK - S::W_BITS;
    const Idx blocks = Idx (1) << block_bits;
    const V k = V::splat (static_cast <T> (SQRT2_2));
    const Idx stride = blocks * S::W;

    // Block rb of sf, its element j of x's places given to out (j, value).
    const auto block = [&] (Idx rb, const auto &out) QUARN_INLINE_LAMBDA
    {
        // The first pass reads the block in as it goes.
        const T * const s = sf + rb * FK_LEN * S::W;
        V v [std::size_t (1) << FK];
        if constexpr (FK > 3)
        {
            split_pass <V, FK_LEN, FK - 1> ([s] (Idx j) QUARN_INLINE_LAMBDA { return load_at <V> (s, j); },
                                            [&v] (Idx j, const V &e) QUARN_INLINE_LAMBDA { v [j] = e; });
            split_in_registers <V, FK_LEN, 3, FK - 1> (v);
        }
        else
        {
#pragma GCC unroll 32
            for (Idx j = 0; j < FK_LEN; ++ j)
            {
                v [j] = load_at <V> (s, j);
            }
        }
#pragma GCC unroll 16
        for (Idx c = 0; c < FK_LEN; c += 8)
        {
            stage_3_inv ([&] (Idx j) QUARN_INLINE_LAMBDA { return v [c + j]; },
                         [&] (Idx j, const V &e) QUARN_INLINE_LAMBDA { v [c + j] = e; }, k);
        }
#pragma GCC unroll 32
        for (Idx c = 0; c < FK_LEN; c += 4)
        {
            stages_1_2_inv ([&] (Idx j) QUARN_INLINE_LAMBDA { return v [c + j]; },
                            [&] (Idx j, const V &e) QUARN_INLINE_LAMBDA { out (bit_reversed <FK> (c + j), e); });
        }
    };

    constexpr Idx G = (FK_LEN >= 16) ? Idx (STAGED_BYTES / (sizeof (V) * FK_LEN)) : 1;
    Idx rb = 0;
    const bool on_line = S::LINE_VECTORS
                         && reinterpret_cast <std::uintptr_t> (x) % sizeof (V) == 0;  // NOLINT(cppcoreguidelines-pro-type-reinterpret-cast)
    if (G > 1 && tab.staged [on_line ? 1 : 0])
    {
        V stage [count (G)][count (FK_LEN)];
        for (Idx b = 0; b < blocks; b += G)
        {
#pragma GCC unroll 1
            for (Idx g = 0; g < G; ++ g, rb = next_reversed (rb, b + g, block_bits))
            {
                V * const to = stage [g];
                block (rb, [to] (Idx j, const V &e) QUARN_INLINE_LAMBDA { to [j] = e; });
            }
            T * const xb = x + b * S::W;
#pragma GCC unroll 1
            for (Idx j = 0; j < FK_LEN; ++ j)
            {
#pragma GCC unroll 8
                for (Idx g = 0; g < G; ++ g)
                {
                    stage [g][j].store (xb + g * S::W + j * stride);
                }
            }
        }
        return;
    }
    for (Idx b = 0; b < blocks; ++ b, rb = next_reversed (rb, b, block_bits))
    {
        T * const xb = x + b * S::W;
        block (rb, [xb, stride] (Idx j, const V &e) QUARN_INLINE_LAMBDA { e.store (xb + j * stride); });
    }
}

}  // namespace quarn::detail

#endif  // QUARN_DETAIL_FIRST_H
