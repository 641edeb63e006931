// Fuzz target (libFuzzer): draws a length and samples from the input, runs
// forward, backward and rescale, and checks the round trip and the
// self-checks. Any violation aborts with a message.
//
// Input: byte 0 picks the length (2^0 to 2^15, so the phasor passes are
// reached), bytes 1 to 4 the knobs (how to read the samples, the impulse
// place, the delay, the linearity coefficients), the rest the samples. When
// the input holds fewer samples than the length, the rest repeats them or
// comes from a generator seeded by them.
//
// Numeric checks run only on finite samples with N max|x| <= 2^100, far
// from overflow: 2-norm errors within 8 u per stage relative to the output's
// scale (the transform stays near 0.5), plus an allowance for the subnormal
// grid. Non-finite or huge samples are still transformed, and afterwards the
// object must give a clean signal's transform bit for bit as when new.

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

struct Engine
{
    std::unique_ptr <FFTReal <float>> fft;
    std::vector <float> clean;        // a fixed signal
    std::vector <float> clean_fwd;    // its transforms by the new object
    std::vector <float> clean_bwd;
};

// One object per length, kept across runs: later runs find it after
// whatever earlier inputs did to it.
Engine & engine (int bits)
{
    static Engine engines [MAX_BITS + 1];
    Engine &e = engines [bits];
    if (! e.fft)
    {
        const int n = 1 << bits;
        e.fft = std::make_unique <FFTReal <float>> (n);
        e.clean.resize (n);
        for (int m = 0; m < n; ++ m)
        {
            e.clean [m] = float (std::sin (0.37 * m) + 0.25 * std::cos (1.9 * m));
        }
        e.clean_fwd.resize (n);
        e.clean_bwd.resize (n);
        e.fft->forward (e.clean_fwd.data (), e.clean.data ());
        e.fft->backward (e.clean_bwd.data (), e.clean.data ());
    }
    return e;
}

[[noreturn]] void fail (const char *what, int n, const qtest::Deviation &d, double bound)
{
    std::fprintf (stderr, "quarn fuzz: %s failed at n = %d: error %.6g, scale %.6g, "
                  "relative %.6g, bound %.6g\n", what, n, d.err2, d.scale2, d.rel2, bound);
    std::abort ();
}

// A 2-norm error within the relative bound, plus what rounding to the
// subnormal grid (steps of 2^-149) may add: 4 n log2 n steps in the 2-norm
// (the odd-data tests see at most 0.4 sqrt (n) log2 n in one element).
void expect_within (const char *what, int n, const qtest::Deviation &d, double per_stage)
{
    const double bound = qtest::stage_bound (n, per_stage);
    const double grid = 4.0 * n * std::max (1.0, std::log2 (double (n)))
                      * std::numeric_limits <float>::denorm_min ();
    if (! (d.err2 <= bound * d.scale2 + grid))
    {
        fail (what, n, d, bound);
    }
}

std::uint32_t read_u32 (const std::uint8_t *p)
{
    std::uint32_t v;
    std::memcpy (&v, p, sizeof (v));
    return v;
}

// The samples: mode 0 reads raw floats (any bit pattern: NaN, infinities,
// subnormals, huge values), mode 1 16-bit integers over 32768, mode 2 and 3
// the same as 0 and 1 with the missing samples from a generator.
std::vector <float> samples (int n, unsigned mode, const std::uint8_t *data, std::size_t size)
{
    std::vector <float> given;
    if ((mode & 1) == 0)
    {
        for (std::size_t i = 0; i + 4 <= size; i += 4)
        {
            float v;
            std::memcpy (&v, data + i, sizeof (v));
            given.push_back (v);
        }
    }
    else
    {
        for (std::size_t i = 0; i + 2 <= size; i += 2)
        {
            std::int16_t v;
            std::memcpy (&v, data + i, sizeof (v));
            given.push_back (float (v) / 32768.0f);
        }
    }
    std::vector <float> x (n, 0.0f);
    std::uint64_t state = 0x9E3779B97F4A7C15ull ^ size;
    for (int m = 0; m < n; ++ m)
    {
        if (std::size_t (m) < given.size ())
        {
            x [m] = given [m];
        }
        else if (! given.empty () && (mode & 2) == 0)
        {
            x [m] = given [m % given.size ()];
        }
        else
        {
            state = state * 6364136223846793005ull + 1442695040888963407ull;
            x [m] = float (std::int32_t (state >> 32)) / 2147483648.0f;
        }
    }
    return x;
}

void check_numerics (const FFTReal <float> &fft, int n, const std::vector <float> &x,
                     std::uint32_t knobs)
{
    // Round trip: rescale (backward (forward (x))) gives x back.
    std::vector <float> f (n);
    std::vector <float> y (n);
    fft.forward (f.data (), x.data ());
    fft.backward (y.data (), f.data ());
    fft.rescale (y.data ());
    const std::vector <double> want (x.begin (), x.end ());
    const double scale = qtest::norm2 (x);
    expect_within ("round trip", n, qtest::deviation (y, want, scale, qtest::norm_max (x)),
                   2 * PER_STAGE);

    // The second signal for linearity: x reversed, so that both come from
    // the input.
    const std::vector <float> x2 (x.rbegin (), x.rend ());
    const float a = float (int (knobs & 0xF) - 8) / 4.0f;
    const float b = float (int ((knobs >> 4) & 0xF) - 7) / 8.0f;
    const int pos = int ((knobs >> 8) % unsigned (n));
    const int shift = int ((knobs >> 16) % unsigned (n));
    for (Dir dir : { Dir::FORWARD, Dir::BACKWARD })
    {
        const bool fwd = dir == Dir::FORWARD;
        expect_within (fwd ? "forward linearity" : "backward linearity", n,
                       qtest::check_linearity (fft, dir, x, x2, a, b), PER_STAGE);
        expect_within (fwd ? "forward impulse" : "backward impulse", n,
                       qtest::check_impulse (fft, dir, n, pos), PER_STAGE);
        expect_within (fwd ? "forward time shift" : "backward time shift", n,
                       qtest::check_shift (fft, dir, x, shift), PER_STAGE);
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
    const std::uint32_t knobs = read_u32 (data + 1);
    const std::vector <float> x = samples (n, knobs >> 28, data + 5, size - 5);

    Engine &e = engine (bits);
    const FFTReal <float> &fft = *e.fft;

    bool finite = true;
    double max_abs = 0;
    for (float v : x)
    {
        finite = finite && std::isfinite (v);
        max_abs = std::max (max_abs, std::fabs (double (v)));
    }

    if (finite && max_abs * n <= std::ldexp (1.0, 100))
    {
        check_numerics (fft, n, x, knobs);
    }
    else
    {
        // Whatever the values, both directions run to the end.
        std::vector <float> f (n);
        std::vector <float> y (n);
        fft.forward (f.data (), x.data ());
        fft.backward (y.data (), x.data ());
        fft.rescale (y.data ());
    }

    // Nothing of this input stays behind in the object.
    std::vector <float> out (n);
    fft.forward (out.data (), e.clean.data ());
    if (std::memcmp (out.data (), e.clean_fwd.data (), n * sizeof (float)) != 0)
    {
        std::fprintf (stderr, "quarn fuzz: forward of a clean signal changed, n = %d\n", n);
        std::abort ();
    }
    fft.backward (out.data (), e.clean.data ());
    if (std::memcmp (out.data (), e.clean_bwd.data (), n * sizeof (float)) != 0)
    {
        std::fprintf (stderr, "quarn fuzz: backward of a clean signal changed, n = %d\n", n);
        std::abort ();
    }
    return 0;
}
