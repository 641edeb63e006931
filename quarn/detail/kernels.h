// SPDX-License-Identifier: MIT
// What FFTReal needs to know of the vector paths: the kernels chosen for one
// length and the tables they read. The kernels themselves are compiled in
// dispatch.h.

#ifndef QUARN_DETAIL_KERNELS_H
#define QUARN_DETAIL_KERNELS_H

#include "quarn/DynArray.h"
#include "quarn/detail/tables.h"

#include <cstddef>
#include <utility>

#if defined (__linux__)
#include <unistd.h>
#endif

namespace quarn
{

enum class FFTRealIsa;

namespace detail
{

// The vector kernels place their working array within the scratch array,
// away from the output's cache sets (engine.h): from 2^FAR_BITS samples on,
// half a page from it, else on a cache line. These are the bytes it takes.
constexpr int FAR_BITS = 12;
constexpr std::size_t PAGE_BYTES = 4096;
constexpr std::size_t LINE_BYTES = 64;

constexpr std::size_t scratch_slack_bytes (int nbr_bits)
{
    return (nbr_bits >= FAR_BITS) ? PAGE_BYTES : LINE_BYTES;
}

// What a plan adapts to on the CPU that builds it.
struct CpuTraits
{
    // A core's L2 cache in bytes as the system reports it; 0 where it does
    // not say (the blocking then assumes 1 MiB or more).
    std::size_t l2_bytes = 0;
    // AMD's: there the inverse first kernel's buffer (first.h) serves more
    // lengths, and x on a cache line too, and the forward last stages write
    // through one as well (rows.h).
    bool amd = false;
};

// This CPU's, asked once.
inline CpuTraits this_cpu ()
{
    static const CpuTraits cpu = [] {
        CpuTraits c;
#if defined (__linux__) && defined (_SC_LEVEL2_CACHE_SIZE)
        const long bytes = sysconf (_SC_LEVEL2_CACHE_SIZE);
        c.l2_bytes = (bytes > 0) ? static_cast <std::size_t> (bytes) : 0;
#endif
#if (defined (__x86_64__) || defined (__i386__)) && (defined (__GNUC__) || defined (__clang__))
        __builtin_cpu_init ();
        c.amd = __builtin_cpu_is ("amd") != 0;
#endif
        return c;
    } ();
    return cpu;
}

// The bytes of x for which the inverse first kernel goes through its
// buffer (first.h). Below, x's lines stay in L1 between the blocks that
// complete them; above the end, they are lost to L2 or L3 anyway and the
// copy only costs: on a Sapphire Rapids Xeon past 1 MiB; on a Zen 5 EPYC
// past 4 MiB (from 1 to 4 MiB 2 to 42% faster, at 8 MiB 0 to 17% slower).
// There, x on a line gains too (AVX-512, 64 KiB to 4 MiB: 2 to 32%), where
// the Xeon lost up to 8%.
constexpr std::size_t STAGED_FROM_BYTES = 65536;
constexpr std::size_t STAGED_TO_BYTES = 1 << 20;
constexpr std::size_t STAGED_TO_BYTES_AMD = 4 << 20;
// And for the last stages' stores, on AMD's CPUs only (rows.h).
constexpr std::size_t STAGED_LAST_TO_BYTES = 2 << 20;

// From this size of an array on, the forward first kernel streams its
// blocks to the scratch array past the caches: x, the scratch array and
// the output no longer fit in a last-level cache, so the lines it writes
// would only be fetched to be overwritten, and evict x's on the way. On a
// Zen 5 EPYC (32 MiB L3 a core complex) AVX-512 double forward 2^21 to
// 2^23 and float 2^22 and 2^23 5 to 15% faster so; at 8 MiB, half in the
// L3 still, 0 to 17% slower. (The size the system reports for the L3 is
// no guide: 384 MiB there, every core complex's together.)
constexpr std::size_t STREAM_FROM_BYTES = std::size_t (16) << 20;

template <class T>
struct Kernels
{
    using Forward = void (*) (const VectorTables <T> &tab, T f [], const T x [], T scratch []);
    using Backward = void (*) (const VectorTables <T> &tab, T x [], const T f [], T scratch []);

    Forward forward = nullptr;     // null: the scalar passes
    Backward backward = nullptr;
    FFTRealIsa isa {};             // what forward and backward run, when set
    int lanes = 0;                 // W; 1 for the straight kernels of short lengths
    int kernel_vectors = 0;        // vectors a kernel's block may keep in registers
    int limit = 0;                 // highest pass that reads tables

    // log2 of the lanes.
    int w_bits () const;

    // The tables these kernels read for 2^nbr_bits samples: the level of the
    // twiddle pairs, and the cosine levels from `cos_from` up to `cos_to`
    // (none when cos_from > cos_to).
    int pair_level (int nbr_bits) const;
    int cos_from (int nbr_bits) const;
    int cos_to (int nbr_bits) const;
};

// The tables of one transform length for the kernels k: the twiddle pairs of
// one level, the cosine levels of the last stages up to the table limit
// (with a vector's slack: the last chunk reads one entry past its level),
// and the phasor starts of the passes from it up. Built once; moves with the
// transform object (the blocks stay where they are).
template <class T>
class VectorPlan
{
public:
    VectorPlan () = default;
    VectorPlan (const Kernels <T> &k, int nbr_bits, const CpuTraits &cpu = this_cpu ());

