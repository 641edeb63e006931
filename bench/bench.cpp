// quarn_bench: times quarn's real transforms beside FFTW's and KissFFT's,
// float data, one thread, and measures their accuracy and plan memory.
//
//     quarn_bench [--min-bits A] [--max-bits B] [--big] [--rounds R]
//                 [--processes P] [--batch-ms T] [--quick]
//                 [--md FILE] [--plot-data FILE] [--readme FILE] [--worker]
//
// How it times: for each length N every library gets its plan (or object)
// and its own buffers from fftwf_malloc. A warm-up sizes each library's batch
// of calls to about T ms. Then R rounds run; in each round every library
// times one batch in turn (after one untimed call that warms its caches),
// starting with a different library each round, so that a noisy machine
// slows them all alike. A library's figure for N is the
// median over the rounds of ns per call. The whole run is repeated in P
// separate processes (each plans afresh) and the report takes the median of
// the P medians.
//
// Before timing, each library's output for N is checked against quarn's and
// against a double-precision reference (after conversion to the same complex
// bins); a mismatch ends the run with an error, so that a layout or sign
// mistake cannot pass unnoticed.
//
// `make bench` (bench/run.sh) runs it with --md docs/benchmarks.md,
// --plot-data for gnuplot and --readme README.md.

#include "quarn/FFTReal.h"

#include <fftw3.h>
#include <kiss_fftr.h>

