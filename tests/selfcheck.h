// Self-checks that need no reference transform: linearity, impulse responses
// and time shifts, for forward and backward alike. Used by the self-check
// tests and by the fuzz target.
//
// Every check returns the error of what the transform gave against what the
// property says it must give, relative to the scale of the output:
//     rel2      ||got - want||_2 / scale_2
//     max_rel   max |got - want| / scale_max
// The expected values are formed in double from the transform's own float
// outputs (linearity, shift) or from exact cosines (impulses), so they add
// no error worth counting.

#ifndef QUARN_TESTS_SELFCHECK_H
#define QUARN_TESTS_SELFCHECK_H

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace qtest
{

enum class Dir { FORWARD, BACKWARD };

inline const char * dir_name (Dir dir)
{
    return dir == Dir::FORWARD ? "forward" : "backward";
}

// u, the unit roundoff of float: 2^-24.
constexpr double FLOAT_U = 5.9604644775390625e-08;

// The error bound the checks are held to: a transform of 2^bits points may
// lose `per_stage` units of roundoff per radix-2 stage, relative to the
// 2-norm of its output. Rounding the twiddles and the butterflies costs a
// few u per stage in the worst case (about 5 u), far less on average.
inline double stage_bound (int n, double per_stage)
{
    int bits = 0;
    while ((1 << bits) < n)
    {
        ++ bits;
    }
    return per_stage * FLOAT_U * std::max (bits, 1);
}

struct Deviation
{
    double rel2 = 0;
    double max_rel = 0;
    double err2 = 0;     // ||got - want||_2 itself
    double scale2 = 0;   // and its scale
};

template <class Fft>
void apply (const Fft &fft, Dir dir, float out [], const float in [])
{
    if (dir == Dir::FORWARD)
    {
        fft.forward (out, in);
    }
    else
    {
        fft.backward (out, in);
    }
}

template <class T>
double norm2 (const std::vector <T> &v)
{
    double s = 0;
    for (T e : v)
    {
        s += double (e) * double (e);
    }
    return std::sqrt (s);
}

template <class T>
double norm_max (const std::vector <T> &v)
{
    double m = 0;
    for (T e : v)
    {
        m = std::max (m, std::fabs (double (e)));
    }
    return m;
}

inline Deviation deviation (const std::vector <float> &got, const std::vector <double> &want,
                            double scale_2, double scale_max)
{
    double e2 = 0;
    double emax = 0;
    for (std::size_t i = 0; i < want.size (); ++ i)
    {
        const double e = std::fabs (double (got [i]) - want [i]);
        e2 += e * e;
        emax = std::max (emax, e);
    }
    Deviation d;
    d.err2 = std::sqrt (e2);
    d.scale2 = scale_2;
    d.rel2 = scale_2 > 0 ? d.err2 / scale_2 : d.err2;
    d.max_rel = scale_max > 0 ? emax / scale_max : emax;
    return d;
}

// cos and sin of 2 pi j / n, the angle reduced exactly first.
inline void unit_phasor (std::int64_t j, int n, double &c, double &s)
{
    const std::int64_t r = ((j % n) + n) % n;
    const double a = 2 * 3.14159265358979323846 * double (r) / double (n);
    c = std::cos (a);
    s = std::sin (a);
}

// The circular delay y[m] = x[(m - s) mod n].
template <class T>
std::vector <T> delayed (const std::vector <T> &x, int s)
{
    const int n = static_cast <int> (x.size ());
    std::vector <T> y (n);
    for (int m = 0; m < n; ++ m)
    {
        y [((m + s) % n + n) % n] = x [m];
    }
    return y;
}

// The packed spectrum of x delayed by s, from the packed spectrum f of x:
// bin k turns by e^(-2 pi i k s / n). With a = Re X[k] = f[k] and
// g = -Im X[k] = f[n/2 + k]: a' = a cos - g sin, g' = g cos + a sin.
inline std::vector <double> spectrum_delayed (const std::vector <float> &f, int s)
{
    const int n = static_cast <int> (f.size ());
    std::vector <double> out (f.begin (), f.end ());
    if (n >= 2)
    {
        const int h = n / 2;
        out [h] = (s % 2 != 0) ? -double (f [h]) : double (f [h]);
        for (int k = 1; k < h; ++ k)
        {
            double c;
            double sn;
            unit_phasor (std::int64_t (k) * s, n, c, sn);
            const double a = f [k];
            const double g = f [h + k];
            out [k] = a * c - g * sn;
            out [h + k] = g * c + a * sn;
        }
    }
    return out;
}

// Linearity: T (a x + b y) against a T (x) + b T (y), relative to
// |a| |T (x)| + |b| |T (y)|, which also covers the rounding of a x + b y.
template <class Fft>
Deviation check_linearity (const Fft &fft, Dir dir, const std::vector <float> &x,
                           const std::vector <float> &y, float a, float b)
{
    const std::size_t n = x.size ();
    std::vector <float> z (n);
    for (std::size_t i = 0; i < n; ++ i)
    {
        z [i] = a * x [i] + b * y [i];
    }
    std::vector <float> tx (n);
    std::vector <float> ty (n);
    std::vector <float> tz (n);
    apply (fft, dir, tx.data (), x.data ());
    apply (fft, dir, ty.data (), y.data ());
    apply (fft, dir, tz.data (), z.data ());

    std::vector <double> want (n);
    for (std::size_t i = 0; i < n; ++ i)
    {
        want [i] = double (a) * tx [i] + double (b) * ty [i];
    }
    const double fa = std::fabs (a);
    const double fb = std::fabs (b);
    return deviation (tz, want, fa * norm2 (tx) + fb * norm2 (ty),
                      fa * norm_max (tx) + fb * norm_max (ty));
}

// What a unit impulse at `pos` must give. Forward, an impulse at sample p:
// f[k] = cos (2 pi k p / n), f[n/2 + k] = sin (2 pi k p / n). Backward, a
// unit in element j of the packed spectrum: 1 for j = 0, (-1)^m for
// j = n/2, 2 cos (2 pi j m / n) for a real element j < n/2 and
// 2 sin (2 pi k m / n) for the imaginary element j = n/2 + k.
inline std::vector <double> impulse_response (Dir dir, int n, int pos)
{
    std::vector <double> want (n);
    const int h = n / 2;
    if (n == 1)
    {
        want [0] = 1;
        return want;
    }
    if (dir == Dir::FORWARD)
    {
        for (int k = 0; k <= h; ++ k)
        {
            double c;
            double s;
            unit_phasor (std::int64_t (k) * pos, n, c, s);
            want [k] = c;
            if (k > 0 && k < h)
            {
                want [h + k] = s;
            }
        }
        return want;
    }
    for (int m = 0; m < n; ++ m)
    {
        if (pos == 0)
        {
            want [m] = 1;
        }
        else if (pos == h)
        {
            want [m] = (m % 2 == 0) ? 1 : -1;
        }
        else
        {
            double c;
            double s;
            unit_phasor (std::int64_t (pos < h ? pos : pos - h) * m, n, c, s);
            want [m] = 2 * (pos < h ? c : s);
        }
    }
    return want;
}

// Impulse response: a unit at `pos` against the closed form above.
template <class Fft>
Deviation check_impulse (const Fft &fft, Dir dir, int n, int pos)
{
    std::vector <float> in (n, 0.0f);
    in [pos] = 1;
    std::vector <float> out (n);
    apply (fft, dir, out.data (), in.data ());
    const std::vector <double> want = impulse_response (dir, n, pos);
    return deviation (out, want, norm2 (want), norm_max (want));
}

// Time shift. Forward: T (x delayed by s) against T (x) with every bin
// turned by e^(-2 pi i k s / n). Backward: the turned spectrum (rounded to
// float) must come back as T (f) delayed by s.
template <class Fft>
Deviation check_shift (const Fft &fft, Dir dir, const std::vector <float> &in, int s)
{
    const std::size_t n = in.size ();
    std::vector <float> t (n);
    std::vector <float> ts (n);
    apply (fft, dir, t.data (), in.data ());
    std::vector <double> want;
    if (dir == Dir::FORWARD)
    {
        const std::vector <float> moved = delayed (in, s);
        apply (fft, dir, ts.data (), moved.data ());
        want = spectrum_delayed (t, s);
    }
    else
    {
        const std::vector <double> turned = spectrum_delayed (in, s);
        const std::vector <float> turned_f (turned.begin (), turned.end ());
        apply (fft, dir, ts.data (), turned_f.data ());
        const std::vector <float> moved = delayed (t, s);
        want.assign (moved.begin (), moved.end ());
    }
    return deviation (ts, want, norm2 (t), norm_max (t));
}

// The three checks on one object, over a set of cases drawn from `seed`:
// linearity with two pairs of signals, impulses at the ends, the middle and
// a random place, delays of 1, n/2 and a random amount. Gives the worst
// deviation of each kind.
struct SelfCheckReport
{
    Deviation linearity;
    Deviation impulse;
    Deviation shift;
};

inline void keep_worst (Deviation &worst, const Deviation &d)
{
    if (d.rel2 > worst.rel2)
    {
        worst.rel2 = d.rel2;
        worst.err2 = d.err2;
        worst.scale2 = d.scale2;
    }
    worst.max_rel = std::max (worst.max_rel, d.max_rel);
}

template <class Fft>
SelfCheckReport self_check (const Fft &fft, Dir dir, int n, unsigned seed)
{
    std::mt19937 gen (seed);
    std::uniform_real_distribution <float> coef (-2.0f, 2.0f);
    std::uniform_int_distribution <int> place (0, n - 1);
    auto signal = [&] {
        std::uniform_real_distribution <double> dist (-1.0, 1.0);
        std::vector <float> v (n);
        for (float &e : v)
        {
            e = static_cast <float> (dist (gen));
        }
        return v;
    };

    SelfCheckReport r;
    for (int rep = 0; rep < 2; ++ rep)
    {
        const std::vector <float> x = signal ();
        const std::vector <float> y = signal ();
        keep_worst (r.linearity, check_linearity (fft, dir, x, y, coef (gen), coef (gen)));
    }
    for (int pos : { 0, 1, n / 2, n - 1, place (gen) })
    {
        keep_worst (r.impulse, check_impulse (fft, dir, n, pos % n));
    }
    const std::vector <float> x = signal ();
    for (int s : { 1, n / 2, place (gen) })
    {
        keep_worst (r.shift, check_shift (fft, dir, x, s));
    }
    return r;
}

}  // namespace qtest

#endif  // QUARN_TESTS_SELFCHECK_H