    const VectorTables <T> & tables () const { return _tables; }

    VectorPlan (VectorPlan &&other) noexcept;
    VectorPlan & operator = (VectorPlan &&other) noexcept;
    VectorPlan (const VectorPlan &) = delete;
    VectorPlan & operator = (const VectorPlan &) = delete;
    ~VectorPlan () = default;

private:
    static constexpr int COS_SLACK = 16;

    DynArray <T> _twiddles;           // the pairs, then the cosine levels
    DynArray <double> _phasor_starts;
    VectorTables <T> _tables;
};

// The kernels for 2^nbr_bits samples of the widest instruction set that
// the CPU offers, `cap` allows and that handles the length, or the scalar
// passes' null kernels.
template <class T>
Kernels <T> select_kernels (FFTRealIsa cap, int nbr_bits);

// True when this CPU and build can run `isa` for the sample type T.
template <class T>
bool isa_runs (FFTRealIsa isa);

// ---- Inline parts ----------------------------------------------------------

template <class T>
int Kernels <T>::w_bits () const
{
    int w = 0;
    while ((1 << w) < lanes)
    {
        ++ w;
    }
    return w;
}

template <class T>
int Kernels <T>::pair_level (int nbr_bits) const
{
    // The lane passes read levels up to nbr_bits - w - 1 (at most the
    // limit); the levels up to 5, which the first kernel, the last stages'
    // multiples and the straight kernels read, are constants (lanes.h). At
    // least level 3, so that the table is never empty.
    const int top = (nbr_bits - w_bits () - 1 < limit) ? nbr_bits - w_bits () - 1 : limit;
    return (top > 3) ? top : 3;
}

template <class T>
int Kernels <T>::cos_from (int nbr_bits) const
{
    return nbr_bits - w_bits ();
}

template <class T>
int Kernels <T>::cos_to (int nbr_bits) const
{
    return (lanes <= 1) ? 0 : ((nbr_bits - 1 < limit) ? nbr_bits - 1 : limit);
}

template <class T>
VectorPlan <T>::VectorPlan (const Kernels <T> &k, int nbr_bits, const CpuTraits &cpu)
{
    const int pair_level = k.pair_level (nbr_bits);
    const int cos_from = k.cos_from (nbr_bits);
    const int cos_to = k.cos_to (nbr_bits);
    const int pair_size = int (pair_table_size (pair_level));
    const int cos_size = (cos_from <= cos_to)
        ? cos_level_index (cos_to + 1) - cos_level_index (cos_from) + COS_SLACK : 0;
    _twiddles.reallocate (pair_size + cos_size);
    build_pairs (&_twiddles [0], pair_level);
    if (cos_size > 0)
    {
        T * const cos = &_twiddles [pair_size];
        build_cos_levels (cos, cos_from, cos_to);
        for (int j = cos_size - COS_SLACK; j < cos_size; ++ j)
        {
            cos [j] = 0;
        }
    }

    // From the limit itself: a double pass across the limit takes both its
    // passes' twiddles from phasors.
    const int phasor_count = (nbr_bits - 1 > k.limit) ? nbr_bits - k.limit : 0;
    if (phasor_count > 0)
    {
        _phasor_starts.reallocate (phasor_count * PHASOR_STRIDE);
        build_phasor_starts (&_phasor_starts [0], k.limit, nbr_bits - 1);
    }

    _tables.nbr_bits = nbr_bits;
    _tables.limit = k.limit;
    _tables.pairs = &_twiddles [0];
    _tables.pair_level = pair_level;
    _tables.cos = (cos_size > 0) ? &_twiddles [pair_size] : nullptr;
    _tables.cos_from = cos_from;
    _tables.phasors = (phasor_count > 0) ? &_phasor_starts [0] : nullptr;
    const int w = k.w_bits ();
    _tables.forward_schedule = Schedule (nbr_bits, w, forward_first_kernel_bits (w, k.kernel_vectors, nbr_bits),
                                         sizeof (T), cpu.l2_bytes);
    _tables.backward_schedule = Schedule (nbr_bits, w, first_kernel_bits (w), sizeof (T), cpu.l2_bytes);
    const std::size_t bytes = (std::size_t (1) << nbr_bits) * sizeof (T);
    _tables.staged [0] = bytes >= STAGED_FROM_BYTES && bytes <= (cpu.amd ? STAGED_TO_BYTES_AMD : STAGED_TO_BYTES);
    _tables.staged [1] = _tables.staged [0] && cpu.amd;
    _tables.staged_last = cpu.amd && bytes >= STAGED_FROM_BYTES && bytes <= STAGED_LAST_TO_BYTES;
    _tables.stream_first = bytes >= STREAM_FROM_BYTES;
}

template <class T>
VectorPlan <T>::VectorPlan (VectorPlan &&other) noexcept
:   _twiddles (std::move (other._twiddles)),
    _phasor_starts (std::move (other._phasor_starts)),
    _tables (std::exchange (other._tables, {}))
{
}

template <class T>
VectorPlan <T> & VectorPlan <T>::operator = (VectorPlan &&other) noexcept
{
    _twiddles = std::move (other._twiddles);
    _phasor_starts = std::move (other._phasor_starts);
    _tables = std::exchange (other._tables, {});
    return *this;
}

}  // namespace detail
}  // namespace quarn

#endif  // QUARN_DETAIL_KERNELS_H
