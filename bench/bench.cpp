// quarn_bench: quarn's real FFT beside FFTW's, KissFFT's and FFmpeg's on
// Google Benchmark, one sample type and length 2^BITS per process:
//
//     quarn_bench float|double BITS [PATH] [--benchmark_...]
//
// quarn runs once per instruction-set path that the CPU offers at the length
// and once as the default choice, in every build linked in (bench.h); PATH
// keeps one ("default": the default). Before anything is timed, each case's
// output is checked against FFTW's double-precision transform, and its input
// for being left as it was (the cases share it): a failure ends the run.

#include "bench.h"

#include <benchmark/benchmark.h>
#include <fftw3.h>
#include <kiss_fftr.h>
extern "C" {
#include <libavutil/avutil.h>
#include <libavutil/tx.h>
}
#include <unistd.h>

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <regex>

// Each build's cases for length n (quarn_cases.cpp).
namespace quarn::bench { void add_cases (quarn_bench::Cases &, int n, bool is_double, const std::string &only); }
namespace quarn2::bench { void add_cases (quarn_bench::Cases &, int n, bool is_double, const std::string &only); }
namespace quarn_base::bench { void add_cases (quarn_bench::Cases &, int n, bool is_double, const std::string &only); }

namespace
{

using quarn_bench::Case;
using quarn_bench::heap_bytes;

[[noreturn]] void fail (const char *format, ...)
{
    va_list args;
    va_start (args, format);
    std::vfprintf (stderr, (std::string ("quarn_bench: ") + format + "\n").c_str (), args);
    std::exit (1);
}

// Zeroed and on a cache line, as FFmpeg needs without AV_TX_UNALIGNED.
template <class T>
struct Aligned
{
    using value_type = T;
    Aligned () = default;
    template <class U> Aligned (const Aligned <U> &) {}
    T * allocate (size_t count)
    {
        void *p = std::aligned_alloc (64, (sizeof (T) * count + 63) / 64 * 64);
        return (p != nullptr) ? static_cast <T *> (p) : throw std::bad_alloc ();
    }
    void deallocate (T *p, size_t) { std::free (p); }
    bool operator == (const Aligned &) const { return true; }
    bool operator != (const Aligned &) const { return false; }
};
template <class T>
using Array = std::vector <T, Aligned <T>>;

// ---- Peers ------------------------------------------------------------------

// The inverse keeps its input (FFTW_PRESERVE_INPUT), as quarn's does.
fftwf_plan plan_fftw (int n, float *in, float *out, bool inverse)
{
    return inverse ? fftwf_plan_dft_c2r_1d (n, reinterpret_cast <fftwf_complex *> (in), out,
                                            FFTW_MEASURE | FFTW_PRESERVE_INPUT)
                   : fftwf_plan_dft_r2c_1d (n, in, reinterpret_cast <fftwf_complex *> (out), FFTW_MEASURE);
}
fftw_plan plan_fftw (int n, double *in, double *out, bool inverse)
{
    return inverse ? fftw_plan_dft_c2r_1d (n, reinterpret_cast <fftw_complex *> (in), out,
                                           FFTW_MEASURE | FFTW_PRESERVE_INPUT)
                   : fftw_plan_dft_r2c_1d (n, in, reinterpret_cast <fftw_complex *> (out), FFTW_MEASURE);
}
void execute (fftwf_plan p) { fftwf_execute (p); }
void execute (fftw_plan p) { fftw_execute (p); }
void destroy (fftwf_plan p) { fftwf_destroy_plan (p); }
void destroy (fftw_plan p) { fftw_destroy_plan (p); }

// What a plan holds: planned again from the wisdom of a first, measured,
// plan while no other plan exists (FFTW shares twiddles between plans), so
// that neither the planner's scratch nor its wisdom counts.
template <class T>
double fftw_plan_bytes (int n, T *in, T *out, bool inverse)
{
    destroy (plan_fftw (n, in, out, inverse));
    const double before = heap_bytes ();
    const auto plan = plan_fftw (n, in, out, inverse);
    const double bytes = heap_bytes () - before;
    destroy (plan);
    return bytes;
}

// The plan runs on the arrays it was made for, which are those run gets.
template <class T>
struct FftwCase : Case
{
    FftwCase (int n, T *in, T *out, bool inverse, double bytes)
    :   _plan (plan_fftw (n, in, out, inverse))
    {
        if (_plan == nullptr)
        {
            fail ("FFTW cannot plan 2^%d", int (std::log2 (n)));
        }
        _name = "FFTW";
        _inverse = inverse;
        _plan_bytes = bytes;
    }
    ~FftwCase () override { destroy (_plan); }
    void run (void *, const void *) override { execute (_plan); }

