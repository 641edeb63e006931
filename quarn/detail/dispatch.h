// SPDX-License-Identifier: MIT
// The dispatcher: the one place where the kernels of engine.h are compiled
// for each instruction set, and where a length gets its kernels.
//
// On x86 (GCC or Clang) each instruction set's entry points carry it as a
// target attribute and are flattened: every kernel, butterfly and vocabulary
// call inside them is inlined and compiled for that set, so a build without
// -march flags still runs AVX2 or AVX-512 code where the CPU has it. The CPU
// is asked once per object. On AArch64 the NEON entries need no attribute.
// Elsewhere, and wherever QUARN_SCALAR_ONLY is defined (FFTReal.h), there
// are no vector paths, and FFTReal runs its scalar passes.

#ifndef QUARN_DETAIL_DISPATCH_H
#define QUARN_DETAIL_DISPATCH_H

#include "quarn/FFTReal.h"
#include "quarn/detail/engine.h"
#include "quarn/detail/kernels.h"
#include "quarn/detail/straight.h"

#if defined (QUARN_SCALAR_ONLY)
// No vector paths.
#elif (defined (__x86_64__) || defined (__i386__)) && (defined (__GNUC__) || defined (__clang__))
#define QUARN_X86 1
#include "quarn/detail/vec_x86.h"
#elif defined (__aarch64__) && defined (__ARM_NEON)
#define QUARN_NEON 1
#include "quarn/detail/vec_neon.h"
#endif

#include <type_traits>

namespace quarn::detail
{

// The steps of one vocabulary, each a function of its own compiled for the
// instruction set and flattened: every kernel, butterfly and vocabulary call
// inside is inlined. A step per function rather than the whole transform in
// one keeps each within reach of the register allocator (measured: about 15%
// fewer instructions). Then the two entry points of whole transforms.
// NOLINTBEGIN(bugprone-macro-parentheses): the arguments are a name, an
// attribute and a type, which cannot take parentheses.
#define QUARN_STEPS(NAME, ATTR, V)                                                          \
    struct NAME##_steps                                                                     \
    {                                                                                       \
        using T = V::Scalar;                                                                \
        using Tab = VectorTables <T>;                                                       \
        using K = Steps <V>;                                                                \
        template <int FK>                                                                   \
        ATTR [[gnu::flatten, gnu::noinline]] static void first (const Tab &t, T *d, const T *x, Idx b, Idx c, bool o) \
        { K::template first <FK> (t, d, x, b, c, o); }                                      \
        template <int FK>                                                                   \
        ATTR [[gnu::flatten, gnu::noinline]] static void single (const Tab &t, T *d, Idx len) \
        { K::template single <FK> (t, d, len); }                                            \
        ATTR [[gnu::flatten, gnu::noinline]] static void pair (const Tab &t, T *d, Idx len, int p) \
        { K::pair (t, d, len, p); }                                                         \
        ATTR [[gnu::flatten, gnu::noinline]] static void last (const Tab &t, T *f, const T *s) \
        { K::last (t, f, s); }                                                              \
        ATTR [[gnu::flatten, gnu::noinline]] static void first_inv (const Tab &t, T *x, const T *s) \
        { K::first_inv (t, x, s); }                                                         \
        ATTR [[gnu::flatten, gnu::noinline]] static void single_inv (const Tab &t, T *d, Idx len) \
        { K::single_inv (t, d, len); }                                                      \
        ATTR [[gnu::flatten, gnu::noinline]] static void pair_inv (const Tab &t, T *d, Idx len, int p) \
        { K::pair_inv (t, d, len, p); }                                                     \
        ATTR [[gnu::flatten, gnu::noinline]] static void last_inv (const Tab &t, T *d, const T *f) \
        { K::last_inv (t, d, f); }                                                          \
    };
// The two entry points, through the engine's functions FORWARD and BACKWARD;
// the forward first kernel's blocks keep up to VECTORS vectors in registers.
#define QUARN_TRANSFORMS(NAME, V, FORWARD, BACKWARD, VECTORS)                               \
    inline void forward_##NAME (const VectorTables <V::Scalar> &tab,                        \
        V::Scalar f [], const V::Scalar x [], V::Scalar scratch [])                         \
    {                                                                                       \
        Engine <V, NAME##_steps, VECTORS>::FORWARD (tab, f, x, scratch);                    \
    }                                                                                       \
    inline void backward_##NAME (const VectorTables <V::Scalar> &tab,                       \
        V::Scalar x [], const V::Scalar f [], V::Scalar scratch [])                         \
    {                                                                                       \
        Engine <V, NAME##_steps, VECTORS>::BACKWARD (tab, x, f, scratch);                   \
    }
