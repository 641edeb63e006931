// SPDX-License-Identifier: MIT
// The vector engine on emulated vocabularies against the scalar path, so
// that the logic of the widest vectors is tested on every machine, whatever
// its CPU. Two test files share this: the engine, compiled for four
// vocabularies, takes most of the tests' build time, and so it is split
// between two files that two cores build side by side.

#ifndef QUARN_TESTS_EMULATED_H
#define QUARN_TESTS_EMULATED_H

#include "common.h"
#include "quarn/detail/engine.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace qtest
{

// N lanes of T, one operation at a time in plain arithmetic, nothing fused.
template <class T, int N>
struct Emu
{
    using Scalar = T;
    using Double = Emu <double, N / 2>;
    static constexpr int W = N;
    static constexpr int KERNEL_VECTORS = 32;   // forward, 4 and 8 lanes take wider first kernels
    T v [N];

    static Emu load (const T *p) { Emu r; std::copy (p, p + N, r.v); return r; }
    void store (T *p) const { std::copy (v, v + N, p); }
    void stream (T *p) const { store (p); }
    static void fence () {}
    static Emu splat (T x) { Emu r; std::fill (r.v, r.v + N, x); return r; }

    template <class Op>
    static Emu zip (const Emu &a, const Emu &b, Op op) { Emu r; std::transform (a.v, a.v + N, b.v, r.v, op); return r; }

    friend Emu operator + (const Emu &a, const Emu &b) { return zip (a, b, [] (T p, T q) { return p + q; }); }
    friend Emu operator - (const Emu &a, const Emu &b) { return zip (a, b, [] (T p, T q) { return p - q; }); }
    friend Emu operator * (const Emu &a, const Emu &b) { return zip (a, b, [] (T p, T q) { return p * q; }); }
    friend Emu mul_add (const Emu &a, const Emu &b, const Emu &c) { return a * b + c; }
    friend Emu mul_sub (const Emu &a, const Emu &b, const Emu &c) { return a * b - c; }
    friend Emu reverse (Emu a) { std::reverse (a.v, a.v + N); return a; }
    friend Emu shift_in (const Emu &a, const Emu &b) { Emu r; r.v [0] = a.v [N - 1]; std::copy (b.v, b.v + N - 1, r.v + 1); return r; }

    static void transpose (Emu r [N])
    {
        Emu t [N];
        for (int k = 0; k < N * N; ++ k)
        {
            t [k % N].v [k / N] = r [k / N].v [k % N];
        }
        std::copy (t, t + N, r);
    }

    static Emu from_doubles (const Double &lo, const Double &hi)
    {
        Emu r;
        std::copy (hi.v, hi.v + N / 2, std::copy (lo.v, lo.v + N / 2, r.v));
        return r;
    }
};

// The engine's transforms on V against the scalar path's, from V's
// shortest length to 2^16, with the tables of a plan for V's lanes (float
// twiddles above 2^12 from phasors, or above `limit`).
template <class V>
void expect_engine_agrees (int limit = sizeof (typename V::Scalar) == 4 ? 12 : 30)
{
    using T = typename V::Scalar;
    using E = quarn::detail::Engine <V>;
    quarn::detail::Kernels <T> k;
    k.lanes = V::W;
    k.kernel_vectors = V::KERNEL_VECTORS;
    k.limit = limit;   // by default as the library's: tables at every pass in double
    double worst = 0;
    for (int bits = E::MIN_BITS; bits <= 16; ++ bits)
    {
        const int n = 1 << bits;
        const quarn::detail::VectorPlan <T> plan (k, bits);
        const FFTReal <T> scalar (n, FFTRealIsa::SCALAR);
        const std::vector <T> x = random_signal <T> (n, unsigned (500 + bits));
        std::vector <T> f (n), y (n);
        std::vector <T> scratch (std::size_t (n) + quarn::detail::scratch_slack_bytes (bits) / sizeof (T));
        E::forward (plan.tables (), f.data (), x.data (), scratch.data ());
        E::backward (plan.tables (), y.data (), x.data (), scratch.data ());
        const double e = std::max (compare (f.data (), transform (scalar, true, x)).max,
                                   compare (y.data (), transform (scalar, false, x)).max);
        EXPECT_LT (e, MAX_BOUND <T>) << V::W << " lanes, 2^" << bits;
        worst = std::max (worst, e);
    }
    std::printf ("%d emulated lanes of %s against the scalar path, tables to level %d, 2^%d .. 2^16: %.3g\n",
                 V::W, sizeof (T) == 4 ? "float" : "double", limit, E::MIN_BITS, worst);
}

}  // namespace qtest

#endif  // QUARN_TESTS_EMULATED_H
