// FFTReal: fast Fourier transform of real signals, power-of-two lengths.
//
//     quarn::FFTReal <float> fft (1024);    // tables are built here, once
//     fft.forward (spectrum, signal);       // no allocation, O(N log N)
//
// Packed spectrum. For N >= 2 samples x[0 .. N-1], `forward` writes N reals:
//
//     f[k]         k = 0 .. N/2       Re X[k] = sum x[m] cos(2 pi k m / N)
//     f[N/2 + k]   k = 1 .. N/2 - 1   sum x[m] sin(2 pi k m / N) = -Im X[k]
//
// where X[k] = sum x[m] e^(-2 pi i k m / N) is the usual DFT. The imaginary
// elements thus carry the sign of the e^(+2 pi i k m / N) kernel: negate them
// to get Im X[k]. Bins 0 and N/2 are real and have no imaginary element. The
// output is not scaled. For N = 1, f[0] = x[0].
//
// backward (x, f) is the unscaled inverse, rescale (x) its 1/N; the complex
// view of the spectrum (N/2 + 1 std::complex bins) is in FFTRealComplex.h.
//
// Sample types: float and double. Relative RMS error against exact sums,
// inputs uniform in [-1, 1]: below 5e-7 for float, below 1e-15 for double
// (about 4e-16 at 2^16 points).
//
// Lengths: powers of two from 1 to 2^30. Any other length ends the program
// with a report of the failed check, in every build (see the constructor).
//
// Memory: for float about 10 bytes per sample (bit-reversal table 4, work
// buffer 4, cosine table 2; the vector paths add up to 1 for twiddles laid
// out for them, and a fixed slack of 64 bytes, 4 KiB from 2^12 samples, to
// place their scratch array), plus a 32-byte phasor per doubling above 2^12
// (and 272 bytes more on the vector paths); for double about 16 (4, 8 and
// 4), no phasors.
//
// Speed: FFTReal <float> picks, once per object, the widest instruction set
// that the CPU offers (AVX-512, AVX2 with FMA, SSE2 on x86 with GCC or Clang;
// no compiler flag needed) and runs vectorised passes; elsewhere, and for
// other sample types, it runs the plain scalar passes. See FFTRealIsa.
//
// Threads: the object's work buffer and phasors are scratch state written by
// every `forward` and `backward`, so one object serves one caller at a time.
// Distinct objects are independent; give each thread its own.

#ifndef QUARN_FFTREAL_H
#define QUARN_FFTREAL_H

#include "quarn/DynArray.h"
#include "quarn/FFTRealSimd.h"
#include "quarn/PhaseRotor.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <type_traits>

namespace quarn
{

// True when x is a power of two. Requires x > 0 (checked in every build).
inline bool FFTReal_is_pow2 (int x);

// Ceiling of log2 x, that is the number of significant bits of x - 1.
// Requires x >= 1 (1 gives 0, 16 gives 4, 17 gives 5).
inline int FFTReal_ceil_log2 (int x);

// Instruction sets that FFTReal <float> can run on, narrowest first after
// the first two. All of them compute the same passes; their results agree to
// float rounding (the vector paths use fused multiply-adds where the CPU has
// them, and another order), not bit for bit.
enum class FFTRealIsa
{
    AUTO,      // the widest that the CPU and the build offer
    SCALAR,    // the plain scalar passes: every machine, every sample type
    SSE2,      // x86, 4 lanes
    AVX2,      // x86 with AVX2 and FMA, 8 lanes
    AVX512,    // x86 with AVX-512F, AVX2 and FMA, 16 lanes
    NEON       // AArch64, 4 lanes
};

// A short name for each value ("AUTO", "SCALAR", "SSE2", "AVX2", "AVX512",
// "NEON"), for messages and reports; "?" for a value outside the enum.
inline const char * FFTReal_isa_name (FFTRealIsa isa)
{
    switch (isa)
    {
    case FFTRealIsa::AUTO: return "AUTO";
    case FFTRealIsa::SCALAR: return "SCALAR";
    case FFTRealIsa::SSE2: return "SSE2";
    case FFTRealIsa::AVX2: return "AVX2";
    case FFTRealIsa::AVX512: return "AVX512";
    case FFTRealIsa::NEON: return "NEON";
    }
    return "?";
}



template <class DT>
class FFTReal
{
public:
    using DataType = DT;