#define QUARN_ENTRIES(NAME, ATTR, V)                                                        \
    QUARN_STEPS (NAME, ATTR, V)                                                             \
    QUARN_TRANSFORMS (NAME, V, forward, backward, V::KERNEL_VECTORS)
// Only the shortest lengths of V (2^MIN_BITS and twice it), whose steps are
// the only ones compiled; the forward first kernel may keep VECTORS vectors.
#define QUARN_SHORT_ENTRIES(NAME, ATTR, V, VECTORS)                                         \
    QUARN_STEPS (NAME, ATTR, V)                                                             \
    QUARN_TRANSFORMS (NAME, V, forward_short, backward_short, VECTORS)
// The straight kernels compiled for an instruction set.
#define QUARN_STRAIGHT(NAME, ATTR, T, BITS)                                                 \
    ATTR [[gnu::flatten, gnu::noinline]] inline void forward_##NAME (                       \
        const VectorTables <T> &tab, T f [], const T x [], T scratch [])                    \
    { Straight <T, BITS>::forward (tab, f, x, scratch); }                                   \
    ATTR [[gnu::flatten, gnu::noinline]] inline void backward_##NAME (                      \
        const VectorTables <T> &tab, T x [], const T f [], T scratch [])                    \
    { Straight <T, BITS>::backward (tab, x, f, scratch); }
// NOLINTEND(bugprone-macro-parentheses)

// GCC 12 warns inside its own AVX-512 intrinsics (their undefined merge
// sources) wherever they are inlined, as "maybe" or plainly uninitialised
// depending on the optimisation; the warning says nothing about this code.
// Nor can it see that a level of the last stages reads its phasors only
// where it started them, under the same flag (rows.h): they are left unset
// otherwise on purpose, as zeroing them cost the shortest lengths up to 6%.
#if defined (__GNUC__) && ! defined (__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#endif
#if defined (QUARN_X86)
QUARN_ENTRIES (sse2_f, QUARN_SSE2, Sse2F)
QUARN_ENTRIES (sse2_d, QUARN_SSE2, Sse2D)
QUARN_ENTRIES (avx2_f, QUARN_AVX2, Avx2F)
QUARN_ENTRIES (avx2_d, QUARN_AVX2, Avx2D)
QUARN_ENTRIES (avx512_f, QUARN_AVX512, Avx512F)
QUARN_ENTRIES (avx512_d, QUARN_AVX512, Avx512D)
// Lengths too short for AVX2's lanes: on a CPU with AVX2, the SSE2 path's
// lanes in its 3-operand encoding with FMA (7 to 20% faster at 2^4 to 2^6).
QUARN_SHORT_ENTRIES (vex_f, QUARN_AVX2, Sse2F, Sse2F::KERNEL_VECTORS)
QUARN_SHORT_ENTRIES (vex_d, QUARN_AVX2, Sse2D, Sse2D::KERNEL_VECTORS)
// AVX2's lanes at their shortest lengths (float 2^7 and 2^8, double 2^5
// and 2^6) on a CPU with AVX-512, below its own lanes: compiled for
// AVX-512VL, with 32 registers, as -march=native would compile them. Their
// last stages, most of the time there, took 7 to 13% less time so in float,
// 2 to 3% in double; the float inverse's other steps 3 to 6% more (double's
// neither gained nor lost). The forward first kernel keeps 32 vectors in
// float: at 2^8 it does all five lane stages, and the lane pass goes (5 to
// 10% faster).
constexpr int AVX2VL_F_VECTORS = 32;
QUARN_SHORT_ENTRIES (avx2vl_f, QUARN_AVX2_VL, Avx2F, AVX2VL_F_VECTORS)
QUARN_SHORT_ENTRIES (avx2vl_d, QUARN_AVX2_VL, Avx2D, Avx2D::KERNEL_VECTORS)
// Likewise SSE2's float lanes below AVX2's (2^5 and 2^6): in 32 registers
// the forward first kernel keeps 16 vectors, all four lane stages at 2^6
// (9 to 12% faster there, 3% at 2^5; the inverse neither gained nor lost).
// Double's (2^4) gained nothing.
constexpr int VEXVL_F_VECTORS = 16;
QUARN_SHORT_ENTRIES (vexvl_f, QUARN_AVX2_VL, Sse2F, VEXVL_F_VECTORS)
QUARN_STRAIGHT (vex_f3, QUARN_VEX, float, 3)
QUARN_STRAIGHT (vex_f4, QUARN_VEX, float, 4)
QUARN_STRAIGHT (vex_d3, QUARN_VEX, double, 3)
#elif defined (QUARN_NEON)
QUARN_ENTRIES (neon_f, , NeonF)
QUARN_ENTRIES (neon_d, , NeonD)
#endif
#if defined (__GNUC__) && ! defined (__clang__)
#pragma GCC diagnostic pop
#endif

