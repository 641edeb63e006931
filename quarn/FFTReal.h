// SPDX-License-Identifier: MIT
// FFTReal: fast Fourier transform of real signals, power-of-two lengths.
//
//     quarn::FFTReal <float> fft (1024);    // tables are built here, once
//     fft.forward (spectrum, signal);       // no allocation, O(N log N)
//
// Packed spectrum. For N >= 2 samples x[0 .. N-1], `forward` writes N reals:
//
//     f[k]         k = 0 .. N/2       Re X[k] = sum x[m] cos (2 pi k m / N)
//     f[N/2 + k]   k = 1 .. N/2 - 1   sum x[m] sin (2 pi k m / N) = -Im X[k]
//
// where X[k] = sum x[m] e^(-2 pi i k m / N) is the usual DFT. The imaginary
// elements thus carry the sign of the e^(+2 pi i k m / N) kernel: negate them
// to get Im X[k]. Bins 0 and N/2 are real and have no imaginary element. The
// output is not scaled. For N = 1, f[0] = x[0]. FFTRealComplex.h converts
// to and from N/2 + 1 std::complex bins.
//
// Sample types: float and double (any other fails to compile). Relative RMS
// error against exact sums, inputs uniform in [-1, 1]: below 5e-7 for float,
// below 1e-15 for double.
//
// Threads: an object's tables do not change once built. The calls that take
// a scratch array keep all their working state in it and on the calling
// thread's stack (up to 24 KiB there, 48 KiB at -O0), so any number of
// threads may use one object at once, each with its own scratch. The calls
// without one write the object's own work buffer: one caller at a time per
// object.
//
// Build: QUARN_SCALAR_ONLY, if defined (alike in every file of a program),
// leaves out the vector paths: the scalar passes on every CPU, for a file
// that compiles in a fraction of the time and transforms several times
// slower.

#ifndef QUARN_FFTREAL_H
#define QUARN_FFTREAL_H

#include "quarn/DynArray.h"
#include "quarn/PhaseRotor.h"
#include "quarn/detail/check.h"

#include <cstdint>
#include <type_traits>

namespace quarn
{

// Instruction sets that FFTReal can run on. All of them compute the same
// passes; their results agree to rounding, not bit for bit (the vector paths
// fuse multiply-adds where the CPU can).
enum class FFTRealIsa
{
    AUTO,      // the widest that the CPU and the build offer for the length
    SCALAR,    // the plain scalar passes: every machine
    SSE2,      // x86, 4 float or 2 double lanes
    AVX2,      // x86 with AVX2, FMA, BMI1 and BMI2, 8 float or 4 double lanes
               // (from 2^7 / 2^5; below, SSE2's lanes in AVX2's encoding)
    AVX512,    // x86 with AVX-512F and what AVX2 needs, 16 float or 8 double lanes
               // (from 2^9 / 2^7; with AVX-512VL from 2^5, narrower lanes below)
    NEON       // AArch64, 4 float or 2 double lanes
};

// "AUTO", "SCALAR", "SSE2", "AVX2", "AVX512" or "NEON"; "?" for a value
// outside the enumeration.
inline const char * FFTReal_isa_name (FFTRealIsa isa);

// True when x is a power of two. Requires x > 0, checked in every build.
inline bool FFTReal_is_pow2 (int x);

// Ceiling of log2 x, the number of significant bits of x - 1. Requires
// x >= 1 (1 gives 0, 16 gives 4, 17 gives 5).
inline int FFTReal_ceil_log2 (int x);

// True exactly for the lengths FFTReal accepts: the powers of two from 1 to
// 2^30. Never fails, for any n: check a length that comes from input here
// first, in its own wide type, before it is narrowed to int.
constexpr bool FFTReal_is_valid_length (std::int64_t n);

}  // namespace quarn

#include "quarn/detail/kernels.h"

namespace quarn
{

template <class DT>
class FFTReal
{
    static_assert (std::is_same <DT, float>::value || std::is_same <DT, double>::value,
                   "FFTReal takes float or double samples");

public:
    using DataType = DT;

    // Largest log2 of a length: the longest transform has 2^30 samples.
    static constexpr int MAX_BIT_DEPTH = 30;