    // Largest log2 of a length: the longest transform has 2^30 samples.
    static constexpr int MAX_BIT_DEPTH = 30;

    // Builds every table for `length` samples: about 10 bytes per sample
    // for float, 16 for double.
    //
    // Needs: `length` a power of two from 1 to 2^30. These checks are made
    // in every build, before any array is built, because a bad length would
    // make `forward` read and write outside the caller's arrays; a failed
    // one prints its expression, file and line to standard error and aborts:
    //     "x > 0"                          length below 1
    //     "FFTReal_is_pow2 (length)"       not a power of two
    //     "_nbr_bits <= MAX_BIT_DEPTH"     longer than 2^30
    // Throws std::bad_alloc if a table cannot be allocated; nothing leaks.
    explicit FFTReal (int length);

    // The same, with a cap on the instruction set (the one-argument form is
    // FFTRealIsa::AUTO). SCALAR forces the plain scalar passes; SSE2, AVX2 and
    // AVX512 allow at most that set: the object runs the widest one that the
    // CPU offers, is not above the cap and handles `length` (AVX-512 from 2^9
    // samples, AVX2 from 2^7, SSE2 from 2^4), else the scalar passes. Sample
    // types other than float always run the scalar passes. isa () tells the
    // choice. Needs and throws: as above.
    FFTReal (int length, FFTRealIsa isa);

    virtual ~FFTReal () = default;

    FFTReal (const FFTReal &) = delete;
    FFTReal & operator = (const FFTReal &) = delete;

    // Forward transform of the N real samples x into the packed spectrum f
    // (layout, sign and scaling: see the top of this file).
    //
    // Needs: f writable and x readable for N samples each; out of place (f
    // and x do not overlap); any alignment. Debug builds check "f != 0",
    // "f != use_buffer ()", "x != 0", "x != use_buffer ()", "x != f".
    // Guarantees: allocates nothing, reads x only, writes f and the object's
    // scratch state; the result depends on x alone, never on earlier calls.
    // Threads: one caller at a time per object (the scratch state is shared).
    void forward (DataType f [], const DataType x []) const;

    // Inverse transform of the packed spectrum f (the layout `forward`
    // writes) into N real samples x, not scaled: backward after forward gives
    // N times the input (see `rescale`).
    //
    // Needs: x writable and f readable for N samples each; out of place (x
    // and f do not overlap); any alignment. Debug builds check "f != 0",
    // "f != use_buffer ()", "x != 0", "x != use_buffer ()", "x != f".
    // Guarantees: allocates nothing, reads f only, writes x and the object's
    // scratch state; the result depends on f alone. Any N reals are a valid
    // packed spectrum: x is N times the signal whose `forward` gives f.
    // Threads: one caller at a time per object (the scratch state is shared).
    void backward (DataType x [], const DataType f []) const;

    // Multiplies the N samples of x by 1 / N, in place: rescale after
    // backward after forward gives back the input, to rounding. Each product
    // is exact (1 / N is a power of two) unless it falls below the smallest
    // normal number of the sample type.
    //
    // Needs: x readable and writable for N samples. Debug builds check
    // "x != 0". Guarantees: allocates nothing and touches neither the
    // object's scratch state nor anything beyond x [N - 1], so distinct
    // callers may rescale with one object at once.
    void rescale (DataType x []) const;

    // The instruction set that `forward` and `backward` of this object run:
    // never AUTO.
    FFTRealIsa isa () const;

    // True when objects of this sample type can run `isa` on this CPU with
    // this build: always for AUTO and SCALAR.
    static bool isa_available (FFTRealIsa isa);

    // ---- Internals ---------------------------------------------------------
    // Below: the tables and the passes. Not part of the interface; the tests
    // reach them through a befriended probe.

private:
    template <class> friend class FFTRealProbe;

    // Highest pass that reads the cosine table; higher passes use phasors.
    // Only float uses phasors: their recurrence, kept in double, drifts from
    // the exact twiddles by about 3e-13 over the 2^14 steps of the last pass
    // at 2^16 points (3e-12 over 2^16 steps), invisible in float but a
    // thousand times double's resolution. Finer types read the table, which
    // holds every level a pass needs, at every pass: exactly rounded
    // twiddles, and in double measured no slower than the phasor.
    static constexpr int TRIGO_BD_LIMIT =
        (std::numeric_limits <DT>::digits <= std::numeric_limits <float>::digits)
        ? 12 : MAX_BIT_DEPTH;

