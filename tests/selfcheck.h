// Self-checks that need no reference transform (linearity, impulse responses,
// time shifts), for the tests and the fuzz target: each gives the error
// against what the property demands, formed in double from the transform's
// own outputs or exact cosines, relative to the output's scale.

#ifndef QUARN_TESTS_SELFCHECK_H
#define QUARN_TESTS_SELFCHECK_H

#include "quarn/FFTReal.h"
#include "reference.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <random>
#include <vector>

namespace qtest
{

enum class Dir { FORWARD, BACKWARD };

inline const char * dir_name (Dir dir)
{
    return dir == Dir::FORWARD ? "forward" : "backward";
}

// `per_stage` units of float roundoff (u = 2^-24) per radix-2 stage of n.
inline double stage_bound (int n, double per_stage)
{
    return per_stage * 5.9604644775390625e-08 * std::max (1.0, std::log2 (double (n)));
}

template <class Fft>
std::vector <float> transformed (const Fft &fft, Dir dir, const std::vector <float> &in)
{
    std::vector <float> out (in.size ());
    dir == Dir::FORWARD ? fft.forward (out.data (), in.data ()) : fft.backward (out.data (), in.data ());
    return out;
}

// The 2-norm and the largest magnitude.
struct Norms
{
    double two = 0;
    double max = 0;
};

template <class T>
Norms norms (const std::vector <T> &v)
{
    Norms r;
    for (T e : v)
    {
        r.two += double (e) * double (e);
        r.max = std::max (r.max, std::fabs (double (e)));
    }
    r.two = std::sqrt (r.two);
    return r;
}

// e^(2 pi i j / n), the angle reduced exactly first.
inline std::complex <double> unit_phasor (std::int64_t j, int n)
{
    return std::polar (1.0, 2 * 3.14159265358979323846 * double (((j % n) + n) % n) / double (n));
}

// The circular delay y[m] = x[(m - s) mod n], 0 <= s.
template <class T>
std::vector <T> delayed (const std::vector <T> &x, int s)
{
    std::vector <T> y (x.size ());
    std::rotate_copy (x.begin (), x.end () - std::ptrdiff_t (s % x.size ()), x.end (), y.begin ());
    return y;
}

// The packed spectrum of x delayed by s, from that of x: bin k turns by
// e^(-2 pi i k s / n), so with a = f[k], g = f[n/2 + k] (= -Im X[k]):
// a' = a cos - g sin, g' = g cos + a sin.
inline std::vector <double> spectrum_delayed (const std::vector <float> &f, int s)
{
    const int n = static_cast <int> (f.size ());
    const int h = n / 2;
    std::vector <double> out (f.begin (), f.end ());
    if (n >= 2 && s % 2 != 0)
    {
        out [h] = -out [h];
    }
    for (int k = 1; k < h; ++ k)
    {
        const std::complex <double> w = unit_phasor (std::int64_t (k) * s, n);
        out [k] = f [k] * w.real () - f [h + k] * w.imag ();
        out [h + k] = f [h + k] * w.real () + f [k] * w.imag ();
    }
    return out;
}

// T (a x + b y) against a T (x) + b T (y), relative to |a| |T (x)| +
// |b| |T (y)|, which also covers the rounding of a x + b y.
template <class Fft>
Error check_linearity (const Fft &fft, Dir dir, const std::vector <float> &x,
                       const std::vector <float> &y, float a, float b)
{
    const std::size_t n = x.size ();
    std::vector <float> z (n);
    for (std::size_t i = 0; i < n; ++ i)
    {
        z [i] = a * x [i] + b * y [i];
    }
    const std::vector <float> tx = transformed (fft, dir, x);
    const std::vector <float> ty = transformed (fft, dir, y);
    const std::vector <float> tz = transformed (fft, dir, z);
    std::vector <double> want (n);
    for (std::size_t i = 0; i < n; ++ i)
    {
        want [i] = double (a) * tx [i] + double (b) * ty [i];
    }
    const Norms nx = norms (tx);
    const Norms ny = norms (ty);
    const double fa = std::fabs (a);
    const double fb = std::fabs (b);
    return compare (tz.data (), want, fa * nx.two + fb * ny.two, fa * nx.max + fb * ny.max);
}

// A unit at `pos` against its closed form. Forward, a sample at p:
// f[k] = cos, f[n/2 + k] = sin of 2 pi k p / n. Backward, element j of the
// spectrum: 1 for j = 0, (-1)^m for j = n/2, else 2 cos (2 pi j m / n), or
// 2 sin (2 pi k m / n) for j = n/2 + k.
template <class Fft>
Error check_impulse (const Fft &fft, Dir dir, int n, int pos)
{
    const int h = n / 2;
    std::vector <double> want (n, 1.0);
    for (int e = 0; e < n && n > 1; ++ e)
    {
        const bool fwd = dir == Dir::FORWARD;
        const int elem = fwd ? e : pos;
        const int k = elem > h ? elem - h : elem;
        const std::complex <double> w = unit_phasor (std::int64_t (k) * (fwd ? pos : e), n);
        want [e] = (fwd || k == 0 || k == h ? 1 : 2) * (elem > h ? w.imag () : w.real ());
    }
    std::vector <float> in (n, 0.0f);
    in [pos] = 1;
    return compare (transformed (fft, dir, in).data (), want);
}

// Forward: T (x delayed by s) against T (x) with every bin turned. Backward:
// the turned spectrum (rounded to float) must come back as T (f) delayed.
template <class Fft>
Error check_shift (const Fft &fft, Dir dir, const std::vector <float> &in, int s)
{
    const std::vector <float> t = transformed (fft, dir, in);
    std::vector <float> ts;
    std::vector <double> want;
    if (dir == Dir::FORWARD)
    {
        ts = transformed (fft, dir, delayed (in, s));
        want = spectrum_delayed (t, s);
    }
    else
    {
        const std::vector <double> turned = spectrum_delayed (in, s);
        ts = transformed (fft, dir, std::vector <float> (turned.begin (), turned.end ()));
        const std::vector <float> moved = delayed (t, s);
        want.assign (moved.begin (), moved.end ());
    }
    const Norms nt = norms (t);
    return compare (ts.data (), want, nt.two, nt.max);
}

// The three checks on one object: linearity with two pairs of signals,
// impulses at the ends, the middle and a random place, delays of 1, n/2 and
// a random amount. Gives the worst error over `bound`.
template <class Fft>
double self_check (const Fft &fft, Dir dir, int n, unsigned seed, double bound)
{
    std::mt19937 gen (seed);
    std::uniform_real_distribution <float> coef (-2.0f, 2.0f);
    std::uniform_int_distribution <int> place (0, n - 1);
    Error worst;
    for (int rep = 0; rep < 2; ++ rep)
    {
        const std::vector <float> x = random_signal (n, gen ());
        const std::vector <float> y = random_signal (n, gen ());
        keep_worst (worst, check_linearity (fft, dir, x, y, coef (gen), coef (gen)));
    }
    for (int pos : { 0, 1, n / 2, n - 1, place (gen) })
    {
        keep_worst (worst, check_impulse (fft, dir, n, pos % n));
    }
    const std::vector <float> x = random_signal (n, gen ());
    for (int s : { 1, n / 2, place (gen) })
    {
        keep_worst (worst, check_shift (fft, dir, x, s));
    }
    return std::max (worst.rel_rms, worst.max_rel) / bound;
}

// The self-checks of FFTReal <float> at every length 2^from .. 2^to, both
// directions, against 2 u per stage: the worst error over that bound, with
// the figures of each length printed when `verbose`.
inline double self_checks (int from, int to, bool verbose)
{
    double worst = 0;
    for (int bits = from; bits <= to; ++ bits)
    {
        const int n = 1 << bits;
        const quarn::FFTReal <float> fft (n);
        for (Dir dir : { Dir::FORWARD, Dir::BACKWARD })
        {
            const double r = self_check (fft, dir, n, 17 + bits, stage_bound (n, 2));
            if (verbose || r >= 1)
            {
                std::printf ("self-checks, N = 2^%d %s: worst error %.2f of the bound\n", bits, dir_name (dir), r);
            }
            worst = std::max (worst, r);
        }
    }
    return worst;
}

}  // namespace qtest

#endif  // QUARN_TESTS_SELFCHECK_H