    // Builds the tables for `length` samples. Memory, besides the caller's
    // arrays: on a vector path the work buffer and the few tables its
    // kernels read, at most 4.5 bytes per sample for float from 2^16 samples
    // on, about 12 for double; on the scalar path about 10 bytes per sample
    // for float, 16 for double (docs/memory.md has the figures).
    //
    // Needs: `length` a power of two from 1 to 2^30 (FFTReal_is_valid_length).
    // These checks are made in every build, before any array is built,
    // because a bad length would make the transforms run off the caller's
    // arrays; a failed one prints its expression, file and line to standard
    // error and aborts:
    //     "x > 0"                          length below 1
    //     "FFTReal_is_pow2 (length)"       not a power of two
    //     "_nbr_bits <= MAX_BIT_DEPTH"     longer than 2^30
    // Throws std::bad_alloc if a table cannot be allocated; nothing leaks.
    explicit FFTReal (int length);

    // The same for a length of any other integer type (size_t, int64_t,
    // unsigned...): checked whole, in every build, before it is narrowed, so
    // that 2^32 + 16 cannot become 16. A failed check reports
    // "FFTReal_is_valid_length (length)".
    template <class I, std::enable_if_t <std::is_integral <I>::value
                                         && ! std::is_same <I, int>::value
                                         && ! std::is_same <I, bool>::value, int> = 0>
    explicit FFTReal (I length, FFTRealIsa isa = FFTRealIsa::AUTO);

    // The same, with a cap on the instruction set (the one-argument form is
    // FFTRealIsa::AUTO, which allows every set).
    // SCALAR forces the plain scalar passes; another value allows at most
    // that set: the object runs the widest one that the CPU offers, is not
    // above the cap and handles `length` (each has a shortest length), else
    // the scalar passes. isa () tells the choice.
    FFTReal (int length, FFTRealIsa isa);

    virtual ~FFTReal () = default;

    // Objects move but do not copy. A moved-from object may only be
    // destroyed or assigned to; any other call on it fails the debug check
    // "_length > 0".
    FFTReal (FFTReal &&other) noexcept;
    FFTReal & operator = (FFTReal &&other) noexcept;
    FFTReal (const FFTReal &) = delete;
    FFTReal & operator = (const FFTReal &) = delete;

    // Forward transform of the N real samples x into the packed spectrum f
    // (layout, sign and scaling: see the top of this file).
    //
    // Needs: f writable and x readable for N samples each, not overlapping;
    // any alignment (f on a 64-byte line is faster: up to a fifth on the
    // vector paths, docs/instruction-sets.md). Debug builds check "f != 0",
    // "f != use_buffer ()", "x != 0", "x != use_buffer ()", "x != f", in
    // that order.
    // Guarantees: allocates nothing, reads x only, writes f and the object's
    // work buffer; the result depends on x alone, never on earlier calls.
    // Threads: one caller at a time per object (it uses the work buffer).
    void forward (DataType f [], const DataType x []) const;

    // The same, with the caller's scratch array of scratch_length () samples
    // in place of the work buffer: the call writes nothing of the object's,
    // so any number of threads may call it at once on one object, each with
    // its own scratch (whose contents mean nothing before or after).
    // Debug builds check "scratch != 0", "f != 0", "f != scratch", "x != 0",
    // "x != scratch", "x != f"; scratch must not overlap f or x.
    void forward (DataType f [], const DataType x [], DataType scratch []) const;

    // Inverse transform of the packed spectrum f (the layout `forward`
    // writes) into N real samples x, not scaled: backward after forward gives
    // N times the input (see `rescale`). Any N reals are a valid packed
    // spectrum: x is N times the signal whose `forward` gives f.
    //
    // Needs: x writable and f readable for N samples each, not overlapping;
    // any alignment (x on a 64-byte line is faster, as f for forward).
    // Debug builds check "f != 0", "f != use_buffer ()",
    // "x != 0", "x != use_buffer ()", "x != f".
    // Guarantees: allocates nothing, reads f only, writes x and the object's
    // work buffer; the result depends on f alone.
    // Threads: one caller at a time per object.
    void backward (DataType x [], const DataType f []) const;

    // The same with the caller's scratch array, as for forward: any number
    // of threads at once. Debug checks as for that forward, with the same
    // texts in the same order ("scratch != 0", "f != 0", "f != scratch",
    // "x != 0", "x != scratch", "x != f").
    void backward (DataType x [], const DataType f [], DataType scratch []) const;