    static constexpr double PI = 3.141592653589793;
    static constexpr double SQRT2 = 1.4142135623730951;

    static constexpr bool HAS_SIMD = std::is_same <DT, float>::value;

    DataType * use_buffer () const;
    const int * bitrev_ptr () const;
    static int cos_level_index (int level);
    const DataType * cos_level_ptr (int level) const;

    void build_bitrev_table ();
    void build_cos_table ();
    void build_osc_bank ();
    void choose_kernels (FFTRealIsa isa);
    simd::Plan simd_plan (const DataType out []) const;

    void transform_general (DataType f [], const DataType x []) const;
    void pass_1_2 (DataType df [], const DataType x []) const;
    void pass_3 (DataType df [], const DataType sf []) const;
    void pass_n (DataType df [], const DataType sf [], int pass) const;
    void pass_n_table (DataType df [], const DataType sf [], int pass) const;
    void pass_n_osc (DataType df [], const DataType sf [], int pass) const;

    void transform_general_inv (DataType x [], const DataType f []) const;
    void pass_1_2_inv (DataType x [], const DataType sf []) const;
    void pass_3_inv (DataType df [], const DataType sf []) const;
    void pass_n_inv (DataType df [], const DataType sf [], int pass) const;

    // Twiddle sources for the passes above 3: twiddles.start_block () is
    // called before each block, then twiddles.next (i, c, s) gives cos and
    // sin of i pi / n for i = 1 .. n/2 - 1 in increasing order.
    class TableTwiddles;   // up to TRIGO_BD_LIMIT: the cosine table
    class OscTwiddles;     // above: a phasor, restarted at every block
    TableTwiddles table_twiddles (int pass) const;
    OscTwiddles osc_twiddles (int pass) const;

    // Merges pairs of packed spectra of n = 2^pass points into packed
    // spectra of 2n points.
    template <class Twiddles>
    void merge_pass (DataType df [], const DataType sf [], int pass,
                     Twiddles twiddles) const;

    // The inverse of merge_pass, doubled: splits each packed spectrum of 2n
    // points back into the two of n points it was merged from, times 2.
    template <class Twiddles>
    void split_pass (DataType df [], const DataType sf [], int pass,
                     Twiddles twiddles) const;

    int _length = 0;                          // N
    int _nbr_bits = 0;                        // log2 N
    DynArray <int> _bitrev_table;             // N entries
    DynArray <DataType> _cos_table;           // levels 3 .. log2 N - 1
    mutable DynArray <DataType> _work_buffer; // N entries (and a slack), scratch
    mutable DynArray <PhaseRotor> _osc_bank;  // one per pass above the limit

