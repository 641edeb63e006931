// SPDX-License-Identifier: MIT
// Fuzz target (libFuzzer): byte 0 picks the length (to 2^15, where the
// phasor passes run), byte 1 the sample format, the rest the samples,
// repeated or completed by a generator. With N max|x| <= 2^100, forward and
// backward within 8 u per stage of the double reference, plus the subnormal
// grid, and the scratch forms bit for bit the same; after any samples, the
// object transforms a clean signal as a new one does. Else it aborts.

#include "reference.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

namespace
{

constexpr int MAX_BITS = 15;
constexpr double PER_STAGE = 8 * 5.9604644775390625e-08;   // 8 u

using quarn::FFTReal;

void expect (bool ok, const char *what, bool fwd, int n)
{
    if (! ok)
    {
        std::fprintf (stderr, "quarn fuzz: %s, %s, n = %d\n", what, qtest::dir_name (fwd), n);
        std::abort ();
    }
}

// Mode bit 0: raw floats (any bit pattern) or 16-bit integers over 32768;
// bit 1: the missing samples repeat the given ones or come from a generator.
std::vector <float> samples (int n, unsigned mode, const std::uint8_t *data, std::size_t size)
{
    const std::size_t step = (mode & 1) == 0 ? 4 : 2;
    const std::size_t given = size / step;
    std::vector <float> x (static_cast <std::size_t> (n));
    std::uint64_t state = 0x9E3779B97F4A7C15ull ^ size;
    for (std::size_t m = 0; m < x.size (); ++ m)
    {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        x [m] = float (std::int32_t (state >> 32)) / 2147483648.0f;
        if (m < given || (given > 0 && (mode & 2) == 0))
        {
            std::int16_t w = 0;
            std::memcpy (step == 4 ? static_cast <void *> (&x [m]) : &w, data + m % given * step, step);
            x [m] = step == 4 ? x [m] : float (w) / 32768.0f;
        }
    }
    return x;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t *data, std::size_t size)
{
    if (size < 2)
    {
        return 0;
    }
    const int bits = data [0] % (MAX_BITS + 1);
    const int n = 1 << bits;
    const std::vector <float> x = samples (n, data [1], data + 2, size - 2);
    static std::unique_ptr <FFTReal <float>> kept [MAX_BITS + 1];   // one object per length, for every input
    if (! kept [bits])
    {
        kept [bits] = std::make_unique <FFTReal <float>> (n);
    }
    const FFTReal <float> &fft = *kept [bits];
    std::vector <float> scratch (std::size_t (fft.scratch_length ()));
    const bool tame = std::all_of (x.begin (), x.end (), [n] (float v) {
        return std::isfinite (v) && std::fabs (double (v)) * n <= std::ldexp (1.0, 100);
    });
    for (bool fwd : { false, true })
    {
        const std::vector <float> y = qtest::transform (fft, fwd, x);
        if (tame)
        {
            // The 2-norm of the error within the bound times the reference's,
            // plus 4 n log2 n steps of the subnormal grid (2^-149).
            const std::vector <double> ref = qtest::reference <double> (fwd, x.data (), n);
            double err2 = 0, ref2 = 0;
            for (std::size_t i = 0; i < ref.size (); ++ i)
            {
                err2 += (y [i] - ref [i]) * (y [i] - ref [i]);
                ref2 += ref [i] * ref [i];
            }
            const double stages = std::max (1.0, std::log2 (double (n)));
            const double grid = 4.0 * n * stages * std::numeric_limits <float>::denorm_min ();
            expect (std::sqrt (err2) <= PER_STAGE * stages * std::sqrt (ref2) + grid, "error above the bound", fwd, n);
            expect (qtest::transform (fft, fwd, x, scratch.data ()) == y, "the scratch call differs", fwd, n);
        }
    }
    // Nothing of this input stays behind in the object.
    const std::vector <float> clean = qtest::random_signal <float> (n, 1);
    for (bool fwd : { false, true })
    {
        expect (qtest::transform (fft, fwd, clean) == qtest::transform (FFTReal <float> (n), fwd, clean),
                "a clean signal's transform changed", fwd, n);
    }
    return 0;
}