#undef QUARN_ENTRIES
#undef QUARN_SHORT_ENTRIES
#undef QUARN_STEPS
#undef QUARN_TRANSFORMS
#undef QUARN_STRAIGHT

// One instruction set's kernels for sample type T, by the vocabulary V.
// VECTORS: what its steps' forward first kernel may keep in registers.
template <class V>
Kernels <typename V::Scalar> kernels_of (FFTRealIsa isa,
                                         typename Kernels <typename V::Scalar>::Forward fwd,
                                         typename Kernels <typename V::Scalar>::Backward bwd,
                                         int vectors = V::KERNEL_VECTORS)
{
    Kernels <typename V::Scalar> k;
    k.forward = fwd;
    k.backward = bwd;
    k.isa = isa;
    k.lanes = V::W;
    k.kernel_vectors = vectors;
    return k;
}

#if defined (QUARN_X86)

// 0: no vector path, 1: SSE2, 2: AVX2 with FMA, BMI1 and BMI2, 3: AVX-512F too.
inline int cpu_level ()
{
    __builtin_cpu_init ();
    const bool avx2 = __builtin_cpu_supports ("avx2") && __builtin_cpu_supports ("fma")
                      && __builtin_cpu_supports ("bmi") && __builtin_cpu_supports ("bmi2");
    if (avx2 && __builtin_cpu_supports ("avx512f"))
    {
        return 3;
    }
    if (avx2)
    {
        return 2;
    }
    return __builtin_cpu_supports ("sse2") ? 1 : 0;
}

// AVX-512VL, for narrower lanes in 32 registers (every AVX-512 CPU but the
// Xeon Phi has it).
inline bool cpu_has_vl ()
{
    __builtin_cpu_init ();
    return __builtin_cpu_supports ("avx512vl");
}

inline int isa_level (FFTRealIsa isa)
{
    switch (isa)
    {
    case FFTRealIsa::AUTO: return 3;
    case FFTRealIsa::SSE2: return 1;
    case FFTRealIsa::AVX2: return 2;
    case FFTRealIsa::AVX512: return 3;
    default: return 0;
    }
}

#endif

template <class T>
bool isa_runs (FFTRealIsa isa)
{
    if (isa == FFTRealIsa::AUTO || isa == FFTRealIsa::SCALAR)
    {
        return true;
    }
#if defined (QUARN_X86)
    return isa != FFTRealIsa::NEON && isa_level (isa) <= cpu_level ();
#elif defined (QUARN_NEON)
    return isa == FFTRealIsa::NEON;
#else
    return false;
#endif
}

