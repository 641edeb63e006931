// Long-double references for the transform tests, and error measures.

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

// cos and sin of 2 pi j / n for j = 0 .. n - 1.
inline void unit_circle (int n, std::vector <Real> &c, std::vector <Real> &s)
{
    c.resize (n);
    s.resize (n);
    for (int j = 0; j < n; ++ j)
    {
        const Real a = 2 * PI_L * j / n;
        c [j] = std::cos (a);
        s [j] = std::sin (a);
    }
}

// Element `pos` of the packed spectrum of x (length n, a power of two),
// by direct summation: O(n).
template <class T>
Real packed_bin_direct (const T *x, int n, int pos,
                        const std::vector <Real> &c, const std::vector <Real> &s)
{
    const bool imag = pos > n / 2;
    const std::uint64_t k = imag ? pos - n / 2 : pos;
    const std::uint64_t mask = static_cast <std::uint64_t> (n) - 1;
    Real sum = 0;
    for (int m = 0; m < n; ++ m)
    {
        const std::uint64_t j = (k * m) & mask;
        sum += x [m] * (imag ? s [j] : c [j]);
    }
    return sum;
}

// The whole packed spectrum by direct summation: O(n^2).
template <class T>
std::vector <Real> packed_dft_direct (const T *x, int n)
{
    std::vector <Real> c;
    std::vector <Real> s;
    unit_circle (n, c, s);
    std::vector <Real> f (n);
    for (int pos = 0; pos < n; ++ pos)
    {
        f [pos] = packed_bin_direct (x, n, pos, c, s);
    }
    return f;
}

// The DFT of a complex sequence, sum a[m] e^(-2 pi i k m / n), in place, by
// an iterative radix-2 FFT in long double, each twiddle computed directly.
inline void complex_dft_in_place (std::vector <std::complex <Real>> &a)
{
    const int n = static_cast <int> (a.size ());
    int bits = 0;
    while ((1 << bits) < n)
    {
        ++ bits;
    }
    for (int i = 0; i < n; ++ i)
    {
        int r = 0;
        for (int b = 0; b < bits; ++ b)
        {
            r |= ((i >> b) & 1) << (bits - 1 - b);
        }
        if (i < r)
        {
            std::swap (a [i], a [r]);
        }
    }
    std::vector <Real> c;
    std::vector <Real> s;
    unit_circle (n, c, s);
    for (int len = 2; len <= n; len <<= 1)
    {
        const int half = len / 2;
        const int step = n / len;
        for (int start = 0; start < n; start += len)
        {
            for (int j = 0; j < half; ++ j)
            {
                const std::complex <Real> w (c [j * step], -s [j * step]);
                const std::complex <Real> u = a [start + j];
                const std::complex <Real> v = a [start + j + half] * w;
                a [start + j] = u + v;
                a [start + j + half] = u - v;
            }
        }
    }
}

// The usual complex DFT X[k] = sum x[m] e^(-2 pi i k m / n), k = 0 .. n - 1,
// of real samples: O(n log n).
template <class T>
std::vector <std::complex <Real>> complex_dft_fast (const T *x, int n)
{
    std::vector <std::complex <Real>> a (x, x + n);
    complex_dft_in_place (a);
    return a;
}

// The packed spectrum through complex_dft_fast: O(n log n).
template <class T>
std::vector <Real> packed_dft_fast (const T *x, int n)
{
    if (n == 1)
    {
        return { Real (x [0]) };
    }
    const std::vector <std::complex <Real>> a = complex_dft_fast (x, n);
    std::vector <Real> f (n);
    for (int k = 0; k <= n / 2; ++ k)
    {
        f [k] = a [k].real ();
    }
    for (int k = 1; k < n / 2; ++ k)
    {
        f [n / 2 + k] = -a [k].imag ();
    }
    return f;
}

// The unscaled inverse of a packed spectrum f (length n, a power of two):
// x[m] = f[0] + (-1)^m f[n/2] + 2 sum (f[k] cos + f[n/2 + k] sin)(2 pi k m / n),
// k = 1 .. n/2 - 1, by direct summation: O(n^2).
template <class T>
std::vector <Real> packed_idft_direct (const T *f, int n)
{
    if (n == 1)
    {
        return { Real (f [0]) };
    }
    std::vector <Real> c;
    std::vector <Real> s;
    unit_circle (n, c, s);
    const int h = n / 2;
    const std::uint64_t mask = static_cast <std::uint64_t> (n) - 1;
    std::vector <Real> x (n);
    for (int m = 0; m < n; ++ m)
    {
        Real sum = 0;
        for (int k = 1; k < h; ++ k)
        {
            const std::uint64_t j = (std::uint64_t (k) * m) & mask;
            sum += Real (f [k]) * c [j] + Real (f [h + k]) * s [j];
        }
        x [m] = f [0] + ((m & 1) != 0 ? -Real (f [h]) : Real (f [h])) + 2 * sum;
    }
    return x;
}

// The same inverse through the long-double FFT: the full Hermitian spectrum
// X, then x = conj (DFT (conj X)). O(n log n).
template <class T>
std::vector <Real> packed_idft_fast (const T *f, int n)
{
    if (n == 1)
    {
        return { Real (f [0]) };
    }
    const int h = n / 2;
    std::vector <std::complex <Real>> a (n);
    a [0] = Real (f [0]);
    a [h] = Real (f [h]);
    for (int k = 1; k < h; ++ k)
    {
        // X[k] = f[k] - i f[h + k]; conj X[k] goes to k, X[k] to n - k.
        a [k] = std::complex <Real> (f [k], f [h + k]);
        a [n - k] = std::complex <Real> (f [k], -Real (f [h + k]));
    }
    complex_dft_in_place (a);
    std::vector <Real> x (n);
    for (int m = 0; m < n; ++ m)
    {
        x [m] = a [m].real ();
    }
    return x;
}

// Errors relative to the output's scale: RMS of the error over RMS of the
// reference, and the largest error over the largest reference magnitude.
struct Error
{
    double rel_rms = 0;
    double max_rel = 0;
};

template <class T>
Error compare (const T *y, const std::vector <Real> &ref)
{
    Real err2 = 0;
    Real ref2 = 0;
    Real max_err = 0;
    Real max_ref = 0;
    for (std::size_t i = 0; i < ref.size (); ++ i)
    {
        const Real e = std::fabs (Real (y [i]) - ref [i]);
        err2 += e * e;
        ref2 += ref [i] * ref [i];
        max_err = std::max (max_err, e);
        max_ref = std::max (max_ref, std::fabs (ref [i]));
    }
    Error r;
    r.rel_rms = ref2 > 0 ? double (std::sqrt (err2 / ref2)) : double (std::sqrt (err2));
    r.max_rel = max_ref > 0 ? double (max_err / max_ref) : double (max_err);
    return r;
}

}  // namespace qtest

#endif  // QUARN_TESTS_REFERENCE_H
