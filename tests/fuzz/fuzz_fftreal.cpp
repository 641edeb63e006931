// Fuzz target (libFuzzer): byte 0 picks the length (up to 2^15, so the
// phasor passes are reached), bytes 1 to 4 the knobs (sample format, impulse
// place, delay, linearity coefficients), the rest the samples, repeated or
// completed by a generator. Finite samples with N max|x| <= 2^100 must pass
// the round trip and the self-checks within 8 u per stage (the transform
// stays near 0.5) plus the subnormal grid; any samples, NaN and infinities
// included, must leave the object giving a clean signal's transforms bit for
// bit as when new. A violation aborts with a message.

#include "quarn/FFTReal.h"
#include "selfcheck.h"

#include <cmath>
#include <cstddef>
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
constexpr double PER_STAGE = 8;

using quarn::FFTReal;
using qtest::Dir;

// One object per length, kept across runs, with a clean signal and its
// transforms by the new object.
struct Engine
{
    std::unique_ptr <FFTReal <float>> fft;
    std::vector <float> clean;
    std::vector <float> clean_out [2];
};

Engine & engine (int bits)
{
    static Engine engines [MAX_BITS + 1];
    Engine &e = engines [bits];
    if (! e.fft)
    {
        const int n = 1 << bits;
        e.fft = std::make_unique <FFTReal <float>> (n);
        for (int m = 0; m < n; ++ m)
        {
            e.clean.push_back (float (std::sin (0.37 * m) + 0.25 * std::cos (1.9 * m)));
        }
        for (Dir dir : { Dir::FORWARD, Dir::BACKWARD })
        {
            e.clean_out [int (dir)] = qtest::transformed (*e.fft, dir, e.clean);
        }
    }
    return e;
}

// A 2-norm error within the bound, plus what rounding to the subnormal grid
// (steps of 2^-149) may add: 4 n log2 n steps.
void expect_within (const char *what, Dir dir, int n, const qtest::Error &d, double per_stage)
{
    const double bound = qtest::stage_bound (n, per_stage);
    const double grid = 4.0 * n * std::max (1.0, std::log2 (double (n)))
                      * std::numeric_limits <float>::denorm_min ();
    if (! (d.err2 <= bound * d.scale2 + grid))
    {
        std::fprintf (stderr, "quarn fuzz: %s %s failed at n = %d: error %.6g, scale %.6g, "
                      "relative %.6g, bound %.6g\n", qtest::dir_name (dir), what, n, d.err2,
                      d.scale2, d.rel_rms, bound);
        std::abort ();
    }
}

// Mode bit 0: raw floats (any bit pattern) or 16-bit integers over 32768;
// bit 1: the missing samples repeat the given ones or come from a generator.
std::vector <float> samples (int n, unsigned mode, const std::uint8_t *data, std::size_t size)
{
    std::vector <float> given;
    const std::size_t step = (mode & 1) == 0 ? 4 : 2;
    for (std::size_t i = 0; i + step <= size; i += step)
    {
        float v = 0;
        std::int16_t w = 0;
        std::memcpy (step == 4 ? static_cast <void *> (&v) : &w, data + i, step);
        given.push_back (step == 4 ? v : float (w) / 32768.0f);
    }
    std::vector <float> x (n);
    std::uint64_t state = 0x9E3779B97F4A7C15ull ^ size;
    for (int m = 0; m < n; ++ m)
    {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        x [m] = std::size_t (m) < given.size () ? given [m]
              : ! given.empty () && (mode & 2) == 0 ? given [m % given.size ()]
              : float (std::int32_t (state >> 32)) / 2147483648.0f;
    }
    return x;
}

void check_numerics (const FFTReal <float> &fft, int n, const std::vector <float> &x, std::uint32_t knobs)
{
    std::vector <float> f (n);
    std::vector <float> y (n);
    fft.forward (f.data (), x.data ());
    fft.backward (y.data (), f.data ());
    fft.rescale (y.data ());
    const qtest::Norms nx = qtest::norms (x);
    expect_within ("round trip", Dir::FORWARD, n, qtest::compare (y.data (), x, nx.two, nx.max), 2 * PER_STAGE);

    // Linearity with x reversed, so that both signals come from the input.
    const std::vector <float> x2 (x.rbegin (), x.rend ());
    const float a = float (int (knobs & 0xF) - 8) / 4.0f;
    const float b = float (int ((knobs >> 4) & 0xF) - 7) / 8.0f;
    const int pos = int ((knobs >> 8) % unsigned (n));
    const int shift = int ((knobs >> 16) % unsigned (n));
    for (Dir dir : { Dir::FORWARD, Dir::BACKWARD })
    {
        expect_within ("linearity", dir, n, qtest::check_linearity (fft, dir, x, x2, a, b), PER_STAGE);
        expect_within ("impulse", dir, n, qtest::check_impulse (fft, dir, n, pos), PER_STAGE);
        expect_within ("time shift", dir, n, qtest::check_shift (fft, dir, x, shift), PER_STAGE);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t *data, std::size_t size)
{
    if (size < 5)
    {
        return 0;
    }
    const int bits = data [0] % (MAX_BITS + 1);
    const int n = 1 << bits;
    std::uint32_t knobs;
    std::memcpy (&knobs, data + 1, sizeof (knobs));
    const std::vector <float> x = samples (n, knobs >> 28, data + 5, size - 5);
    Engine &e = engine (bits);

    bool finite = true;
    double max_abs = 0;
    for (float v : x)
    {
        finite = finite && std::isfinite (v);
        max_abs = std::max (max_abs, std::fabs (double (v)));
    }
    std::vector <float> out (n);
    if (finite && max_abs * n <= std::ldexp (1.0, 100))
    {
        check_numerics (*e.fft, n, x, knobs);
    }
    else
    {
        e.fft->forward (out.data (), x.data ());
        e.fft->backward (out.data (), x.data ());
        e.fft->rescale (out.data ());
    }

    // Nothing of this input stays behind in the object.
    for (Dir dir : { Dir::FORWARD, Dir::BACKWARD })
    {
        out = qtest::transformed (*e.fft, dir, e.clean);
        if (std::memcmp (out.data (), e.clean_out [int (dir)].data (), n * sizeof (float)) != 0)
        {
            std::fprintf (stderr, "quarn fuzz: %s of a clean signal changed, n = %d\n", qtest::dir_name (dir), n);
            std::abort ();
        }
    }
    return 0;
}