    decltype (plan_fftw (0, static_cast <T *> (nullptr), nullptr, false)) _plan;
};

struct KissCase : Case
{
    KissCase (int n, bool inverse)
    {
        const double before = heap_bytes ();
        _cfg = kiss_fftr_alloc (n, inverse, nullptr, nullptr);
        _plan_bytes = heap_bytes () - before;
        _name = "KissFFT";
        _inverse = inverse;
    }
    ~KissCase () override { kiss_fftr_free (_cfg); }
    void run (void *out, const void *in) override
    {
        _inverse ? kiss_fftri (_cfg, static_cast <const kiss_fft_cpx *> (in), static_cast <float *> (out))
                 : kiss_fftr (_cfg, static_cast <const float *> (in), static_cast <kiss_fft_cpx *> (out));
    }

    kiss_fftr_cfg _cfg;
};

// At debug level av_tx logs the chain of transforms it picked for a length:
// the report shows it, and FFmpeg is left out where the chain is the naive
// O(N^2) DFT that this version falls back on.
std::string tx_log;

void capture_log (void *, int, const char *format, va_list args)
{
    char line [1024];
    std::vsnprintf (line, sizeof (line), format, args);
    tx_log += line;
}

template <class T>
struct FfmpegCase : Case
{
    FfmpegCase (int n, bool inverse)
    :   _scratch (size_t (n) + 2)
    {
        const T scale = 1;
        tx_log.clear ();
        tx_log.reserve (size_t (1) << 16);   // nothing allocated while measuring
        av_log_set_callback (capture_log);
        av_log_set_level (AV_LOG_DEBUG);
        const double before = heap_bytes ();
        const int err = av_tx_init (&_ctx, &_fn, std::is_same <T, float>::value ? AV_TX_FLOAT_RDFT
                                    : AV_TX_DOUBLE_RDFT, inverse, n, &scale, 0);
        _plan_bytes = heap_bytes () - before;
        av_log_set_level (AV_LOG_INFO);
        av_log_set_callback (av_log_default_callback);
        if (err < 0)
        {
            fail ("FFmpeg cannot set up 2^%d", int (std::log2 (n)));
        }
        const std::string tree = tx_log.substr (std::min (tx_log.find ("Transform tree:"), tx_log.size ()));
        const std::regex NAME ("\n +(\\w+) - ");
        for (std::sregex_iterator it (tree.begin (), tree.end (), NAME), end; it != end; ++ it)
        {
            _label += (_label.empty () ? "" : " > ") + (*it) [1].str ();
        }
        _name = "FFmpeg";
        _inverse = inverse;
    }
    ~FfmpegCase () override { av_tx_uninit (&_ctx); }

    // This version's inverse overwrites its input: each call copies it
    // first, in the timed loop.
    void run (void *out, const void *in) override
    {
        const void *from = _inverse ? std::memcpy (_scratch.data (), in, sizeof (T) * _scratch.size ()) : in;
        _fn (_ctx, out, const_cast <void *> (from), ptrdiff_t ((_inverse ? 2 : 1) * sizeof (T)));
    }

    Array <T> _scratch;
    AVTXContext *_ctx = nullptr;
    av_tx_fn _fn = nullptr;
};

// ---- Inputs and the check ---------------------------------------------------

// One length's arrays, shared by all cases: a signal, a spectrum whose bins
// 0 and N/2 are real (as a real signal's are) in both layouts, the output.
template <class T>
struct Data
{
    explicit Data (size_t n)
    :   _n (n), _signal (n), _packed (n), _complex (n + 2), _out (n + 2)
    {
    }

