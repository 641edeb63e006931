// A client of quarn: a round trip in float and in double through the
// complex view. Exits with 0 when the results are right.

#include <quarn/FFTReal.h>
#include <quarn/FFTRealComplex.h>

#include <cmath>
#include <complex>
#include <cstdio>
#include <vector>

template <class T>
double round_trip_error (int n)
{
    const quarn::FFTReal <T> fft (n);
    std::vector <T> x (n);
    for (int m = 0; m < n; ++ m)
    {
        x [m] = T (std::sin (0.1 * m * m));
    }
    std::vector <T> f (n);
    std::vector <std::complex <T>> z (n / 2 + 1);
    std::vector <T> y (n);

    fft.forward (f.data (), x.data ());
    quarn::FFTReal_packed_to_complex (z.data (), f.data (), n);
    quarn::FFTReal_complex_to_packed (f.data (), z.data (), n);
    fft.backward (y.data (), f.data ());
    fft.rescale (y.data ());

    double worst = 0;
    for (int m = 0; m < n; ++ m)
    {
        worst = std::fmax (worst, std::fabs (double (y [m]) - double (x [m])));
    }
    return worst;
}

int main ()
{
    const double e_float = round_trip_error <float> (1 << 14);
    const double e_double = round_trip_error <double> (1 << 14);
    std::printf ("round trip, largest error: float %.3g, double %.3g\n", e_float, e_double);
    return (e_float < 1e-5 && e_double < 1e-13) ? 0 : 1;
}
