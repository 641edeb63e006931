// Long-double references for the transform tests, and the error measures.

#ifndef QUARN_TESTS_REFERENCE_H
#define QUARN_TESTS_REFERENCE_H

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <random>
#include <utility>
#include <vector>

namespace qtest
{

using Real = long double;
using Cplx = std::complex <Real>;

constexpr Real PI_L = 3.141592653589793238462643383279502884L;

// Uniform samples in [-1, 1], reproducible from the seed.
template <class T = float>
std::vector <T> random_signal (int n, unsigned seed)
{
    std::mt19937 gen (seed);
    std::uniform_real_distribution <double> dist (-1.0, 1.0);
    std::vector <T> x (n);
    for (T &v : x)
    {
        v = static_cast <T> (dist (gen));
    }
    return x;
}

// The packed spectrum of x by direct sums, O(n^2): f[k] = sum x cos and
// f[n/2 + k] = sum x sin of 2 pi k m / n, the angle reduced exactly.
template <class T>
std::vector <Real> packed_dft_direct (const T *x, int n)
{
    std::vector <Real> c (n);
    std::vector <Real> s (n);
    for (int j = 0; j < n; ++ j)
    {
        c [j] = std::cos (2 * PI_L * j / n);
        s [j] = std::sin (2 * PI_L * j / n);
    }
    std::vector <Real> f (n);
    for (int pos = 0; pos < n; ++ pos)
    {
        const bool imag = pos > n / 2;
        const std::int64_t k = imag ? pos - n / 2 : pos;
        for (int m = 0; m < n; ++ m)
        {
            const std::int64_t j = (k * m) & (n - 1);
            f [pos] += x [m] * (imag ? s [j] : c [j]);
        }
    }
    return f;
}

// sum a[m] e^(-2 pi i k m / n) in place: an iterative radix-2 FFT in long
// double, each twiddle computed directly.
inline void complex_dft_in_place (std::vector <Cplx> &a)
{
    const int n = static_cast <int> (a.size ());
    for (int i = 1, r = 0; i < n; ++ i)
    {
        int bit = n >> 1;
        for (; (r & bit) != 0; bit >>= 1)
        {
            r ^= bit;
        }
        r |= bit;
        if (i < r)
        {
            std::swap (a [i], a [r]);
        }
    }
    for (int len = 2; len <= n; len <<= 1)
    {
        for (int j = 0; j < len / 2; ++ j)
        {
            const Cplx w = std::polar (Real (1), -2 * PI_L * j / len);
            for (int start = 0; start < n; start += len)
            {
                const Cplx u = a [start + j];
                const Cplx v = a [start + j + len / 2] * w;
                a [start + j] = u + v;
                a [start + j + len / 2] = u - v;
            }
        }
    }
}

// The packed spectrum, f[k] = Re X[k] and f[n/2 + k] = -Im X[k]: O(n log n).
template <class T>
std::vector <Real> packed_dft_fast (const T *x, int n)
{
    std::vector <Cplx> a (x, x + n);
    complex_dft_in_place (a);
    std::vector <Real> f (n);
    for (int pos = 0; pos < n; ++ pos)
    {
        f [pos] = pos <= n / 2 ? a [pos].real () : -a [pos - n / 2].imag ();
    }
    return f;
}

// The unscaled inverse of a packed spectrum: the full Hermitian spectrum X,
// then x = conj (DFT (conj X)), which is real. O(n log n).
template <class T>
std::vector <Real> packed_idft_fast (const T *f, int n)
{
    const int h = n / 2;
    std::vector <Cplx> a (n);
    a [0] = Real (f [0]);
    a [h] = Real (f [h]);
    for (int k = 1; k < h; ++ k)
    {
        a [k] = Cplx (f [k], f [h + k]);             // conj X[k]
        a [n - k] = Cplx (f [k], -Real (f [h + k]));
    }
    complex_dft_in_place (a);
    std::vector <Real> x (n);
    for (int m = 0; m < n; ++ m)
    {
        x [m] = a [m].real ();
    }
    return x;
}

// Errors relative to a scale: the 2-norm of the error over scale2 (by
// default the reference's, which makes it the relative RMS error) and the
// largest error over scale_max (by default the largest reference magnitude).
struct Error
{
    double rel_rms = 0;
    double max_rel = 0;
    double err2 = 0;     // ||got - want||_2 itself
    double scale2 = 0;   // and its scale
};

template <class T, class R>
Error compare (const T *y, const std::vector <R> &ref, double scale2 = -1, double scale_max = -1)
{
    Real err2 = 0;
    Real ref2 = 0;
    Real max_err = 0;
    Real max_ref = 0;
    for (std::size_t i = 0; i < ref.size (); ++ i)
    {
        const Real e = std::fabs (Real (y [i]) - Real (ref [i]));
        err2 += e * e;
        ref2 += Real (ref [i]) * Real (ref [i]);
        max_err = std::max (max_err, e);
        max_ref = std::max (max_ref, std::fabs (Real (ref [i])));
    }
    Error r;
    r.err2 = double (std::sqrt (err2));
    r.scale2 = scale2 >= 0 ? scale2 : double (std::sqrt (ref2));
    scale_max = scale_max >= 0 ? scale_max : double (max_ref);
    r.rel_rms = r.scale2 > 0 ? r.err2 / r.scale2 : r.err2;
    r.max_rel = scale_max > 0 ? double (max_err) / scale_max : double (max_err);
    return r;
}

inline void keep_worst (Error &worst, const Error &e)
{
    worst.rel_rms = std::max (worst.rel_rms, e.rel_rms);
    worst.max_rel = std::max (worst.max_rel, e.max_rel);
}

}  // namespace qtest

#endif  // QUARN_TESTS_REFERENCE_H