    void fill (unsigned seed)
    {
        std::mt19937 gen (seed);
        std::uniform_real_distribution <double> dist (-1.0, 1.0);
        for (T &v : _signal)
        {
            v = T (dist (gen));
        }
        for (size_t k = 0; k <= _n / 2; ++ k)
        {
            const bool real_bin = (k == 0 || k == _n / 2);
            _complex [2 * k] = _packed [k] = T (dist (gen));
            _complex [2 * k + 1] = real_bin ? T (0) : T (dist (gen));
            if (! real_bin)
            {
                _packed [_n / 2 + k] = - _complex [2 * k + 1];
            }
        }
    }

    const T * input (const Case &c) const
    {
        return (! c._inverse) ? _signal.data () : c._packed ? _packed.data () : _complex.data ();
    }

    size_t _n;
    Array <T> _signal;
    Array <T> _packed;
    Array <T> _complex;
    Array <T> _out;
};

// FFTW's double-precision transform (FFTW_ESTIMATE): forward, the complex
// bins 0 .. N/2 of a signal; inverse, the unscaled signal of such bins.
template <class T>
std::vector <double> reference (const Array <T> &in, int n, bool inverse)
{
    std::vector <double> a (in.begin (), in.end ());
    std::vector <double> out (size_t (inverse ? n : n + 2));
    fftw_plan p = inverse
        ? fftw_plan_dft_c2r_1d (n, reinterpret_cast <fftw_complex *> (a.data ()), out.data (), FFTW_ESTIMATE)
        : fftw_plan_dft_r2c_1d (n, a.data (), reinterpret_cast <fftw_complex *> (out.data ()), FFTW_ESTIMATE);
    fftw_execute (p);
    fftw_destroy_plan (p);
    return out;
}

// Relative RMS difference from the reference. The imaginary parts of bins 0
// and N/2 are zero by definition and not every layout stores them (this
// FFmpeg version leaves that of bin N/2 unwritten), so none are read.
template <class T>
double error_of (const Case &c, const Array <T> &out, const std::vector <double> &ref, size_t n)
{
    double diff = 0;
    double norm = 0;
    for (size_t i = 0; i < ref.size (); ++ i)
    {
        const size_t k = i / 2;
        if (! c._inverse && i % 2 == 1 && (k == 0 || k == n / 2))
        {
            continue;
        }
        const double got = (c._inverse || ! c._packed) ? out [i] : (i % 2 == 0) ? out [k] : - out [n / 2 + k];
        diff += (got - ref [i]) * (got - ref [i]);
        norm += ref [i] * ref [i];
    }
    return std::sqrt (diff / norm);
}

template <class T>
void check (const quarn_bench::Cases &cases, Data <T> &d, const std::string &what)
{
    const int n = int (d._n);
    const std::vector <double> ref [2] = { reference (d._signal, n, false), reference (d._complex, n, true) };
    const Data <T> kept = d;
    for (const auto &c : cases)
    {
        const std::string name = what + (c->_inverse ? " backward " : " forward ") + c->_name;
        std::fill (d._out.begin (), d._out.end (), std::numeric_limits <T>::quiet_NaN ());
        c->run (d._out.data (), d.input (*c));
        c->_error = error_of (*c, d._out, ref [c->_inverse], d._n);
        if (! (c->_error <= (std::is_same <T, float>::value ? 1e-5 : 1e-12)))
        {
            fail ("%s: relative RMS error %.3g against the reference", name.c_str (), c->_error);
        }
        if (d._signal != kept._signal || d._packed != kept._packed || d._complex != kept._complex)
        {
            fail ("%s changed its input", name.c_str ());
        }
    }
    std::printf ("%s: the outputs of all %zu cases match the reference\n", what.c_str (), cases.size ());
}

template <class T>
void run (int bits, const std::string &only)
{
    const int n = 1 << bits;
    const bool is_double = std::is_same <T, double>::value;
    const std::string type = is_double ? "double" : "float";
    Data <T> d { size_t (n) };
    T *const fftw_in [2] = { d._signal.data (), d._complex.data () };
    const double fftw_bytes [2] = { fftw_plan_bytes (n, fftw_in [0], d._out.data (), false),
                                    fftw_plan_bytes (n, fftw_in [1], d._out.data (), true) };
    quarn_bench::Cases cases;
    quarn::bench::add_cases (cases, n, is_double, only);
    quarn2::bench::add_cases (cases, n, is_double, only);
#if defined (QUARN_BENCH_HAVE_BASELINE)
    quarn_base::bench::add_cases (cases, n, is_double, only);
#endif
    for (const bool inverse : { false, true })
    {
        cases.push_back (std::make_unique <FftwCase <T>> (n, fftw_in [inverse], d._out.data (), inverse,
                                                          fftw_bytes [inverse]));
        if (! is_double)
        {
            cases.push_back (std::make_unique <KissCase> (n, inverse));
        }
        auto ffmpeg = std::make_unique <FfmpegCase <T>> (n, inverse);
        benchmark::AddCustomContext (inverse ? "ffmpeg_backward" : "ffmpeg_forward", ffmpeg->_label);
        if (ffmpeg->_label.find ("naive") == std::string::npos)
        {
            cases.push_back (std::move (ffmpeg));
        }
    }
    d.fill (unsigned (bits));   // only now: FFTW_MEASURE writes into its arrays
    check (cases, d, type + " 2^" + std::to_string (bits));

    std::string paths;
    for (const auto &c : cases)
    {
        if (c->_name.rfind ("quarn.", 0) == 0 && c->_name != "quarn.default" && ! c->_inverse)
        {
            paths += (paths.empty () ? "" : ",") + c->_name.substr (6);
        }
        Case *cp = c.get ();
        T *out = d._out.data ();
        const T *in = d.input (*c);
        const std::string name = type + (c->_inverse ? "/backward/" : "/forward/") + c->_name + "/"
                                 + std::to_string (n);
        benchmark::RegisterBenchmark (name.c_str (), [cp, out, in, n] (benchmark::State &state) {
            for (auto _ : state)
            {
                cp->run (out, in);
            }
            state.SetLabel (cp->_label);
            state.counters ["bytes_per_sample"] = cp->_plan_bytes / n;
            state.counters ["rel_rms_error"] = cp->_error;
        });
    }
    const std::pair <const char *, std::string> CONTEXT [] = {
        { "type", type }, { "bits", std::to_string (bits) }, { "quarn_paths", paths },
        { "compiler", QUARN_BENCH_COMPILER }, { "flags", QUARN_BENCH_FLAGS }, { "flags2", QUARN_BENCH_FLAGS2 },
        { "fftw_version", is_double ? fftw_version : fftwf_version },
        { "kissfft_version", QUARN_BENCH_KISSFFT_VERSION }, { "ffmpeg_version", av_version_info () } };
    for (const auto &entry : CONTEXT)
    {
        benchmark::AddCustomContext (entry.first, entry.second);
    }
    benchmark::RunSpecifiedBenchmarks ();
}

}  // namespace