#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace
{

// ---- Settings --------------------------------------------------------------

constexpr int DEFAULT_MIN_BITS = 4;
constexpr int DEFAULT_MAX_BITS = 20;
constexpr int BIG_BITS [] = { 22, 24 };        // behind --big
constexpr int DETAIL_BITS [] = { 10, 16, 20, 24 };  // accuracy and memory
constexpr int HEADLINE_BITS [] = { 4, 8, 12, 16, 20, 24 };  // README table

// Largest difference allowed between two libraries' outputs, relative to the
// largest output magnitude. Float rounding stays below 1e-5 up to 2^24; a
// layout or sign mistake is of the order of 1.
constexpr double MATCH_TOLERANCE = 1e-4;

// The double-precision reference against long-double direct sums, relative
// to the sum of the input magnitudes (a bound on every output).
constexpr double REFERENCE_TOLERANCE = 1e-12;

struct Options
{
    int _min_bits = DEFAULT_MIN_BITS;
    int _max_bits = DEFAULT_MAX_BITS;
    bool _big = false;
    int _rounds = 31;
    int _processes = 3;
    double _batch_ms = 0.5;
    bool _worker = false;
    std::string _md_path;
    std::string _plot_path;
    std::string _readme_path;
    std::string _raw_path;
};

[[noreturn]] void fail (const std::string &msg)
{
    std::fflush (stdout);
    std::fprintf (stderr, "\nquarn_bench: %s\n", msg.c_str ());
    std::exit (1);
}

std::string fmt (const char *format, double v)
{
    char buf [64];
    std::snprintf (buf, sizeof (buf), format, v);
    return buf;
}

std::vector <int> bits_list (const Options &opt)
{
    std::vector <int> list;
    for (int b = opt._min_bits; b <= opt._max_bits; ++ b)
    {
        list.push_back (b);
    }
    if (opt._big)
    {
        for (int b : BIG_BITS)
        {
            if (b > opt._max_bits)
            {
                list.push_back (b);
            }
        }
    }
    return list;
}

bool is_detail_bits (int bits)
{
    return std::find (std::begin (DETAIL_BITS), std::end (DETAIL_BITS), bits)
           != std::end (DETAIL_BITS);
}

// ---- Layouts ---------------------------------------------------------------

// Every library's spectrum is converted to bins 0 .. N/2 of the usual DFT
// X[k] = sum x[m] e^(-2 pi i k m / N) before any comparison.
using Spectrum = std::vector <std::complex <double>>;

enum class Layout
{
    SIGNAL,       // N reals
    PACKED,       // quarn: Re X[0 .. N/2], then -Im X[1 .. N/2-1]
    HALFCOMPLEX,  // FFTW R2HC: Re X[0 .. N/2], then Im X[N/2-1 .. 1]
    COMPLEX       // FFTW r2c, KissFFT: (Re, Im) X[0 .. N/2] interleaved
};

int layout_floats (Layout layout, int n)
{
    return (layout == Layout::COMPLEX) ? 2 * (n / 2 + 1) : n;
}

Spectrum read_spectrum (Layout layout, int n, const float *a)
{
    const int h = n / 2;
    Spectrum s (h + 1);
    for (int k = 0; k <= h; ++ k)
    {
        const bool real_bin = (k == 0 || k == h);
        switch (layout)
        {
        case Layout::PACKED:
            s [k] = { a [k], real_bin ? 0.0 : -double (a [h + k]) };
            break;
        case Layout::HALFCOMPLEX:
            s [k] = { a [k], real_bin ? 0.0 : double (a [n - k]) };
            break;
        case Layout::COMPLEX:
            s [k] = { a [2 * k], a [2 * k + 1] };
            break;
        case Layout::SIGNAL:
            fail ("read_spectrum: not a spectrum layout");
        }
    }
    return s;
}

// Bins 0 and N/2 must be real (their imaginary parts are not stored).
void write_spectrum (Layout layout, int n, const Spectrum &s, float *a)
{
    const int h = n / 2;
    for (int k = 0; k <= h; ++ k)
    {
        const bool real_bin = (k == 0 || k == h);
        const float re = static_cast <float> (s [k].real ());
        const float im = static_cast <float> (s [k].imag ());
        switch (layout)
        {
        case Layout::PACKED:
            a [k] = re;
            if (! real_bin)
            {
                a [h + k] = -im;
            }
            break;
        case Layout::HALFCOMPLEX:
            a [k] = re;
            if (! real_bin)
            {
                a [n - k] = im;
            }
            break;
        case Layout::COMPLEX:
            a [2 * k] = re;
            a [2 * k + 1] = im;
            break;
        case Layout::SIGNAL:
            fail ("write_spectrum: not a spectrum layout");
        }
    }
}

// ---- Libraries -------------------------------------------------------------

// One library's transform in one direction, with its buffers. The buffers
// come from fftwf_malloc for every library alike and are not counted as plan
// memory; make_plan () builds what the library needs for N (counted).
class Case
{
public:
    Case (std::string key, std::string label, Layout in, Layout out)
    :   _key (std::move (key)), _label (std::move (label)), _in_layout (in), _out_layout (out)
    {
    }
    virtual ~Case ()
    {
        free_buffers ();
    }
    Case (const Case &) = delete;
    Case & operator = (const Case &) = delete;

    const std::string & key () const { return _key; }
    const std::string & label () const { return _label; }
    Layout in_layout () const { return _in_layout; }
    Layout out_layout () const { return _out_layout; }
    bool is_inverse () const { return _in_layout != Layout::SIGNAL; }
    float * input () { return _in; }
    const float * output () const { return _out; }

    void alloc_buffers (int n)
    {
        free_buffers ();
        _n = n;
        _in = alloc_floats (layout_floats (_in_layout, n));
        _out = alloc_floats (layout_floats (_out_layout, n));
    }

    void free_buffers ()
    {
        fftwf_free (_in);
        fftwf_free (_out);
        _in = nullptr;
        _out = nullptr;
    }

    virtual void make_plan () = 0;
    virtual void free_plan () = 0;

    // `count` transforms of the input buffer into the output buffer.
    virtual void run (long count) = 0;

    // The library's own figure for the memory make_plan () allocates, when
    // it offers one (a cross-check of the heap measurement); else -1.
    virtual long own_plan_bytes () const { return -1; }

protected:
    int _n = 0;
    float * _in = nullptr;
    float * _out = nullptr;

private:
    static float * alloc_floats (int count)
    {
        float *p = static_cast <float *> (fftwf_malloc (sizeof (float) * size_t (count)));
        if (p == nullptr)
        {
            throw std::bad_alloc ();
        }
        std::fill (p, p + count, 0.0f);
        return p;
    }

    std::string _key;
    std::string _label;
    Layout _in_layout;
    Layout _out_layout;
};

class QuarnCase : public Case
{
public:
    explicit QuarnCase (bool inverse)
    :   Case (inverse ? "quarn.bwd" : "quarn.fwd",
              inverse ? "quarn backward" : "quarn forward",
              inverse ? Layout::PACKED : Layout::SIGNAL,
              inverse ? Layout::SIGNAL : Layout::PACKED),
        _inverse (inverse)
    {
    }
    void make_plan () override
    {
        _fft = std::make_unique <quarn::FFTReal <float>> (_n);
    }
    void free_plan () override
    {
        _fft.reset ();
    }
    void run (long count) override
    {
        const quarn::FFTReal <float> &fft = *_fft;
        if (_inverse)
        {
            for (long i = 0; i < count; ++ i)
            {
                fft.backward (_out, _in);
            }
        }
        else
        {
            for (long i = 0; i < count; ++ i)
            {
                fft.forward (_out, _in);
            }
        }
    }

private:
    bool _inverse;
    std::unique_ptr <quarn::FFTReal <float>> _fft;
};

// FFTW, planned with FFTW_MEASURE, out of place. The inverses are planned
// with FFTW_PRESERVE_INPUT: out of place they may otherwise overwrite their
// input, while quarn's backward and KissFFT's inverse leave theirs intact.
class FftwCase : public Case
{
public:
    enum class Kind { R2C, C2R, R2HC, HC2R };

    explicit FftwCase (Kind kind)
    :   Case (key_of (kind), label_of (kind), in_of (kind), out_of (kind)), _kind (kind)
    {
    }
    ~FftwCase () override
    {
        free_plan ();
    }
    void make_plan () override
    {
        free_plan ();
        const unsigned INV = FFTW_MEASURE | FFTW_PRESERVE_INPUT;
        switch (_kind)
        {
        case Kind::R2C:
            _plan = fftwf_plan_dft_r2c_1d (_n, _in, reinterpret_cast <fftwf_complex *> (_out), FFTW_MEASURE);
            break;
        case Kind::C2R:
            _plan = fftwf_plan_dft_c2r_1d (_n, reinterpret_cast <fftwf_complex *> (_in), _out, INV);
            break;
        case Kind::R2HC:
            _plan = fftwf_plan_r2r_1d (_n, _in, _out, FFTW_R2HC, FFTW_MEASURE);
            break;
        case Kind::HC2R:
            _plan = fftwf_plan_r2r_1d (_n, _in, _out, FFTW_HC2R, INV);
            break;
        }
        if (_plan == nullptr)
        {
            fail ("FFTW could not plan " + label ());
        }
    }
    void free_plan () override
    {
        if (_plan != nullptr)
        {
            fftwf_destroy_plan (_plan);
            _plan = nullptr;
        }
    }
    void run (long count) override
    {
        for (long i = 0; i < count; ++ i)
        {
            fftwf_execute (_plan);
        }
    }

private:
    static std::string key_of (Kind k)
    {
        return k == Kind::R2C ? "fftw.r2c" : k == Kind::C2R ? "fftw.c2r"
             : k == Kind::R2HC ? "fftw.r2hc" : "fftw.hc2r";
    }
    static std::string label_of (Kind k)
    {
        return k == Kind::R2C ? "FFTW r2c" : k == Kind::C2R ? "FFTW c2r"
             : k == Kind::R2HC ? "FFTW R2HC" : "FFTW HC2R";
    }
    static Layout in_of (Kind k)
    {
        return k == Kind::C2R ? Layout::COMPLEX : k == Kind::HC2R ? Layout::HALFCOMPLEX : Layout::SIGNAL;
    }
    static Layout out_of (Kind k)
    {
        return k == Kind::R2C ? Layout::COMPLEX : k == Kind::R2HC ? Layout::HALFCOMPLEX : Layout::SIGNAL;
    }

    Kind _kind;
    fftwf_plan _plan = nullptr;
};

class KissCase : public Case
{
public:
    explicit KissCase (bool inverse)
    :   Case (inverse ? "kiss.inv" : "kiss.fwd",
              inverse ? "KissFFT fftri" : "KissFFT fftr",
              inverse ? Layout::COMPLEX : Layout::SIGNAL,
              inverse ? Layout::SIGNAL : Layout::COMPLEX),
        _inverse (inverse)
    {
    }
    ~KissCase () override
    {
        free_plan ();
    }
    void make_plan () override
    {
        free_plan ();
        _cfg = kiss_fftr_alloc (_n, _inverse ? 1 : 0, nullptr, nullptr);
        if (_cfg == nullptr)
        {
            fail ("KissFFT could not allocate " + label ());
        }
    }
    void free_plan () override
    {
        if (_cfg != nullptr)
        {
            kiss_fftr_free (_cfg);
            _cfg = nullptr;
        }
    }
    void run (long count) override
    {
        if (_inverse)
        {
            const kiss_fft_cpx *in = reinterpret_cast <const kiss_fft_cpx *> (_in);
            for (long i = 0; i < count; ++ i)
            {
                kiss_fftri (_cfg, in, _out);
            }
        }
        else
        {
            kiss_fft_cpx *out = reinterpret_cast <kiss_fft_cpx *> (_out);
            for (long i = 0; i < count; ++ i)
            {
                kiss_fftr (_cfg, _in, out);
            }
        }
    }
    long own_plan_bytes () const override
    {
        size_t len = 0;
        kiss_fftr_alloc (_n, _inverse ? 1 : 0, nullptr, &len);   // asks, allocates nothing
        return long (len);
    }

private:
    bool _inverse;
    kiss_fftr_cfg _cfg = nullptr;
};

// The column order of every table: each forward beside its inverse.
std::vector <std::unique_ptr <Case>> make_cases ()
{
    std::vector <std::unique_ptr <Case>> cases;
    cases.push_back (std::make_unique <QuarnCase> (false));
    cases.push_back (std::make_unique <QuarnCase> (true));
    cases.push_back (std::make_unique <FftwCase> (FftwCase::Kind::R2C));
    cases.push_back (std::make_unique <FftwCase> (FftwCase::Kind::C2R));
    cases.push_back (std::make_unique <FftwCase> (FftwCase::Kind::R2HC));
    cases.push_back (std::make_unique <FftwCase> (FftwCase::Kind::HC2R));
    cases.push_back (std::make_unique <KissCase> (false));
    cases.push_back (std::make_unique <KissCase> (true));
    return cases;
}

// Ratios reported: quarn's time over each peer's, same direction.
struct RatioPair
{
    const char *_quarn;
    const char *_peer;
};
constexpr RatioPair RATIOS [] = {
    { "quarn.fwd", "fftw.r2c" }, { "quarn.fwd", "fftw.r2hc" }, { "quarn.fwd", "kiss.fwd" },
    { "quarn.bwd", "fftw.c2r" }, { "quarn.bwd", "fftw.hc2r" }, { "quarn.bwd", "kiss.inv" },
};

// ---- Reference and checks --------------------------------------------------

std::vector <float> random_floats (int count, unsigned seed)
{
    std::mt19937 gen (seed);
    std::uniform_real_distribution <double> dist (-1.0, 1.0);
    std::vector <float> v (count);
    for (float &e : v)
    {
        e = static_cast <float> (dist (gen));
    }
    return v;
}

// A spectrum with Re and Im uniform in [-1, 1] (floats), bins 0 and N/2 real.
Spectrum random_spectrum (int n, unsigned seed)
{
    const std::vector <float> v = random_floats (n + 2, seed);
    Spectrum s (n / 2 + 1);
    for (int k = 0; k <= n / 2; ++ k)
    {
        const bool real_bin = (k == 0 || k == n / 2);
        s [k] = { v [2 * k], real_bin ? 0.0 : double (v [2 * k + 1]) };
    }
    return s;
}

constexpr long double PI_L = 3.141592653589793238462643383279502884L;

// FFTW's double-precision transforms of the same float values, each checked
// at a few positions against long-double direct sums.
Spectrum reference_forward (const std::vector <float> &x)
{
    const int n = int (x.size ());
    double *in = fftw_alloc_real (n);
    fftw_complex *out = fftw_alloc_complex (n / 2 + 1);
    fftw_plan plan = fftw_plan_dft_r2c_1d (n, in, out, FFTW_ESTIMATE);
    std::copy (x.begin (), x.end (), in);
    fftw_execute (plan);
    Spectrum s (n / 2 + 1);
    for (int k = 0; k <= n / 2; ++ k)
    {
        s [k] = { out [k][0], out [k][1] };
    }
    fftw_destroy_plan (plan);
    fftw_free (out);
    fftw_free (in);

    long double bound = 0;
    for (float v : x)
    {
        bound += std::fabs (v);
    }
    for (int k : { 0, 1, 3, n / 3, n / 2 - 1, n / 2 })
    {
        long double re = 0;
        long double im = 0;
        for (int m = 0; m < n; ++ m)
        {
            const long double a = 2 * PI_L * double ((int64_t (k) * m) % n) / n;
            re += x [m] * std::cos (a);
            im -= x [m] * std::sin (a);
        }
        if (std::abs (s [k] - std::complex <double> (double (re), double (im)))
            > REFERENCE_TOLERANCE * double (bound))
        {
            fail ("the double-precision forward reference disagrees with a direct sum at N = "
                  + std::to_string (n) + ", bin " + std::to_string (k));
        }
    }
    return s;
}

// Unscaled inverse: y[m] = sum over all N bins of X[k] e^(+2 pi i k m / N).
std::vector <double> reference_inverse (const Spectrum &s, int n)
{
    fftw_complex *in = fftw_alloc_complex (n / 2 + 1);
    double *out = fftw_alloc_real (n);
    fftw_plan plan = fftw_plan_dft_c2r_1d (n, in, out, FFTW_ESTIMATE);
    for (int k = 0; k <= n / 2; ++ k)
    {
        in [k][0] = s [k].real ();
        in [k][1] = s [k].imag ();
    }
    fftw_execute (plan);
    std::vector <double> y (out, out + n);
    fftw_destroy_plan (plan);
    fftw_free (out);
    fftw_free (in);

    long double bound = 0;
    for (const auto &c : s)
    {
        bound += 2 * std::abs (c);
    }
    for (int m : { 0, 1, 5, n / 3, n - 1 })
    {
        long double sum = s [0].real () + ((m % 2) ? -1 : 1) * s [n / 2].real ();
        for (int k = 1; k < n / 2; ++ k)
        {
            const long double a = 2 * PI_L * double ((int64_t (k) * m) % n) / n;
            sum += 2 * (s [k].real () * std::cos (a) - s [k].imag () * std::sin (a));
        }
        if (std::fabs (double (sum) - y [m]) > REFERENCE_TOLERANCE * double (bound))
        {
            fail ("the double-precision inverse reference disagrees with a direct sum at N = "
                  + std::to_string (n) + ", sample " + std::to_string (m));
        }
    }
    return y;
}

template <class T>
double magnitude (const T &v) { return std::abs (v); }

// Largest element difference over the largest magnitude of b.
template <class V>
double max_rel_diff (const V &a, const V &b)
{
    double diff = 0;
    double scale = 0;
    for (size_t i = 0; i < a.size (); ++ i)
    {
        diff = std::max (diff, magnitude (a [i] - b [i]));
        scale = std::max (scale, magnitude (b [i]));
    }
    return diff / scale;
}

// RMS of the error over RMS of the reference.
template <class V>
double rel_rms (const V &a, const V &ref)
{
    double err = 0;
    double sum = 0;
    for (size_t i = 0; i < a.size (); ++ i)
    {
        const double e = magnitude (a [i] - ref [i]);
        const double r = magnitude (ref [i]);
        err += e * e;
        sum += r * r;
    }
    return std::sqrt (err / sum);
}

template <class V>
void require_match (const V &got, const V &want, const std::string &what, int n)
{
    const double d = max_rel_diff (got, want);
    if (! (d <= MATCH_TOLERANCE))
    {
        fail ("output mismatch at N = " + std::to_string (n) + ": " + what
              + " (largest difference " + fmt ("%.3g", d) + " of the largest magnitude)");
    }
}

// ---- Heap measurement ------------------------------------------------------

// Bytes of heap in use: glibc's arena bytes in use plus its mmap'ed blocks
// (large blocks), malloc's own headers included.
long heap_in_use ()
{
#if defined (__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 33))
    const struct mallinfo2 mi = mallinfo2 ();
    return long (mi.uordblks + mi.hblkhd);
#else
    return -1;
#endif
}

// Whether heap_in_use () sees allocations here (not under a sanitizer's or
// another allocator that bypasses glibc's malloc).
bool heap_measurable ()
{
    const long SIZE = 1L << 20;
    const long before = heap_in_use ();
    if (before < 0)
    {
        return false;
    }
    void *p = std::malloc (size_t (SIZE));
    const long grown = heap_in_use () - before;
    std::free (p);
    return p != nullptr && grown >= SIZE;
}

// ---- One process -----------------------------------------------------------

double now_ns ()
{
    return double (std::chrono::duration_cast <std::chrono::nanoseconds> (
        std::chrono::steady_clock::now ().time_since_epoch ()).count ());
}

volatile float g_sink = 0;

// One untimed call first: the libraries take turns, and each should find
// its own data and tables back in the caches, as in a loop of transforms.
double time_batch (Case &c, long count)
{
    c.run (1);
    const double t0 = now_ns ();
    c.run (count);
    const double t1 = now_ns ();
    g_sink = g_sink + c.output () [0];
    return t1 - t0;
}

// Calls per batch for about `target_ns`; also warms caches and branch state.
long calibrate (Case &c, double target_ns)
{
    long count = 1;
    for (;;)
    {
        double t = time_batch (c, count);
        if (t >= 0.25 * target_ns || count >= (1L << 40))
        {
            // The fastest of three, so that an interrupted batch does not
            // shrink the size.
            t = std::min (t, std::min (time_batch (c, count), time_batch (c, count)));
            const long sized = std::lround (double (count) * target_ns / std::max (t, 1.0));
            count = std::max (1L, sized);
            time_batch (c, count);
            return count;
        }
        count *= 4;
    }
}

double median (std::vector <double> v)
{
    std::sort (v.begin (), v.end ());
    const size_t m = v.size () / 2;
    return (v.size () % 2 == 1) ? v [m] : 0.5 * (v [m - 1] + v [m]);
}

// Checks, accuracy, timing and memory for one length; results as text lines.
void run_length (int bits, const Options &opt, std::vector <std::unique_ptr <Case>> &cases,
                 FILE *out)
{
    const int n = 1 << bits;
    for (auto &c : cases)
    {
        c->alloc_buffers (n);
        c->make_plan ();   // FFTW_MEASURE scribbles on the buffers: fill after
    }

    // Forward cases read this signal, inverse cases this spectrum.
    const std::vector <float> x = random_floats (n, 1000u + unsigned (bits));
    const Spectrum bins_in = random_spectrum (n, 2000u + unsigned (bits));
    const Spectrum ref_fwd = reference_forward (x);
    const std::vector <double> ref_inv = reference_inverse (bins_in, n);

    Spectrum quarn_fwd;
    std::vector <double> quarn_inv;
    for (auto &c : cases)
    {
        if (c->is_inverse ())
        {
            write_spectrum (c->in_layout (), n, bins_in, c->input ());
            c->run (1);
            const std::vector <double> y (c->output (), c->output () + n);
            if (c->key () == "quarn.bwd")
            {
                quarn_inv = y;
            }
            require_match (y, ref_inv, c->label () + " against the double-precision reference", n);
            require_match (y, quarn_inv, c->label () + " against quarn backward", n);
            if (is_detail_bits (bits))
            {
                std::fprintf (out, "acc %d %s %.6e\n", bits, c->key ().c_str (), rel_rms (y, ref_inv));
            }
        }
        else
        {
            std::copy (x.begin (), x.end (), c->input ());
            c->run (1);
            const Spectrum s = read_spectrum (c->out_layout (), n, c->output ());
            if (c->key () == "quarn.fwd")
            {
                quarn_fwd = s;
            }
            require_match (s, ref_fwd, c->label () + " against the double-precision reference", n);
            require_match (s, quarn_fwd, c->label () + " against quarn forward", n);
            if (is_detail_bits (bits))
            {
                std::fprintf (out, "acc %d %s %.6e\n", bits, c->key ().c_str (), rel_rms (s, ref_fwd));
            }
        }
    }

    // Timing: R rounds, every library once per round, starting point rotated.
    const double target_ns = opt._batch_ms * 1e6;
    std::vector <long> counts;
    for (auto &c : cases)
    {
        counts.push_back (calibrate (*c, target_ns));
    }
    const size_t nc = cases.size ();
    std::vector <std::vector <double>> samples (nc);
    for (int r = 0; r < opt._rounds; ++ r)
    {
        for (size_t j = 0; j < nc; ++ j)
        {
            const size_t i = (j + size_t (r)) % nc;
            samples [i].push_back (time_batch (*cases [i], counts [i]) / double (counts [i]));
        }
    }
    for (size_t i = 0; i < nc; ++ i)
    {
        std::fprintf (out, "time %d %s %.3f %.3f %ld\n", bits, cases [i]->key ().c_str (),
                      median (samples [i]),
                      *std::min_element (samples [i].begin (), samples [i].end ()), counts [i]);
    }
    for (auto &c : cases)
    {
        c->free_plan ();
    }

    // Memory: each plan alone, on buffers allocated beforehand. FFTW plans
    // again from the wisdom of the timing plans, so neither its planning
    // scratch nor its wisdom table is counted.
    if (is_detail_bits (bits) && heap_measurable ())
    {
        for (auto &c : cases)
        {
            const long before = heap_in_use ();
            c->make_plan ();
            const long bytes = heap_in_use () - before;
            c->free_plan ();
            const long own = c->own_plan_bytes ();
            if (own >= 0 && std::labs (bytes - own) > 4096 + 64)
            {
                fail ("heap measurement of " + c->label () + " (" + std::to_string (bytes)
                      + " bytes) disagrees with the library's own figure (" + std::to_string (own) + ")");
            }
            std::fprintf (out, "mem %d %s %ld\n", bits, c->key ().c_str (), bytes);
        }
    }
    for (auto &c : cases)
    {
        c->free_buffers ();
    }
    std::fflush (out);
}

void run_worker (const Options &opt, FILE *out)
{
    std::vector <std::unique_ptr <Case>> cases = make_cases ();
    const double start = now_ns ();
    for (int bits : bits_list (opt))
    {
        std::fprintf (stderr, " 2^%d", bits);
        std::fflush (stderr);
        run_length (bits, opt, cases, out);
    }
    std::fprintf (stderr, " (%.0f s)\n", (now_ns () - start) * 1e-9);
}

// ---- Results of all processes ----------------------------------------------

struct Results
{
    std::map <std::pair <int, std::string>, std::vector <double>> _times;  // process medians
    std::map <std::pair <int, std::string>, double> _acc;
    std::map <std::pair <int, std::string>, double> _mem;
    std::vector <int> _bits;
    std::vector <std::string> _keys;
    std::map <std::string, std::string> _labels;

    bool has_time (int bits, const std::string &key) const
    {
        return _times.count ({ bits, key }) > 0;
    }
    double time (int bits, const std::string &key) const
    {
        return median (_times.at ({ bits, key }));
    }
    double spread (int bits, const std::string &key) const
    {
        const std::vector <double> &v = _times.at ({ bits, key });
        return *std::max_element (v.begin (), v.end ()) / *std::min_element (v.begin (), v.end ());
    }
    // quarn's median over the peer's within each process, where the two
    // took turns under the same load; the median over the processes.
    std::vector <double> process_ratios (int bits, const RatioPair &p) const
    {
        const std::vector <double> &q = _times.at ({ bits, p._quarn });
        const std::vector <double> &o = _times.at ({ bits, p._peer });
        std::vector <double> r;
        for (size_t i = 0; i < q.size (); ++ i)
        {
            r.push_back (q [i] / o [i]);
        }
        return r;
    }
    double ratio (int bits, const RatioPair &p) const
    {
        return median (process_ratios (bits, p));
    }
};

void parse_lines (const std::string &text, Results &res)
{
    std::istringstream lines (text);
    std::string line;
    while (std::getline (lines, line))
    {
        if (line.empty () || line [0] == '#')
        {
            continue;
        }
        std::istringstream f (line);
        std::string tag;
        std::string key;
        int bits = 0;
        double v = 0;
        f >> tag >> bits >> key >> v;
        if (f.fail ())
        {
            fail ("unreadable worker output: " + line);
        }
        if (tag == "time")
        {
            res._times [{ bits, key }].push_back (v);
        }
        else if (tag == "acc")
        {
            res._acc [{ bits, key }] = v;   // the same in every process
        }
        else if (tag == "mem")
        {
            res._mem [{ bits, key }] = v;
        }
    }
}

// Runs the worker in a child process and returns what it wrote.
std::string run_child (const Options &opt)
{
    int fds [2];
    if (pipe (fds) != 0)
    {
        fail ("pipe failed");
    }
    std::fflush (stdout);
    std::fflush (stderr);
    const pid_t pid = fork ();
    if (pid < 0)
    {
        fail ("fork failed");
    }
    if (pid == 0)
    {
        close (fds [0]);
        FILE *out = fdopen (fds [1], "w");
        run_worker (opt, out);
        std::fclose (out);
        std::_Exit (0);
    }
    close (fds [1]);
    std::string text;
    char buf [4096];
    ssize_t got = 0;
    while ((got = read (fds [0], buf, sizeof (buf))) > 0)
    {
        text.append (buf, size_t (got));
    }
    close (fds [0]);
    int status = 0;
    waitpid (pid, &status, 0);
    if (! WIFEXITED (status) || WEXITSTATUS (status) != 0)
    {
        fail ("a benchmark process failed (see its message above)");
    }
    return text;
}

// ---- Machine and build -----------------------------------------------------

std::string read_first (const char *path)
{
    std::ifstream f (path);
    std::string line;
    std::getline (f, line);
    return line;
}

std::string cpu_model ()
{
    std::ifstream f ("/proc/cpuinfo");
    std::string line;
    while (std::getline (f, line))
    {
        if (line.rfind ("model name", 0) == 0)
        {
            return line.substr (line.find (':') + 2);
        }
    }
    return "unknown CPU";
}

std::string cpu_simd ()
{
    std::ifstream f ("/proc/cpuinfo");
    std::string line;
    while (std::getline (f, line))
    {
        if (line.rfind ("flags", 0) == 0)
        {
            std::istringstream words (line.substr (line.find (':') + 1));
            std::vector <std::string> have;
            std::string w;
            while (words >> w)
            {
                have.push_back (w);
            }
            std::string out;
            for (const char *flag : { "sse2", "sse4_2", "avx", "avx2", "fma", "avx512f" })
            {
                const bool yes = std::find (have.begin (), have.end (), flag) != have.end ();
                out += (out.empty () ? "" : " ") + std::string (yes ? "" : "no ") + flag;
            }
            return out;
        }
    }
    return "unknown";
}

double load_average ()
{
    return std::atof (read_first ("/proc/loadavg").c_str ());
}

std::string today ()
{
    const std::time_t t = std::time (nullptr);
    char buf [32];
    std::strftime (buf, sizeof (buf), "%Y-%m-%d %H:%M UTC", std::gmtime (&t));
    return buf;
}

std::string pow2 (int bits)
{
    return "2^" + std::to_string (bits);
}

struct RunInfo
{
    std::string _date;
    std::string _cpu;
    std::string _simd;
    unsigned _cpus = 0;
    double _load_start = 0;
    double _load_end = 0;

    // Other work ran beside the benchmark (a load average well above 0).
    bool shared () const
    {
        return std::max (_load_start, _load_end) > 0.5;
    }
};

// ---- Reports ---------------------------------------------------------------

std::string mflops (int bits, double ns)
{
    const double n = double (1L << bits);
    return fmt ("%.0f", 2.5 * n * bits / ns * 1000.0);
}

std::string ns_text (double ns)
{
    return fmt (ns < 100 ? "%.1f" : "%.0f", ns);
}

// Ratios within this margin of 1 count as level: below that, the noise of a
// shared machine decides.
constexpr double LEVEL_MARGIN = 0.05;

// -1: quarn faster, 0: level, +1: quarn slower.
int ratio_class (double ratio)
{
    return ratio < 1 - LEVEL_MARGIN ? -1 : ratio > 1 + LEVEL_MARGIN ? 1 : 0;
}

// Contiguous runs of lengths whose ratio falls in class `cls`.
std::string class_ranges (const Results &res, const RatioPair &p, int cls)
{
    std::string out;
    size_t i = 0;
    while (i < res._bits.size ())
    {
        if (ratio_class (res.ratio (res._bits [i], p)) == cls)
        {
            size_t j = i;
            while (j + 1 < res._bits.size () && ratio_class (res.ratio (res._bits [j + 1], p)) == cls)
            {
                ++ j;
            }
            out += (out.empty () ? "" : ", ") + pow2 (res._bits [i])
                 + (j > i ? " to " + pow2 (res._bits [j]) : "");
            i = j + 1;
        }
        else
        {
            ++ i;
        }
    }
    return out;
}

// One sentence per ratio: its range, and where quarn wins, ties or loses.
std::string verdict (const Results &res, const RatioPair &p)
{
    double lo = 1e300;
    double hi = 0;
    for (int b : res._bits)
    {
        lo = std::min (lo, res.ratio (b, p));
        hi = std::max (hi, res.ratio (b, p));
    }
    const std::string who = std::string (p._quarn) == "quarn.fwd" ? "forward" : "backward";
    std::string s = "quarn " + who + " / " + res._labels.at (p._peer) + ": "
                  + (lo == hi ? fmt ("%.2f", lo) : fmt ("%.2f", lo) + " to " + fmt ("%.2f", hi)) + "; ";
    const char *WORDS [] = { "quarn is faster", "level (within 5%)", "quarn is slower" };
    std::vector <std::string> parts;
    for (int cls = -1; cls <= 1; ++ cls)
    {
        const std::string r = class_ranges (res, p, cls);
        if (! r.empty ())
        {
            parts.push_back (std::string (WORDS [cls + 1]) + " at " + r);
        }
    }
    if (parts.size () == 1)
    {
        return s + WORDS [ratio_class (lo) + 1] + " at every length measured.";
    }
    for (size_t i = 0; i < parts.size (); ++ i)
    {
        s += (i == 0 ? "" : "; ") + parts [i];
    }
    return s + ".";
}

void write_markdown (const std::string &path, const Results &res, const Options &opt,
                     const RunInfo &info)
{
    std::ofstream md (path);
    if (! md)
    {
        fail ("cannot write " + path);
    }
    const std::vector <std::string> &keys = res._keys;
    const std::string first = pow2 (res._bits.front ());
    const std::string last = pow2 (res._bits.back ());

    md << "# Benchmarks\n\n"
       << "<!-- Generated by `make bench` (bench/run.sh, bench/bench.cpp). Do not edit: rerun. -->\n\n"
       << "quarn's real-signal transforms beside FFTW's and KissFFT's: float data, one "
       << "thread, out of place, every power-of-two length N from " << first << " to " << last
       << ". Reproduce with `make bench`.\n\n"
       << "![Speed against length](benchmarks.svg)\n\n"
       << "| | |\n|---|---|\n"
       << "| Date | " << info._date << " |\n"
       << "| Machine | " << info._cpu << ", " << info._cpus << " logical CPUs; " << info._simd << " |\n"
       << "| Load average (1 min) | " << fmt ("%.2f", info._load_start) << " at start, "
       << fmt ("%.2f", info._load_end) << " at end |\n"
       << "| Compiler | " << QUARN_BENCH_COMPILER << " |\n"
       << "| Flags (quarn and this program) | `" << QUARN_BENCH_FLAGS << "` ("
       << QUARN_BENCH_BUILD_TYPE << ") |\n"
       << "| FFTW | " << fftwf_version << ", Debian's build (its own flags and SIMD code) |\n"
       << "| KissFFT | " << QUARN_BENCH_KISSFFT_VERSION << ", Debian's build (float) |\n"
       << "| Run | " << opt._processes << (opt._processes == 1 ? " process" : " processes")
       << " x " << opt._rounds
       << " rounds, batches of about " << fmt ("%g", opt._batch_ms) << " ms |\n\n";

    if (info.shared ())
    {
        md << "Shared machine: other work was running during this run (see the load "
           << "average), so absolute times are noisy. The ratios hold up better: every "
           << "library was timed in turn within the same rounds, so the load slowed them "
           << "alike. The spread column below shows how far the processes disagreed.\n\n";
    }

    md << "## Method\n\n"
       << "For each N every library gets its plan (quarn: its `FFTReal<float>` object) and "
       << "its own buffers from `fftwf_malloc`. A warm-up sizes each library's batch of calls "
       << "to about " << fmt ("%g", opt._batch_ms) << " ms. Then in each of " << opt._rounds
       << " rounds every library times one batch in turn, starting with a different library "
       << "each round, after one untimed call that brings its data back into the caches; a "
       << "library's figure is the median over the rounds of the time per call. Short batches "
       << "and many rounds let the median skip the batches that other work interrupted. "
       << (opt._processes == 1
           ? std::string ("This run used a single process (the default is 3, each planning afresh, "
                          "with the median of the process medians reported).\n\n")
           : "The whole run is repeated in " + std::to_string (opt._processes)
             + " separate processes, each planning afresh, and the tables give the median of "
               "the process medians.\n\n")
       << "- quarn: `forward (f, x)` and `backward (x, f)`, no rescaling.\n"
       << "- FFTW: `fftwf_plan_dft_r2c_1d` / `fftwf_plan_dft_c2r_1d` (complex half spectrum) "
       << "and `fftwf_plan_r2r_1d` with `FFTW_R2HC` / `FFTW_HC2R` (half-complex, the layout "
       << "closest to quarn's), all `FFTW_MEASURE`, out of place. The inverses add "
       << "`FFTW_PRESERVE_INPUT`, as quarn's and KissFFT's inverses leave their input intact.\n"
       << "- KissFFT: `kiss_fftr` / `kiss_fftri`.\n"
       << "- Before timing, every output for every N is converted to the complex bins "
       << "0 ... N/2 and checked against quarn's and against a double-precision reference; "
       << "a mismatch stops the run.\n"
       << "- mflops = 2.5 N log2(N) / (ns per transform) x 1000, the field's usual figure "
       << "(not a count of the operations a library really does).\n\n";

    md << "## Time per transform (ns)\n\n| N |";
    for (const auto &k : keys)
    {
        md << " " << res._labels.at (k) << " |";
    }
    md << " spread |\n|---|";
    for (size_t i = 0; i <= keys.size (); ++ i)
    {
        md << "---:|";
    }
    md << "\n";
    for (int b : res._bits)
    {
        md << "| " << pow2 (b) << " |";
        double spread = 1;
        for (const auto &k : keys)
        {
            md << " " << ns_text (res.time (b, k)) << " |";
            spread = std::max (spread, res.spread (b, k));
        }
        md << " " << fmt ("%.0f", (spread - 1) * 100) << "% |\n";
    }
    md << "\nspread: the largest disagreement between the processes' medians at that N, "
       << "over all libraries (slowest / fastest - 1).\n\n";

    md << "## Speed (mflops, higher is faster)\n\n| N |";
    for (const auto &k : keys)
    {
        md << " " << res._labels.at (k) << " |";
    }
    md << "\n|---|";
    for (size_t i = 0; i < keys.size (); ++ i)
    {
        md << "---:|";
    }
    md << "\n";
    for (int b : res._bits)
    {
        md << "| " << pow2 (b) << " |";
        for (const auto &k : keys)
        {
            md << " " << mflops (b, res.time (b, k)) << " |";
        }
        md << "\n";
    }

    md << "\n## quarn's time over the other library's (below 1: quarn is faster)\n\n"
       << "Each ratio is taken within each process, where the two libraries took turns under "
       << "the same load, and the table gives the median over the processes; the last column "
       << "shows the range of the processes' ratios for the first one.\n\n| N |";
    for (const RatioPair &p : RATIOS)
    {
        md << " " << res._labels.at (p._quarn) << " / " << res._labels.at (p._peer) << " |";
    }
    md << " range of the first |\n|---|";
    for (size_t i = 0; i <= std::size (RATIOS); ++ i)
    {
        md << "---:|";
    }
    md << "\n";
    for (int b : res._bits)
    {
        md << "| " << pow2 (b) << " |";
        for (const RatioPair &p : RATIOS)
        {
            md << " " << fmt ("%.2f", res.ratio (b, p)) << " |";
        }
        const std::vector <double> r = res.process_ratios (b, RATIOS [0]);
        md << " " << fmt ("%.2f", *std::min_element (r.begin (), r.end ())) << " to "
           << fmt ("%.2f", *std::max_element (r.begin (), r.end ())) << " |\n";
    }
    md << "\n";
    for (const RatioPair &p : RATIOS)
    {
        md << "- " << verdict (res, p) << "\n";
    }

    std::vector <int> detail;
    for (int b : res._bits)
    {
        if (is_detail_bits (b))
        {
            detail.push_back (b);
        }
    }
    if (! detail.empty ())
    {
        md << "\n## Accuracy and plan memory\n\n| library |";
        for (int b : detail)
        {
            md << " rel. RMS error " << pow2 (b) << " |";
        }
        for (int b : detail)
        {
            md << " bytes/sample " << pow2 (b) << " |";
        }
        md << "\n|---|";
        for (size_t i = 0; i < 2 * detail.size (); ++ i)
        {
            md << "---:|";
        }
        md << "\n";
        for (const auto &k : keys)
        {
            md << "| " << res._labels.at (k) << " |";
            for (int b : detail)
            {
                md << " " << fmt ("%.2e", res._acc.at ({ b, k })) << " |";
            }
            for (int b : detail)
            {
                const auto it = res._mem.find ({ b, k });
                md << " " << (it == res._mem.end () ? "n/a" : fmt ("%.2f", it->second / double (1L << b)))
                   << " |";
            }
            md << "\n";
        }
        md << "\nAccuracy: RMS of the error over RMS of the exact result. Forward: input "
           << "uniform in [-1, 1], error over the complex bins 0 ... N/2. Inverse: a spectrum "
           << "with real and imaginary parts uniform in [-1, 1] (bins 0 and N/2 real), error over "
           << "the N unscaled output samples. The exact results are FFTW's double-precision "
           << "transforms of the same float values, themselves checked against long-double "
           << "direct sums at a few bins.\n\n"
           << "Memory: glibc's heap in use (`mallinfo2`: `uordblks + hblkhd`, malloc's headers "
           << "included) just before and just after creating the plan or object alone, its "
           << "buffers allocated beforehand. FFTW plans are re-created from the wisdom of the "
           << "timed plans, so neither its planning scratch nor its global wisdom table is "
           << "counted; nor is scratch that a plan may allocate while it runs. quarn's figure "
           << "is one `FFTReal` object, which serves both directions. KissFFT's figure is "
           << "cross-checked against the size `kiss_fftr_alloc` reports.\n";
    }
}

void write_plot_data (const std::string &path, const Results &res)
{
    std::ofstream f (path);
    if (! f)
    {
        fail ("cannot write " + path);
    }
    f << "bits N";
    for (const auto &k : res._keys)
    {
        f << " \"" << res._labels.at (k) << "\"";
    }
    f << "\n";
    for (int b : res._bits)
    {
        f << b << " " << (1L << b);
        for (const auto &k : res._keys)
        {
            f << " " << mflops (b, res.time (b, k));
        }
        f << "\n";
    }
}

// Replaces the lines between the README's markers with the headline ratios.
void write_readme (const std::string &path, const Results &res, const Options &opt,
                   const RunInfo &info)
{
    const std::string BEGIN = "<!-- bench:begin";
    const std::string END = "<!-- bench:end";
    std::ifstream in (path);
    if (! in)
    {
        fail ("cannot read " + path);
    }
    std::vector <std::string> lines;
    std::string line;
    while (std::getline (in, line))
    {
        lines.push_back (line);
    }
    in.close ();

    std::ostringstream s;
    std::vector <int> cols;
    for (int b : HEADLINE_BITS)
    {
        if (std::find (res._bits.begin (), res._bits.end (), b) != res._bits.end ())
        {
            cols.push_back (b);
        }
    }
    s << "quarn's time over the other library's at a few lengths N (below 1: quarn is "
      << "faster), median of the ratios of " << opt._processes
      << (opt._processes == 1 ? " process; " : " processes; ") << info._cpu << ", "
      << QUARN_BENCH_COMPILER << " `" << QUARN_BENCH_FLAGS << "`, " << info._date << ":\n\n"
      << "| N |";
    for (int b : cols)
    {
        s << " " << pow2 (b) << " |";
    }
    s << "\n|---|";
    for (size_t i = 0; i < cols.size (); ++ i)
    {
        s << "---:|";
    }
    s << "\n";
    for (const RatioPair &p : { RATIOS [0], RATIOS [2], RATIOS [3], RATIOS [5] })
    {
        s << "| " << res._labels.at (p._quarn) << " / " << res._labels.at (p._peer) << " |";
        for (int b : cols)
        {
            s << " " << fmt ("%.2f", res.ratio (b, p)) << " |";
        }
        s << "\n";
    }
    s << "\nOver all lengths from " << pow2 (res._bits.front ()) << " to " << pow2 (res._bits.back ())
      << ":\n\n";
    for (const RatioPair &p : { RATIOS [0], RATIOS [2], RATIOS [3], RATIOS [5] })
    {
        s << "- " << verdict (res, p) << "\n";
    }
    if (info.shared ())
    {
        s << "\nShared machine: other work ran during this run (load average "
          << fmt ("%.1f", info._load_start) << " at start, " << fmt ("%.1f", info._load_end)
          << " at end, " << info._cpus << " CPUs), so these figures are noisy; "
          << "docs/benchmarks.md shows how far the processes disagreed.\n";
    }

    std::ofstream out (path + ".tmp");
    bool inside = false;
    bool found = false;
    for (const std::string &l : lines)
    {
        if (l.rfind (BEGIN, 0) == 0)
        {
            out << l << "\n" << s.str ();
            inside = true;
            found = true;
            continue;
        }
        if (l.rfind (END, 0) == 0)
        {
            inside = false;
        }
        if (! inside)
        {
            out << l << "\n";
        }
    }
    out.close ();
    if (! found || inside)
    {
        std::remove ((path + ".tmp").c_str ());
        fail (path + ": no complete \"" + BEGIN + "\" ... \"" + END + "\" block to fill");
    }
    if (std::rename ((path + ".tmp").c_str (), path.c_str ()) != 0)
    {
        fail ("cannot replace " + path);
    }
}

void print_summary (const Results &res)
{
    std::printf ("\n%6s %12s %12s %12s %12s %10s %10s %10s\n", "N", "quarn fwd", "quarn bwd",
                 "FFTW r2c", "KissFFT", "fwd/r2c", "fwd/kiss", "bwd/c2r");
    for (int b : res._bits)
    {
        std::printf ("%6s %12s %12s %12s %12s %10.2f %10.2f %10.2f\n", pow2 (b).c_str (),
                     ns_text (res.time (b, "quarn.fwd")).c_str (),
                     ns_text (res.time (b, "quarn.bwd")).c_str (),
                     ns_text (res.time (b, "fftw.r2c")).c_str (),
                     ns_text (res.time (b, "kiss.fwd")).c_str (),
                     res.ratio (b, RATIOS [0]), res.ratio (b, RATIOS [2]), res.ratio (b, RATIOS [3]));
    }
    std::printf ("(ns per transform: median of the process medians; ratios: median over the processes of quarn's time over the other's)\n");
}

// ---- Command line ----------------------------------------------------------

void usage ()
{
    std::fprintf (stderr,
        "usage: quarn_bench [options]\n"
        "  --min-bits A     shortest length 2^A (default %d, at least 4)\n"
        "  --max-bits B     longest length 2^B (default %d, at most 24)\n"
        "  --big            add 2^22 and 2^24\n"
        "  --rounds R       timed rounds per length and process (default 31)\n"
        "  --processes P    separate processes; the report takes the median (default 3)\n"
        "  --batch-ms T     about T ms of calls per timed batch (default 0.5)\n"
        "  --quick          smoke run: 2^10 only, 1 process, 3 rounds, 0.2 ms batches\n"
        "  --md FILE        write the markdown report\n"
        "  --plot-data FILE write mflops per length for gnuplot\n"
        "  --readme FILE    refresh the headline block of FILE (between bench markers)\n"
        "  --raw FILE       keep every process's result lines\n"
        "  --worker         one process, raw result lines on standard output\n",
        DEFAULT_MIN_BITS, DEFAULT_MAX_BITS);
}

Options parse (int argc, char *argv [])
{
    Options opt;
    for (int i = 1; i < argc; ++ i)
    {
        const std::string a = argv [i];
        auto value = [&] () -> std::string {
            if (i + 1 >= argc)
            {
                usage ();
                fail ("missing value after " + a);
            }
            return argv [++ i];
        };
        auto number = [&] () {
            const std::string v = value ();
            char *end = nullptr;
            const double d = std::strtod (v.c_str (), &end);
            if (end == v.c_str () || *end != '\0')
            {
                fail ("not a number after " + a + ": " + v);
            }
            return d;
        };
        if (a == "--min-bits")       opt._min_bits = int (number ());
        else if (a == "--max-bits")  opt._max_bits = int (number ());
        else if (a == "--big")       opt._big = true;
        else if (a == "--rounds")    opt._rounds = int (number ());
        else if (a == "--processes") opt._processes = int (number ());
        else if (a == "--batch-ms")  opt._batch_ms = number ();
        else if (a == "--md")        opt._md_path = value ();
        else if (a == "--plot-data") opt._plot_path = value ();
        else if (a == "--readme")    opt._readme_path = value ();
        else if (a == "--raw")       opt._raw_path = value ();
        else if (a == "--worker")    opt._worker = true;
        else if (a == "--quick")
        {
            opt._min_bits = 10;
            opt._max_bits = 10;
            opt._processes = 1;
            opt._rounds = 3;
            opt._batch_ms = 0.2;
        }
        else if (a == "--help" || a == "-h")
        {
            usage ();
            std::exit (0);
        }
        else
        {
            usage ();
            fail ("unknown option " + a);
        }
    }
    // KissFFT's real transform needs an even length of at least 4 complex points.
    if (opt._min_bits < 4 || opt._max_bits > 24 || opt._min_bits > opt._max_bits
        || opt._rounds < 1 || opt._processes < 1 || ! (opt._batch_ms > 0))
    {
        usage ();
        fail ("options out of range");
    }
    return opt;
}

} // namespace

