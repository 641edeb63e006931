// SPDX-License-Identifier: MIT
// Transforms of 8 and 16 samples, too short for the vector kernels: the
// scalar passes with their loops unrolled and their calls gone, the same
// expressions in the same order.

#ifndef QUARN_DETAIL_STRAIGHT_H
#define QUARN_DETAIL_STRAIGHT_H

#include "quarn/detail/butterfly.h"
#include "quarn/detail/lanes.h"
#include "quarn/detail/tables.h"

#include <utility>

namespace quarn::detail
{

// f (0), f (1), ... f (COUNT - 1), each index a constant: written out, with
// no loop left for the compiler to vectorise its own way.
template <class F, int... I>
QUARN_INLINE void repeat (F f, std::integer_sequence <int, I...> /* indices */)
{
    (f (std::integral_constant <int, I> {}), ...);
}

template <int COUNT, class F>
QUARN_INLINE void repeat (F f)
{
    repeat (f, std::make_integer_sequence <int, COUNT> {});
}

template <class T, int BITS>
struct Straight
{
    static_assert (BITS == 3 || BITS == 4, "8 or 16 samples");
    using E = One <T>;
    static constexpr int N = 1 << BITS;

    static void forward (const VectorTables <T> & /* tab */, T f [], const T x [], T /* scratch */ [])
    {
        const E k { static_cast <T> (SQRT2_2) };
        E a [count (N)];
        repeat <N / 4> ([&] (auto q) QUARN_INLINE_LAMBDA
        {
            constexpr int c = 4 * q;
            stages_1_2 ([&] (int j) QUARN_INLINE_LAMBDA { return E { x [bit_reversed <BITS> (c + j)] }; },
                        [&] (int j, const E &v) QUARN_INLINE_LAMBDA { a [c + j] = v; });
        });
        if constexpr (BITS == 3)
        {
            stage_3 ([&] (int j) QUARN_INLINE_LAMBDA { return a [j]; },
                     [&] (int j, const E &v) QUARN_INLINE_LAMBDA { f [j] = v.v; }, k);
        }
        else
        {
            repeat <2> ([&] (auto q) QUARN_INLINE_LAMBDA
            {
                constexpr int c = 8 * q;
                stage_3 ([&] (int j) QUARN_INLINE_LAMBDA { return a [c + j]; },
                         [&] (int j, const E &v) QUARN_INLINE_LAMBDA { a [c + j] = v; }, k);
            });
            merge_pass <E, N, 3> ([&] (Idx j) QUARN_INLINE_LAMBDA { return a [j]; },
                                  [&] (Idx j, const E &v) QUARN_INLINE_LAMBDA { f [j] = v.v; });
        }
    }

    static void backward (const VectorTables <T> & /* tab */, T x [], const T f [], T /* scratch */ [])
    {
        const E k { static_cast <T> (SQRT2_2) };
        E a [count (N)];
        if constexpr (BITS == 3)
        {
            stage_3_inv ([&] (int j) QUARN_INLINE_LAMBDA { return E { f [j] }; },
                         [&] (int j, const E &v) QUARN_INLINE_LAMBDA { a [j] = v; }, k);
        }
        else
        {
            split_pass <E, N, 3> ([&] (Idx j) QUARN_INLINE_LAMBDA { return E { f [j] }; },
                                  [&] (Idx j, const E &v) QUARN_INLINE_LAMBDA { a [j] = v; });
            repeat <2> ([&] (auto q) QUARN_INLINE_LAMBDA
            {
                constexpr int c = 8 * q;
                stage_3_inv ([&] (int j) QUARN_INLINE_LAMBDA { return a [c + j]; },
                             [&] (int j, const E &v) QUARN_INLINE_LAMBDA { a [c + j] = v; }, k);
            });
        }
        repeat <N / 4> ([&] (auto q) QUARN_INLINE_LAMBDA
        {
            constexpr int c = 4 * q;
            stages_1_2_inv ([&] (int j) QUARN_INLINE_LAMBDA { return a [c + j]; },
                            [&] (int j, const E &v) QUARN_INLINE_LAMBDA { x [bit_reversed <BITS> (c + j)] = v.v; });
        });
    }
};

}  // namespace quarn::detail

#endif  // QUARN_DETAIL_STRAIGHT_H