int main (int argc, char **argv)
{
    // glibc's per-thread cache counts the small blocks it keeps as in use,
    // so heap_bytes would miss a small plan served from it: run without it.
    if (std::getenv ("GLIBC_TUNABLES") == nullptr)
    {
        setenv ("GLIBC_TUNABLES", "glibc.malloc.tcache_count=0", 1);
        execv ("/proc/self/exe", argv);
    }
    benchmark::Initialize (&argc, argv);
    // FFTW_MEASURE takes 20 s a plan at 2^20 here, and more than N times
    // longer per doubling: past a minute the planner keeps its best so far.
    fftwf_set_timelimit (60);
    fftw_set_timelimit (60);
    const int bits = (argc >= 3) ? std::atoi (argv [2]) : 0;
    const std::string type = (argc >= 2) ? argv [1] : "";
    // From 2^2: FFmpeg's real transform is wrong for 2 samples.
    if (argc > 4 || bits < 2 || bits > 30 || (type != "float" && type != "double"))
    {
        fail ("usage: quarn_bench float|double 2..30 [PATH] [--benchmark_...]");
    }
    const std::string only = (argc == 4) ? argv [3] : "";
    (type == "double") ? run <double> (bits, only) : run <float> (bits, only);
    benchmark::Shutdown ();
    return 0;
}