    // Multiplies the N samples of x by 1 / N, in place: rescale after
    // backward after forward gives back the input, to rounding. Each product
    // is exact (1 / N is a power of two) unless it falls below the smallest
    // normal number of the sample type. Debug builds check "x != 0".
    // Touches nothing but x [0 .. N-1]: any number of threads at once.
    void rescale (DataType x []) const;

    // N, the length of the transforms.
    int length () const;

    // Samples in the scratch array of the three-argument calls: N, plus
    // on a vector path a slack of at most 4 KiB in which the transforms
    // place their working array away from the output's cache sets.
    int scratch_length () const;

    // The instruction set that the transforms of this object run: never
    // AUTO.
    FFTRealIsa isa () const;

    // True when objects of this sample type can run `isa` on this CPU with
    // this build: always for AUTO and SCALAR.
    static bool isa_available (FFTRealIsa isa);

    // ---- Internals -------------------------------------------------------
    // Below: the tables and the scalar passes. Not part of the interface; the
    // tests reach some of them through a befriended probe.

private:
    template <class> friend class FFTRealProbe;

    // Highest pass that reads the cosine table; higher passes use phasors.
    // Only float uses phasors: their recurrence, kept in double, drifts by
    // about 3e-13 over the 2^14 steps of the last pass at 2^16 points,
    // invisible in float but a thousand times double's resolution; double
    // reads the table, which holds every level, at every pass.
    static constexpr int TRIGO_BD_LIMIT =
        std::is_same <DT, float>::value ? 12 : MAX_BIT_DEPTH;

    static constexpr double PI = 3.141592653589793;
    static constexpr double SQRT2 = 1.4142135623730951;

    DataType * use_buffer () const;
    const int * bitrev_ptr () const;
    static int cos_level_index (int level);
    const DataType * cos_level_ptr (int level) const;

    void build_bitrev_table ();
    void build_cos_table ();
    void build_osc_bank ();

    void run_forward (DataType f [], const DataType x [], DataType buf []) const;
    void run_backward (DataType x [], const DataType f [], DataType buf []) const;

    void transform_general (DataType f [], const DataType x [], DataType buf []) const;
    void pass_1_2 (DataType df [], const DataType x []) const;
    void pass_3 (DataType df [], const DataType sf []) const;
    void pass_n (DataType df [], const DataType sf [], int pass) const;
    void pass_n_table (DataType df [], const DataType sf [], int pass) const;
    void pass_n_osc (DataType df [], const DataType sf [], int pass) const;

    void transform_general_inv (DataType x [], const DataType f [], DataType buf []) const;
    void pass_1_2_inv (DataType x [], const DataType sf []) const;
    void pass_3_inv (DataType df [], const DataType sf []) const;
    void pass_n_inv (DataType df [], const DataType sf [], int pass) const;

    class TableTwiddles;   // passes up to TRIGO_BD_LIMIT: the cosine table
    class OscTwiddles;     // above: a phasor, restarted at every block

    int _length = 0;                          // N; 0 once moved from
    int _nbr_bits = 0;                        // log2 N
    DynArray <int> _bitrev_table;             // scalar path: N entries
    DynArray <DataType> _cos_table;           // scalar path: levels 3 .. log2 N - 1
    mutable DynArray <DataType> _work_buffer; // N entries (and a slack), scratch
    DynArray <PhaseRotor> _osc_bank;          // scalar path: one per pass above the limit

    // Vector paths: the kernels for this length (null: the scalar passes)
    // and the tables they read.
    detail::Kernels <DataType> _kernels;
    detail::VectorPlan <DataType> _vector_plan;
};

}  // namespace quarn

#include "quarn/detail/FFTRealImpl.h"
#include "quarn/detail/FFTRealScalar.h"

#if defined (QUARN_EXTERN_TEMPLATES)
// The kernels are compiled once, elsewhere (quarn/FFTRealInstances.cpp).
extern template class quarn::FFTReal <float>;
extern template class quarn::FFTReal <double>;
#else
#include "quarn/detail/dispatch.h"
#endif

#endif  // QUARN_FFTREAL_H