    // Vector paths (float only): the kernels for this length, null for the
    // scalar passes, and the start angles of their phasor lanes.
    simd::Kernels _simd;
    DynArray <float> _lane_twiddles;          // cos and sin side by side
    DynArray <double> _phasors;               // PHASOR_STRIDE per phasor pass
};



// ---- Implementation -------------------------------------------------------

namespace detail
{

// Reports a failed check the way a failed assertion does, then aborts.
[[noreturn]] inline void check_failed (const char *expr, const char *file,
                                       int line, const char *func)
{
    std::fprintf (stderr, "%s:%d: %s: Assertion `%s' failed.\n",
                  file, line, func, expr);
    std::fflush (stderr);
    std::abort ();
}

}  // namespace detail

// A check that stays on in builds without debug checks.
#define QUARN_CHECK(expr)                                                   \
    ((expr) ? void (0)                                                      \
            : ::quarn::detail::check_failed (#expr, __FILE__, __LINE__, __func__))



bool FFTReal_is_pow2 (int x)
{
    // Always checked: a length below 1 must be refused before anything,
    // including FFTReal_ceil_log2, depends on it.
    QUARN_CHECK (x > 0);
    return ((x & -x) == x);
}



int FFTReal_ceil_log2 (int x)
{
    assert (x >= 1);
    int p = 0;
    unsigned int v = static_cast <unsigned int> (x - 1);
    while ((v & ~0xFFFFu) != 0)
    {
        p += 16;
        v >>= 16;
    }
    while ((v & ~0xFu) != 0)
    {
        p += 4;
        v >>= 4;
    }
    while (v > 0)
    {
        ++ p;
        v >>= 1;
    }
    return p;
}



template <class DT>
FFTReal<DT>::FFTReal (int length)
:   FFTReal (length, FFTRealIsa::AUTO)
{
}



template <class DT>
FFTReal<DT>::FFTReal (int length, FFTRealIsa isa)
:   _length (length)
{
    // Every array waits for these checks, in every build: a wrong length
    // would size the tables inconsistently with the passes.
    QUARN_CHECK (FFTReal_is_pow2 (length));
    _nbr_bits = FFTReal_ceil_log2 (length);
    QUARN_CHECK (_nbr_bits <= MAX_BIT_DEPTH);

    build_bitrev_table ();
    build_cos_table ();
    build_osc_bank ();
    choose_kernels (isa);

    // The vector passes place their scratch array within a little slack
    // (see simd::place_buffer); the scalar passes use its start.
    const int slack = (HAS_SIMD && _simd.forward != nullptr) ? simd::buffer_slack (_nbr_bits) : 0;
    _work_buffer.reallocate (length + slack);
}



template <class DT>
FFTRealIsa FFTReal<DT>::isa () const
{
    switch (_simd.level)
    {
    case simd::LEVEL_SSE2:
        return FFTRealIsa::SSE2;
    case simd::LEVEL_AVX2:
        return FFTRealIsa::AVX2;
    case simd::LEVEL_AVX512:
        return FFTRealIsa::AVX512;
    default:
        return FFTRealIsa::SCALAR;
    }
}



template <class DT>
bool FFTReal<DT>::isa_available (FFTRealIsa isa)
{
    const int cpu = HAS_SIMD ? simd::cpu_level () : simd::LEVEL_SCALAR;
    switch (isa)
    {
    case FFTRealIsa::SSE2:
        return cpu >= simd::LEVEL_SSE2;
    case FFTRealIsa::AVX2:
        return cpu >= simd::LEVEL_AVX2;
    case FFTRealIsa::AVX512:
        return cpu >= simd::LEVEL_AVX512;
    case FFTRealIsa::NEON:
        return false;
    default:
        return true;
    }
}



template <class DT>
void FFTReal<DT>::choose_kernels (FFTRealIsa isa)
{
    // Vector kernels for float only; other sample types run the scalar
    // passes.
    if constexpr (HAS_SIMD)
    {
        static_assert (simd::TRIGO_BD_LIMIT == TRIGO_BD_LIMIT, "one limit for all paths");
        if (isa == FFTRealIsa::SCALAR)
        {
            return;
        }
        const int cap = (isa == FFTRealIsa::NEON) ? simd::LEVEL_SCALAR
                      : (isa == FFTRealIsa::SSE2) ? simd::LEVEL_SSE2
                      : (isa == FFTRealIsa::AVX2) ? simd::LEVEL_AVX2
                      : simd::LEVEL_AVX512;
        _simd = simd::kernels_for (std::min (simd::cpu_level (), cap), _nbr_bits);
        if (_simd.forward == nullptr)
        {
            return;
        }

        // The cosine table levels that the lane passes read, with each entry
        // beside its mirrored one (the sine): about 4 / W bytes per sample.
        if (_simd.lane_top >= 3)
        {
            _lane_twiddles.reallocate ((2 << _simd.lane_top) - 8);
            for (int lvl = 3; lvl <= _simd.lane_top; ++ lvl)
            {
                const int h = 1 << (lvl - 1);
                const float * const cos_lvl = cos_level_ptr (lvl);
                float * const dst = &_lane_twiddles [(1 << lvl) - 8];
                for (int i = 0; i < h; ++ i)
                {
                    dst [2 * std::ptrdiff_t (i)] = cos_lvl [i];
                    dst [2 * std::ptrdiff_t (i) + 1] = (i == 0) ? 0.0f : cos_lvl [h - i];
                }
            }
        }

        // Lane j of a phasor pass p starts at angle j pi / 2^p; entry j of
        // the widest vector is its step. In double, computed directly.
        const int count = _nbr_bits - 1 - TRIGO_BD_LIMIT;
        if (count > 0)
        {
            _phasors.reallocate (count * simd::PHASOR_STRIDE);
            for (int k = 0; k < count; ++ k)
            {
                const double theta = std::ldexp (PI, -(TRIGO_BD_LIMIT + 1 + k));
                double * const start = &_phasors [k * simd::PHASOR_STRIDE];
                for (int j = 0; j <= simd::PHASOR_LANES; ++ j)
                {
                    start [j] = std::cos (j * theta);
                    start [simd::PHASOR_LANES + 1 + j] = std::sin (j * theta);
                }
            }
        }
    }
    else
    {
        (void) isa;
    }
}



template <class DT>
simd::Plan FFTReal<DT>::simd_plan (const DataType out []) const
{
    simd::Plan plan {};
    if constexpr (HAS_SIMD)
    {
        plan.nbr_bits = _nbr_bits;
        plan.bitrev = bitrev_ptr ();
        plan.cos_table = cos_level_ptr (3);
        plan.lane_twiddles = (_simd.lane_top >= 3) ? &_lane_twiddles [0] : nullptr;
        plan.phasors = (_nbr_bits - 1 > TRIGO_BD_LIMIT) ? &_phasors [0] : nullptr;
        plan.buffer = simd::place_buffer (use_buffer (), out, _nbr_bits);
    }
    else
    {
        (void) out;
    }
    return plan;
}



template <class DT>
void FFTReal<DT>::forward (DataType f [], const DataType x []) const
{
    assert (f != 0);
    assert (f != use_buffer ());
    assert (x != 0);
    assert (x != use_buffer ());
    assert (x != f);

    if constexpr (HAS_SIMD)
    {
        if (_simd.forward != nullptr)
        {
            _simd.forward (simd_plan (f), f, x);
            return;
        }
    }

    switch (_nbr_bits)
    {
    case 0:
        f [0] = x [0];
        break;
    case 1:
        f [0] = x [0] + x [1];
        f [1] = x [0] - x [1];
        break;
    case 2:
    {
        f [1] = x [0] - x [2];
        f [3] = x [1] - x [3];
        const DataType b0 = x [0] + x [2];
        const DataType b2 = x [1] + x [3];
        f [0] = b0 + b2;
        f [2] = b0 - b2;
        break;
    }
    default:
        transform_general (f, x);
        break;
    }
}



template <class DT>
typename FFTReal<DT>::DataType * FFTReal<DT>::use_buffer () const
{
    return &_work_buffer [0];
}



template <class DT>
const int * FFTReal<DT>::bitrev_ptr () const
{
    return &_bitrev_table [0];
}



template <class DT>
int FFTReal<DT>::cos_level_index (int level)
{
    assert (level >= 3);
    return (1 << (level - 1)) - 4;
}



template <class DT>
const typename FFTReal<DT>::DataType * FFTReal<DT>::cos_level_ptr (int level) const
{
    assert (level >= 3);
    return &_cos_table [cos_level_index (level)];
}



template <class DT>
void FFTReal<DT>::build_bitrev_table ()
{
    const int n = 1 << _nbr_bits;
    _bitrev_table.reallocate (n);
    _bitrev_table [0] = 0;

    // r counts upwards in bit-reversed order: add 1 at the top bit and carry
    // downwards.
    int r = 0;
    for (int c = 1; c < n; ++ c)
    {
        int bit = n >> 1;
        while (((r ^= bit) & bit) == 0)
        {
            bit >>= 1;
        }
        _bitrev_table [c] = r;
    }
}



template <class DT>
void FFTReal<DT>::build_cos_table ()
{
    if (_nbr_bits > 3)
    {
        _cos_table.reallocate ((1 << (_nbr_bits - 1)) - 4);
        for (int level = 3; level < _nbr_bits; ++ level)
        {
            const int len = 1 << (level - 1);
            DataType * const level_ptr = &_cos_table [cos_level_index (level)];
            const double mul = PI / (len * 2);
            for (int i = 0; i < len; ++ i)
            {
                level_ptr [i] = static_cast <DataType> (std::cos (i * mul));
            }
        }
    }
}



template <class DT>
void FFTReal<DT>::build_osc_bank ()
{
    const int count = _nbr_bits - TRIGO_BD_LIMIT;
    if (count > 0)
    {
        _osc_bank.reallocate (count);
        for (int k = 0; k < count; ++ k)
        {
            _osc_bank [k].set_increment (
                std::ldexp (0.5 * PI, -(TRIGO_BD_LIMIT + k)));
        }
    }
}



template <class DT>
void FFTReal<DT>::transform_general (DataType f [], const DataType x []) const
{
    assert (f != 0);
    assert (f != use_buffer ());
    assert (x != 0);
    assert (x != use_buffer ());
    assert (x != f);

    // The passes alternate between f and the work buffer; start so that the
    // last one lands in f.
    DataType * sf;
    DataType * df;
    if ((_nbr_bits & 1) != 0)
    {
        df = use_buffer ();
        sf = f;
    }
    else
    {
        df = f;
        sf = use_buffer ();
    }

    pass_1_2 (df, x);
    pass_3 (sf, df);
    for (int pass = 3; pass < _nbr_bits; ++ pass)
    {
        pass_n (df, sf, pass);
        DataType * const tmp = df;
        df = sf;
        sf = tmp;
    }
}



template <class DT>
void FFTReal<DT>::pass_1_2 (DataType df [], const DataType x []) const
{
    assert (df != 0);
    assert (x != 0);
    assert (df != x);

    // Stages 1 and 2 together, reading x in bit-reversed order so that no
    // separate permutation is needed.
    const int * const bitrev = bitrev_ptr ();
    int c = 0;
    do
    {
        const int r0 = bitrev [c];
        const int r1 = bitrev [c + 1];
        const int r2 = bitrev [c + 2];
        const int r3 = bitrev [c + 3];

        df [c + 1] = x [r0] - x [r1];
        df [c + 3] = x [r2] - x [r3];

        const DataType s0 = x [r0] + x [r1];
        const DataType s2 = x [r2] + x [r3];

        df [c] = s0 + s2;
        df [c + 2] = s0 - s2;

        c += 4;
    }
    while (c < _length);
}



template <class DT>
void FFTReal<DT>::pass_3 (DataType df [], const DataType sf []) const
{
    assert (df != 0);
    assert (sf != 0);
    assert (df != sf);

    const DataType k = static_cast <DataType> (SQRT2 * 0.5);
    int c = 0;
    do
    {
        df [c] = sf [c] + sf [c + 4];
        df [c + 4] = sf [c] - sf [c + 4];
        df [c + 2] = sf [c + 2];
        df [c + 6] = sf [c + 6];

        DataType v = (sf [c + 5] - sf [c + 7]) * k;
        df [c + 1] = sf [c + 1] + v;
        df [c + 3] = sf [c + 1] - v;

        v = (sf [c + 5] + sf [c + 7]) * k;
        df [c + 5] = v + sf [c + 3];
        df [c + 7] = v - sf [c + 3];

        c += 8;
    }
    while (c < _length);
}



template <class DT>
void FFTReal<DT>::pass_n (DataType df [], const DataType sf [], int pass) const
{
    assert (df != 0);
    assert (sf != 0);
    assert (df != sf);
    assert (pass >= 3);
    assert (pass < _nbr_bits);

    if (pass > TRIGO_BD_LIMIT)
    {
        pass_n_osc (df, sf, pass);
    }
    else
    {
        pass_n_table (df, sf, pass);
    }
}



template <class DT>
void FFTReal<DT>::pass_n_table (DataType df [], const DataType sf [], int pass) const
{
    assert (df != 0);
    assert (sf != 0);
    assert (df != sf);
    assert (pass >= 3);
    assert (pass < _nbr_bits);

    merge_pass (df, sf, pass, table_twiddles (pass));
}



template <class DT>
void FFTReal<DT>::pass_n_osc (DataType df [], const DataType sf [], int pass) const
{
    assert (df != 0);
    assert (sf != 0);
    assert (df != sf);
    assert (pass > TRIGO_BD_LIMIT);
    assert (pass < _nbr_bits);

    merge_pass (df, sf, pass, osc_twiddles (pass));
}



template <class DT>
class FFTReal<DT>::TableTwiddles
{
public:
    TableTwiddles (const DataType *tab, int h) : _tab (tab), _h (h) {}

    void start_block () {}

    // cos (i pi / n) from the table; the sine is the mirrored cosine entry.
    void next (int i, DataType &c, DataType &s)
    {
        c = _tab [i];
        s = _tab [_h - i];
    }

private:
    const DataType * _tab;
    int _h;
};



template <class DT>
class FFTReal<DT>::OscTwiddles
{
public:
    explicit OscTwiddles (PhaseRotor &osc) : _osc (osc) {}

    // Each block restarts the phasor at angle 0, so rounding accumulates
    // over at most n/2 steps and no result depends on an earlier block.
    void start_block () { _osc.reset (); }

    void next (int /* i */, DataType &c, DataType &s)
    {
        _osc.advance ();
        c = static_cast <DataType> (_osc.cur_cos ());
        s = static_cast <DataType> (_osc.cur_sin ());
    }

private:
    PhaseRotor & _osc;
};



template <class DT>
typename FFTReal<DT>::TableTwiddles FFTReal<DT>::table_twiddles (int pass) const
{
    return TableTwiddles (cos_level_ptr (pass), 1 << (pass - 1));
}



template <class DT>
typename FFTReal<DT>::OscTwiddles FFTReal<DT>::osc_twiddles (int pass) const
{
    return OscTwiddles (_osc_bank [pass - (TRIGO_BD_LIMIT + 1)]);
}



template <class DT>
template <class Twiddles>
void FFTReal<DT>::merge_pass (DataType df [], const DataType sf [], int pass,
                              Twiddles twiddles) const
{
    const int n = 1 << pass;
    const int h = n >> 1;
    const int d = n << 1;
    int c = 0;
    do
    {
        const DataType * const s1r = sf + c;
        const DataType * const s2r = s1r + n;
        const DataType * const s1i = s1r + h;
        const DataType * const s2i = s1i + n;
        DataType * const dfr = df + c;
        DataType * const dfi = dfr + n;

        twiddles.start_block ();

        // The extreme coefficients are real.
        dfr [0] = s1r [0] + s2r [0];
        dfi [0] = s1r [0] - s2r [0];
        dfr [h] = s1r [h];
        dfi [h] = s2r [h];

        for (int i = 1; i < h; ++ i)
        {
            DataType c_;
            DataType s_;
            twiddles.next (i, c_, s_);

            DataType v = s2r [i] * c_ - s2i [i] * s_;
            dfr [i] = s1r [i] + v;
            dfi [-i] = s1r [i] - v;

            v = s2r [i] * s_ + s2i [i] * c_;
            dfi [i] = v + s1i [i];
            dfi [n - i] = v - s1i [i];
        }

        c += d;
    }
    while (c < _length);
}



// ---- Inverse transform ----------------------------------------------------
// Each inverse pass undoes one forward pass and doubles its data, so that
// the whole inverse is the unscaled one: N times the input.

template <class DT>
void FFTReal<DT>::backward (DataType x [], const DataType f []) const
{
    assert (f != 0);
    assert (f != use_buffer ());
    assert (x != 0);
    assert (x != use_buffer ());
    assert (x != f);

    if constexpr (HAS_SIMD)
    {
        if (_simd.backward != nullptr)
        {
            _simd.backward (simd_plan (x), x, f);
            return;
        }
    }

    switch (_nbr_bits)
    {
    case 0:
        x [0] = f [0];
        break;
    case 1:
        x [0] = f [0] + f [1];
        x [1] = f [0] - f [1];
        break;
    case 2:
    {
        const DataType b0 = f [0] + f [2];
        const DataType b2 = f [0] - f [2];
        x [0] = b0 + f [1] * 2;
        x [2] = b0 - f [1] * 2;
        x [1] = b2 + f [3] * 2;
        x [3] = b2 - f [3] * 2;
        break;
    }
    default:
        transform_general_inv (x, f);
        break;
    }
}



template <class DT>
void FFTReal<DT>::rescale (DataType x []) const
{
    assert (x != 0);
    const DataType mul = DataType (1) / DataType (_length);
    for (int i = 0; i < _length; ++ i)
    {
        x [i] *= mul;
    }
}



template <class DT>
void FFTReal<DT>::transform_general_inv (DataType x [], const DataType f []) const
{
    assert (f != 0);
    assert (f != use_buffer ());
    assert (x != 0);
    assert (x != use_buffer ());
    assert (x != f);

    // The last inverse pass scatters into x in bit-reversed order and so must
    // read the work buffer; the passes before it alternate between x and the
    // buffer, starting so that the one before the last writes the buffer.
    DataType * df;
    DataType * sf;
    if ((_nbr_bits & 1) != 0)
    {
        df = use_buffer ();
        sf = x;
    }
    else
    {
        df = x;
        sf = use_buffer ();
    }

    const DataType * src = f;
    for (int pass = _nbr_bits - 1; pass >= 3; -- pass)
    {
        pass_n_inv (df, src, pass);
        src = df;
        DataType * const tmp = df;
        df = sf;
        sf = tmp;
    }
    pass_3_inv (df, src);
    pass_1_2_inv (x, df);
}



template <class DT>
void FFTReal<DT>::pass_n_inv (DataType df [], const DataType sf [], int pass) const
{
    assert (df != 0);
    assert (sf != 0);
    assert (df != sf);
    assert (pass >= 3);
    assert (pass < _nbr_bits);

    if (pass > TRIGO_BD_LIMIT)
    {
        split_pass (df, sf, pass, osc_twiddles (pass));
    }
    else
    {
        split_pass (df, sf, pass, table_twiddles (pass));
    }
}



template <class DT>
template <class Twiddles>
void FFTReal<DT>::split_pass (DataType df [], const DataType sf [], int pass,
                              Twiddles twiddles) const
{
    const int n = 1 << pass;
    const int h = n >> 1;
    const int d = n << 1;
    int c = 0;
    do
    {
        const DataType * const sfr = sf + c;
        const DataType * const sfi = sfr + n;
        DataType * const d1r = df + c;
        DataType * const d2r = d1r + n;
        DataType * const d1i = d1r + h;
        DataType * const d2i = d1i + n;

        twiddles.start_block ();

        d1r [0] = sfr [0] + sfi [0];
        d2r [0] = sfr [0] - sfi [0];
        d1r [h] = sfr [h] * 2;
        d2r [h] = sfi [h] * 2;

        for (int i = 1; i < h; ++ i)
        {
            DataType c_;
            DataType s_;
            twiddles.next (i, c_, s_);

            // Undo the butterflies: twice the first half, twice the rotated
            // second half...
            d1r [i] = sfr [i] + sfi [-i];
            d1i [i] = sfi [i] - sfi [n - i];
            const DataType vr = sfr [i] - sfi [-i];
            const DataType vi = sfi [i] + sfi [n - i];

            // ... then rotate the second half back.
            d2r [i] = vr * c_ + vi * s_;
            d2i [i] = vi * c_ - vr * s_;
        }

        c += d;
    }
    while (c < _length);
}



template <class DT>
void FFTReal<DT>::pass_3_inv (DataType df [], const DataType sf []) const
{
    assert (df != 0);
    assert (sf != 0);
    assert (df != sf);

    // Twice the 8-point inputs of pass_3; 1 / (2 k) is k itself.
    const DataType k = static_cast <DataType> (SQRT2 * 0.5);
    int c = 0;
    do
    {
        df [c] = sf [c] + sf [c + 4];
        df [c + 4] = sf [c] - sf [c + 4];
        df [c + 2] = sf [c + 2] * 2;
        df [c + 6] = sf [c + 6] * 2;

        df [c + 1] = sf [c + 1] + sf [c + 3];
        df [c + 3] = sf [c + 5] - sf [c + 7];

        const DataType v = sf [c + 1] - sf [c + 3];
        const DataType w = sf [c + 5] + sf [c + 7];
        df [c + 5] = (w + v) * k;
        df [c + 7] = (w - v) * k;

        c += 8;
    }
    while (c < _length);
}



template <class DT>
void FFTReal<DT>::pass_1_2_inv (DataType x [], const DataType sf []) const
{
    assert (x != 0);
    assert (sf != 0);
    assert (x != sf);

    // Twice stages 2 then 1 undone, scattered to x in bit-reversed order.
    const int * const bitrev = bitrev_ptr ();
    int c = 0;
    do
    {
        const DataType s0 = sf [c] + sf [c + 2];
        const DataType s2 = sf [c] - sf [c + 2];
        const DataType d1 = sf [c + 1] * 2;
        const DataType d3 = sf [c + 3] * 2;

        x [bitrev [c]] = s0 + d1;
        x [bitrev [c + 1]] = s0 - d1;
        x [bitrev [c + 2]] = s2 + d3;
        x [bitrev [c + 3]] = s2 - d3;

        c += 4;
    }
    while (c < _length);
}

}  // namespace quarn

#endif  // QUARN_FFTREAL_H
