// Long transforms, opt-in (CTest label `long`): 2^20 and 2^24 against a
// long-double FFT, 2^28 and 2^30 at spot bins by direct long-double sums,
// and the self-checks from 2^18 to 2^22.

#include "quarn/FFTReal.h"
#include "reference.h"
#include "selfcheck.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

namespace
{

using quarn::FFTReal;
using qtest::Cplx;
using qtest::Real;

// Uniform in [-1, 1) from splitmix64, fast enough for 2^30 samples. Not a
// plain LCG: its lattice makes float rounding errors coherent, and any float
// FFT then shows errors of 1e-6 to 1e-5 at the lowest odd bins from 2^28.
void fill_uniform (float *x, std::int64_t n, std::uint64_t s)
{
    for (std::int64_t i = 0; i < n; ++ i)
    {
        s += 0x9E3779B97F4A7C15ull;
        std::uint64_t z = s;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        z ^= z >> 31;
        x [i] = float (std::int32_t (z >> 32) * (1.0 / 2147483648.0));
    }
}

// X[k] by a long-double phasor, recomputed exactly every 1024 steps.
Cplx bin_direct (const float *x, std::int64_t n, std::int64_t k)
{
    const auto phasor = [&] (std::uint64_t j) { return std::polar (Real (1), -2 * qtest::PI_L * Real (j) / Real (n)); };
    const Cplx step = phasor (k);
    Cplx sum = 0;
    Cplx w = 1;
    for (std::int64_t m = 0; m < n; ++ m)
    {
        if ((m & 1023) == 0)
        {
            w = phasor ((std::uint64_t (k) * m) & (std::uint64_t (n) - 1));
        }
        sum += Real (x [m]) * w;
        w *= step;
    }
    return sum;
}

long long available_bytes ()
{
    std::ifstream meminfo ("/proc/meminfo");
    std::string key;
    std::string unit;
    long long kib = 0;
    while (meminfo >> key >> kib >> unit)
    {
        if (key == "MemAvailable:")
        {
            return kib * 1024;
        }
    }
    return -1;
}

TEST (LongTransform, AgainstLongDoubleFft)
{
    for (int bits : { 20, 24 })
    {
        const int n = 1 << bits;
        const FFTReal <float> fft (n);
        std::vector <float> x (n);
        std::vector <float> f (n);
        fill_uniform (x.data (), n, bits);
        fft.forward (f.data (), x.data ());
        const qtest::Error e = qtest::compare (f.data (), qtest::packed_dft_fast (x.data (), n));
        std::printf ("N = 2^%d: rel RMS %.3g, max rel %.3g\n", bits, e.rel_rms, e.max_rel);
        EXPECT_LT (e.rel_rms, 1e-6) << "n " << n;
        EXPECT_LT (e.max_rel, 2e-6) << "n " << n;
    }
}

void spot_test (int bits)
{
    const std::int64_t n = std::int64_t (1) << bits;
    // Input, output and the object's tables: 4 + 4 + 10 bytes per sample.
    const long long need = 18 * n + (256ll << 20);
    const long long have = available_bytes ();
    if (have >= 0 && have < need)
    {
        GTEST_SKIP () << "N = 2^" << bits << " needs about " << (need >> 30)
                      << " GiB free; this machine has " << (have >> 30) << " GiB";
    }
    const FFTReal <float> fft (static_cast <int> (n));
    const std::unique_ptr <float []> x (new float [n]);
    const std::unique_ptr <float []> f (new float [n]);
    fill_uniform (x.get (), n, bits);
    fft.forward (f.get (), x.get ());

    // The spot bins' real and imaginary parts, as packed elements.
    std::vector <Real> got;
    std::vector <Real> want;
    for (std::int64_t k : { std::int64_t (0), std::int64_t (1), std::int64_t (3), n / 4,
                            n / 2 - 1, n / 2, std::int64_t (12345), n / 2 - 98765 })
    {
        const Cplx ref = bin_direct (x.get (), n, k);
        const bool has_imag = k > 0 && k < n / 2;
        got.insert (got.end (), { Real (f [k]), has_imag ? -Real (f [n / 2 + k]) : 0 });
        want.insert (want.end (), { ref.real (), ref.imag () });
    }
    const qtest::Error e = qtest::compare (got.data (), want);
    std::printf ("N = 2^%d (spot bins): rel RMS %.3g, max rel %.3g\n", bits, e.rel_rms, e.max_rel);
    EXPECT_LT (e.rel_rms, 2e-6);
    EXPECT_LT (e.max_rel, 4e-6);
}

TEST (LongTransform, SpotBins2p28)
{
    spot_test (28);
}

TEST (LongTransform, SpotBins2p30)
{
    spot_test (30);
}

// As in the default suite, same bound.
TEST (LongTransform, SelfChecks2p18To2p22)
{
    EXPECT_LT (qtest::self_checks (18, 22, true), 1);
}

}  // namespace