template <class T>
Kernels <T> select_kernels (FFTRealIsa cap, int nbr_bits)
{
    static_assert (std::is_same <T, float>::value || std::is_same <T, double>::value, "float or double");
    constexpr bool F = std::is_same <T, float>::value;
    Kernels <T> k;
#if defined (QUARN_X86)
    const int level = std::min (cpu_level (), isa_level (cap));
    if (level >= 3 && nbr_bits >= (F ? Shape <Avx512F>::MIN_BITS : Shape <Avx512D>::MIN_BITS))
    {
        if constexpr (F) { k = kernels_of <Avx512F> (FFTRealIsa::AVX512, forward_avx512_f, backward_avx512_f); }
        else { k = kernels_of <Avx512D> (FFTRealIsa::AVX512, forward_avx512_d, backward_avx512_d); }
    }
    else if (level >= 3 && nbr_bits >= (F ? Shape <Avx2F>::MIN_BITS : Shape <Avx2D>::MIN_BITS)
             && nbr_bits <= (F ? Shape <Avx2F>::MIN_BITS : Shape <Avx2D>::MIN_BITS) + 1 && cpu_has_vl ())
    {
        if constexpr (F)
        {
            k = kernels_of <Avx2F> (FFTRealIsa::AVX512, forward_avx2vl_f, backward_avx2vl_f,
                                    AVX2VL_F_VECTORS);
        }
        else
        {
            k = kernels_of <Avx2D> (FFTRealIsa::AVX512, forward_avx2vl_d, backward_avx2vl_d,
                                    Avx2D::KERNEL_VECTORS);
        }
    }
    else if (level >= 2 && nbr_bits >= (F ? Shape <Avx2F>::MIN_BITS : Shape <Avx2D>::MIN_BITS))
    {
        if constexpr (F) { k = kernels_of <Avx2F> (FFTRealIsa::AVX2, forward_avx2_f, backward_avx2_f); }
        else { k = kernels_of <Avx2D> (FFTRealIsa::AVX2, forward_avx2_d, backward_avx2_d); }
    }
    else if (F && level >= 3 && nbr_bits >= Shape <Sse2F>::MIN_BITS && nbr_bits <= Shape <Sse2F>::MIN_BITS + 1
             && cpu_has_vl ())
    {
        if constexpr (F)
        {
            k = kernels_of <Sse2F> (FFTRealIsa::AVX512, forward_vexvl_f, backward_vexvl_f, VEXVL_F_VECTORS);
        }
    }
    else if (level >= 2 && nbr_bits >= (F ? Shape <Sse2F>::MIN_BITS : Shape <Sse2D>::MIN_BITS)
             && nbr_bits <= (F ? Shape <Sse2F>::MIN_BITS : Shape <Sse2D>::MIN_BITS) + 1)
    {
        if constexpr (F) { k = kernels_of <Sse2F> (FFTRealIsa::AVX2, forward_vex_f, backward_vex_f); }
        else { k = kernels_of <Sse2D> (FFTRealIsa::AVX2, forward_vex_d, backward_vex_d); }
    }
    else if (level >= 1 && nbr_bits >= (F ? Shape <Sse2F>::MIN_BITS : Shape <Sse2D>::MIN_BITS))
    {
        if constexpr (F) { k = kernels_of <Sse2F> (FFTRealIsa::SSE2, forward_sse2_f, backward_sse2_f); }
        else { k = kernels_of <Sse2D> (FFTRealIsa::SSE2, forward_sse2_d, backward_sse2_d); }
    }
    else if (level >= 2 && (nbr_bits == 3 || nbr_bits == 4))
    {
        if constexpr (F)
        {
            k = (nbr_bits == 3) ? kernels_of <One <T>> (FFTRealIsa::AVX2, forward_vex_f3, backward_vex_f3)
                                : kernels_of <One <T>> (FFTRealIsa::AVX2, forward_vex_f4, backward_vex_f4);
        }
        else
        {
            k = kernels_of <One <T>> (FFTRealIsa::AVX2, forward_vex_d3, backward_vex_d3);
        }
    }
    else if (level >= 1 && (nbr_bits == 3 || nbr_bits == 4))
    {
        k = (nbr_bits == 3) ? kernels_of <One <T>> (FFTRealIsa::SSE2, Straight <T, 3>::forward, Straight <T, 3>::backward)
                            : kernels_of <One <T>> (FFTRealIsa::SSE2, Straight <T, 4>::forward, Straight <T, 4>::backward);
    }
#elif defined (QUARN_NEON)
    if (cap == FFTRealIsa::AUTO || cap == FFTRealIsa::NEON)
    {
        if (nbr_bits >= (F ? Shape <NeonF>::MIN_BITS : Shape <NeonD>::MIN_BITS))
        {
            if constexpr (F) { k = kernels_of <NeonF> (FFTRealIsa::NEON, forward_neon_f, backward_neon_f); }
            else { k = kernels_of <NeonD> (FFTRealIsa::NEON, forward_neon_d, backward_neon_d); }
        }
        else if (nbr_bits == 3 || nbr_bits == 4)
        {
            k = (nbr_bits == 3) ? kernels_of <One <T>> (FFTRealIsa::NEON, Straight <T, 3>::forward, Straight <T, 3>::backward)
                                : kernels_of <One <T>> (FFTRealIsa::NEON, Straight <T, 4>::forward, Straight <T, 4>::backward);
        }
    }
#else
    (void) cap;
    (void) nbr_bits;
#endif
    // Float takes its twiddles from double phasors above 2^12: float
    // accuracy all the same. Double reads tables at every pass.
    k.limit = F ? 12 : 30;
    return k;
}

}  // namespace quarn::detail

#endif  // QUARN_DETAIL_DISPATCH_H
