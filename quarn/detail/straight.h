// SPDX-License-Identifier: MIT
// Transforms of 8 and 16 samples, too short for the vector kernels: the
// scalar passes with their loops unrolled and their calls gone, the same
// expressions in the same order.

#ifndef QUARN_DETAIL_STRAIGHT_H
#define QUARN_DETAIL_STRAIGHT_H

#include "quarn/detail/butterfly.h"
#include "quarn/detail/lanes.h"
#include "quarn/detail/tables.h"

namespace quarn::detail
{

template <class T, int BITS>
struct Straight
{
    static_assert (BITS == 3 || BITS == 4, "8 or 16 samples");
    using E = One <T>;
    static constexpr int N = 1 << BITS;

    static void forward (const VectorTables <T> &tab, T f [], const T x [], T /* scratch */ [])
    {
        E a [count (N)];
#pragma GCC unroll 4
        for (int c = 0; c < N; c += 4)
        {
            stages_1_2 ([&] (int j) { return E { x [bit_reversed <BITS> (c + j)] }; }, [&] (int j, E v) { a [c + j] = v; });
        }
        E b [count (N)];
#pragma GCC unroll 2
        for (int c = 0; c < N; c += 8)
        {
            stage_3 ([&] (int j) { return a [c + j]; }, [&] (int j, E v) { b [c + j] = v; },
                     E { static_cast <T> (SQRT2_2) });
        }
        if constexpr (BITS == 3)
        {
#pragma GCC unroll 8
            for (int j = 0; j < N; ++ j)
            {
                f [j] = b [j].v;
            }
        }
        else
        {
            E d [count (N)];
            merge_8 (tab, b, d);
#pragma GCC unroll 16
            for (int j = 0; j < N; ++ j)
            {
                f [j] = d [j].v;
            }
        }
    }

    static void backward (const VectorTables <T> &tab, T x [], const T f [], T /* scratch */ [])
    {
        E a [count (N)];
#pragma GCC unroll 16
        for (int j = 0; j < N; ++ j)
        {
            a [j] = E { f [j] };
        }
        E b [count (N)];
        E d [count (N)];
        if constexpr (BITS == 3)
        {
#pragma GCC unroll 8
            for (int j = 0; j < N; ++ j)
            {
                d [j] = a [j];
            }
        }
        else
        {
            split_8 (tab, a, d);
        }
#pragma GCC unroll 2
        for (int c = 0; c < N; c += 8)
        {
            stage_3_inv ([&] (int j) { return d [c + j]; }, [&] (int j, E v) { b [c + j] = v; },
                         E { static_cast <T> (SQRT2_2) });
        }
#pragma GCC unroll 4
        for (int c = 0; c < N; c += 4)
        {
            stages_1_2_inv ([&] (int j) { return b [c + j]; }, [&] (int j, E v) { x [bit_reversed <BITS> (c + j)] = v.v; });
        }
    }

private:
    // The merge of pass 3: two packed spectra of 8 points into one of 16.
    static void merge_8 (const VectorTables <T> &tab, const E s [16], E d [16])
    {
        d [0] = s [0] + s [8];
        d [8] = s [0] - s [8];
        d [4] = s [4];
        d [12] = s [12];
#pragma GCC unroll 3
        for (int i = 1; i < 4; ++ i)
        {
            E c;
            E si;
            tab.pair (3, i, c.v, si.v);
            merge_butterfly (s [i], s [4 + i], s [8 + i], s [12 + i], c, si,
                             d [i], d [8 - i], d [8 + i], d [16 - i]);
        }
    }

    static void split_8 (const VectorTables <T> &tab, const E s [16], E d [16])
    {
        d [0] = s [0] + s [8];
        d [8] = s [0] - s [8];
        d [4] = s [4] + s [4];
        d [12] = s [12] + s [12];
#pragma GCC unroll 3
        for (int i = 1; i < 4; ++ i)
        {
            E c;
            E si;
            tab.pair (3, i, c.v, si.v);
            split_butterfly (s [i], s [8 - i], s [8 + i], s [16 - i], c, si,
                             d [i], d [4 + i], d [8 + i], d [12 + i]);
        }
    }
};

}  // namespace quarn::detail

#endif  // QUARN_DETAIL_STRAIGHT_H
