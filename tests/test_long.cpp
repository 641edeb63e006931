// Long transforms, opt-in (CTest label `long`): 2^20 and 2^24 against a
// long-double FFT, 2^28 and 2^30 at spot bins by direct long-double sums,
// and the self-checks from 2^18 to 2^22.

#include "quarn/FFTReal.h"
#include "reference.h"
#include "selfcheck.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace
{

using quarn::FFTReal;
using qtest::Real;

// Uniform in [-1, 1) from splitmix64, fast enough for 2^30 samples. Not a
// plain LCG: its lattice structure makes float rounding errors coherent, and
// any float FFT (this one and FFTW alike) then shows errors of 1e-6 to 1e-5
// at the lowest odd bins from 2^28 on.
void fill_uniform (float *x, std::int64_t n, std::uint64_t seed)
{
    std::uint64_t s = seed;
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

// X[k] = sum x[m] e^(-2 pi i k m / n) by a long-double phasor that is
// recomputed exactly every 1024 steps.
std::complex <Real> bin_direct (const float *x, std::int64_t n, std::int64_t k)
{
    const std::uint64_t mask = std::uint64_t (n) - 1;
    const Real step_angle = -2 * qtest::PI_L * Real (k) / Real (n);
    const std::complex <Real> step (std::cos (step_angle), std::sin (step_angle));
    std::complex <Real> sum = 0;
    std::complex <Real> w = 1;
    for (std::int64_t m = 0; m < n; ++ m)
    {
        if ((m & 1023) == 0)
        {
            const Real a = -2 * qtest::PI_L * Real ((std::uint64_t (k) * m) & mask) / Real (n);
            w = std::complex <Real> (std::cos (a), std::sin (a));
        }
        sum += Real (x [m]) * w;
        w *= step;
    }
    return sum;
}

struct SpotError
{
    double rel_rms;   // over the spot bins' real and imaginary elements
    double max_rel;   // worst element against the largest spot magnitude
};

SpotError spot_check (const float *x, const float *f, std::int64_t n,
                      const std::vector <std::int64_t> &bins)
{
    Real err2 = 0, ref2 = 0, max_err = 0, max_ref = 0;
    for (std::int64_t k : bins)
    {
        const std::complex <Real> ref = bin_direct (x, n, k);
        const bool has_imag = k > 0 && k < n / 2;
        const Real got_re = f [k];
        const Real got_im = has_imag ? -Real (f [n / 2 + k]) : 0;
        const Real e_re = std::fabs (got_re - ref.real ());
        const Real e_im = std::fabs (got_im - ref.imag ());
        err2 += e_re * e_re + e_im * e_im;
        ref2 += std::norm (ref);
        max_err = std::max ({ max_err, e_re, e_im });
        max_ref = std::max ({ max_ref, std::fabs (ref.real ()), std::fabs (ref.imag ()) });
    }
    return { double (std::sqrt (err2 / ref2)), double (max_err / max_ref) };
}

long long available_bytes ()
{
    std::ifstream meminfo ("/proc/meminfo");
    std::string key;
    long long kib = 0;
    std::string unit;
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
        fill_uniform (x.data (), n, bits);
        std::vector <float> f (n);
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
    std::unique_ptr <float []> x (new float [n]);
    std::unique_ptr <float []> f (new float [n]);
    fill_uniform (x.get (), n, bits);
    fft.forward (f.get (), x.get ());

    const std::vector <std::int64_t> bins = { 0, 1, 3, n / 4, n / 2 - 1, n / 2, 12345, n / 2 - 98765 };
    const SpotError e = spot_check (x.get (), f.get (), n, bins);
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

// Linearity, impulse responses and time shifts, as in the default suite
// (same bound: 2 u per stage, relative to the output's scale).
TEST (LongTransform, SelfChecks2p18To2p22)
{
    for (int bits = 18; bits <= 22; ++ bits)
    {
        const int n = 1 << bits;
        const FFTReal <float> fft (n);
        const double bound = qtest::stage_bound (n, 2);
        for (qtest::Dir dir : { qtest::Dir::FORWARD, qtest::Dir::BACKWARD })
        {
            const qtest::SelfCheckReport r = qtest::self_check (fft, dir, n, 17 + bits);
            const char *what = qtest::dir_name (dir);
            std::printf ("N = 2^%d %s, of the bound: linearity %.2f, impulse %.2f, shift %.2f\n",
                         bits, what, r.linearity.max_rel / bound, r.impulse.max_rel / bound,
                         r.shift.max_rel / bound);
            EXPECT_LT (r.linearity.rel2, bound) << what << " n " << n;
            EXPECT_LT (r.linearity.max_rel, bound) << what << " n " << n;
            EXPECT_LT (r.impulse.rel2, bound) << what << " n " << n;
            EXPECT_LT (r.impulse.max_rel, bound) << what << " n " << n;
            EXPECT_LT (r.shift.rel2, bound) << what << " n " << n;
            EXPECT_LT (r.shift.max_rel, bound) << what << " n " << n;
        }
    }
}

}  // namespace