int main (int argc, char *argv [])
{
    const Options opt = parse (argc, argv);
    if (opt._worker)
    {
        run_worker (opt, stdout);
        return 0;
    }

    std::printf ("quarn_bench: %s, flags: %s (%s)\n", QUARN_BENCH_COMPILER, QUARN_BENCH_FLAGS,
                 QUARN_BENCH_BUILD_TYPE);
    std::printf ("peers: %s, KissFFT %s\n", fftwf_version, QUARN_BENCH_KISSFFT_VERSION);

    RunInfo info;
    info._date = today ();
    info._cpu = cpu_model ();
    info._simd = cpu_simd ();
    info._cpus = std::thread::hardware_concurrency ();
    info._load_start = load_average ();
    std::printf ("machine: %s, %u logical CPUs; %s; load average %.2f\n", info._cpu.c_str (),
                 info._cpus, info._simd.c_str (), info._load_start);
    std::fflush (stdout);

    Results res;
    res._bits = bits_list (opt);
    for (const auto &c : make_cases ())
    {
        res._keys.push_back (c->key ());
        res._labels [c->key ()] = c->label ();
    }
    std::string raw;
    for (int p = 0; p < opt._processes; ++ p)
    {
        std::fprintf (stderr, "process %d of %d:", p + 1, opt._processes);
        const std::string lines = run_child (opt);
        parse_lines (lines, res);
        raw += "# process " + std::to_string (p + 1) + "\n" + lines;
    }
    info._load_end = load_average ();
    for (int b : res._bits)
    {
        for (const auto &k : res._keys)
        {
            if (! res.has_time (b, k) || res._times.at ({ b, k }).size () != size_t (opt._processes))
            {
                fail ("missing timing for " + k + " at " + pow2 (b));
            }
        }
    }

    if (! opt._raw_path.empty ())
    {
        std::ofstream (opt._raw_path) << raw;
    }
    print_summary (res);
    if (! opt._md_path.empty ())
    {
        write_markdown (opt._md_path, res, opt, info);
        std::printf ("wrote %s\n", opt._md_path.c_str ());
    }
    if (! opt._plot_path.empty ())
    {
        write_plot_data (opt._plot_path, res);
        std::printf ("wrote %s\n", opt._plot_path.c_str ());
    }
    if (! opt._readme_path.empty ())
    {
        write_readme (opt._readme_path, res, opt, info);
        std::printf ("updated %s\n", opt._readme_path.c_str ());
    }
    return 0;
}
