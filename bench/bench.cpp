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

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <regex>

namespace
{

using quarn_bench::Cases;
using quarn_bench::heap_bytes;

[[noreturn]] void fail (const char *format, ...)
{
    va_list args;
    va_start (args, format);
    std::vfprintf (stderr, (std::string ("quarn_bench: ") + format + "\n").c_str (), args);
    std::exit (1);
}

// On a cache line, as FFmpeg needs without AV_TX_UNALIGNED.
template <class T>
struct Aligned
{
    using value_type = T;
    Aligned () = default;
    template <class U> Aligned (const Aligned <U> &) {}
    T * allocate (size_t count) { return static_cast <T *> (operator new (sizeof (T) * count, std::align_val_t (64))); }
    void deallocate (T *p, size_t) { operator delete (p, std::align_val_t (64)); }
    bool operator == (const Aligned &) const { return true; }
    bool operator != (const Aligned &) const { return false; }
};
template <class T>
using Array = std::vector <T, Aligned <T>>;

// ---- Peers ------------------------------------------------------------------

// The inverse keeps its input (FFTW_PRESERVE_INPUT), as quarn's does.
fftwf_plan plan_fftw (int n, float *in, float *out, bool inverse, unsigned flags = FFTW_MEASURE)
{
    return inverse ? fftwf_plan_dft_c2r_1d (n, reinterpret_cast <fftwf_complex *> (in), out,
                                            flags | FFTW_PRESERVE_INPUT)
                   : fftwf_plan_dft_r2c_1d (n, in, reinterpret_cast <fftwf_complex *> (out), flags);
}
fftw_plan plan_fftw (int n, double *in, double *out, bool inverse, unsigned flags = FFTW_MEASURE)
{
    return inverse ? fftw_plan_dft_c2r_1d (n, reinterpret_cast <fftw_complex *> (in), out,
                                           flags | FFTW_PRESERVE_INPUT)
                   : fftw_plan_dft_r2c_1d (n, in, reinterpret_cast <fftw_complex *> (out), flags);
}
void execute (fftwf_plan p) { fftwf_execute (p); }
void execute (fftw_plan p) { fftw_execute (p); }
void destroy (fftwf_plan p) { fftwf_destroy_plan (p); }
void destroy (fftw_plan p) { fftw_destroy_plan (p); }

// What a plan holds is measured on one made again from the wisdom of a first
// while no other plan exists (FFTW shares twiddles between plans), so that
// neither the planner's scratch nor its wisdom counts. The plans run on the
// arrays they were made for, which are those their cases get.
template <class T>
void add_fftw (Cases <T> &cases, int n, T *const in [2], T *out)
{
    double bytes [2];
    for (const bool inverse : { false, true })
    {
        destroy (plan_fftw (n, in [inverse], out, inverse));
        const double before = heap_bytes ();
        const auto plan = plan_fftw (n, in [inverse], out, inverse);
        bytes [inverse] = heap_bytes () - before;
        destroy (plan);
    }
    for (const bool inverse : { false, true })
    {
        const auto plan = plan_fftw (n, in [inverse], out, inverse);
        if (plan == nullptr) { fail ("FFTW cannot plan %d", n); }
        const std::shared_ptr <void> owner (plan, [] (auto p) { destroy (p); });
        cases.push_back ({ "FFTW", "", inverse, false, bytes [inverse],
                           [owner, plan] (T *, const T *) { execute (plan); } });
    }
}

void add_kiss (Cases <double> &, int) {}
void add_kiss (Cases <float> &cases, int n)
{
    for (const bool inverse : { false, true })
    {
        const double before = heap_bytes ();
        const kiss_fftr_cfg cfg = kiss_fftr_alloc (n, inverse, nullptr, nullptr);
        const double bytes = heap_bytes () - before;
        const std::shared_ptr <void> owner (cfg, kiss_fftr_free);
        cases.push_back ({ "KissFFT", "", inverse, false, bytes, [owner, cfg, inverse] (float *out, const float *in) {
            inverse ? kiss_fftri (cfg, reinterpret_cast <const kiss_fft_cpx *> (in), out)
                    : kiss_fftr (cfg, in, reinterpret_cast <kiss_fft_cpx *> (out));
        } });
    }
}

// At debug level av_tx logs the chain of transforms it picked for a length:
// the label and the report show it, and FFmpeg is left out where it is the
// naive O(N^2) DFT that this version falls back on (from 2^19 on).
std::string tx_log;

template <class T>
void add_ffmpeg (Cases <T> &cases, int n)
{
    av_log_set_callback ([] (void *, int, const char *format, va_list args) {
        char line [1024];
        std::vsnprintf (line, sizeof (line), format, args);
        tx_log += line;
    });
    av_log_set_level (AV_LOG_DEBUG);
    for (const bool inverse : { false, true })
    {
        AVTXContext *ctx = nullptr;
        av_tx_fn fn = nullptr;
        const T scale = 1;
        tx_log.clear ();
        tx_log.reserve (size_t (1) << 16);   // nothing allocated while measuring
        const double before = heap_bytes ();
        const int err = av_tx_init (&ctx, &fn, std::is_same <T, float>::value ? AV_TX_FLOAT_RDFT : AV_TX_DOUBLE_RDFT,
                                    inverse, n, &scale, 0);
        const double bytes = heap_bytes () - before;
        if (err < 0) { fail ("FFmpeg cannot set up %d", n); }
        const std::shared_ptr <AVTXContext> owner (ctx, [] (AVTXContext *p) { av_tx_uninit (&p); });
        std::string chain;
        const std::regex NAME ("\n +(\\w+) - ");   // the tree's lines; the candidates' are "  1: name - "
        for (std::sregex_iterator it (tx_log.begin (), tx_log.end (), NAME), end; it != end; ++ it)
        {
            chain += (chain.empty () ? "" : " > ") + (*it) [1].str ();
        }
        benchmark::AddCustomContext (inverse ? "ffmpeg_backward" : "ffmpeg_forward", chain);
        if (chain.find ("naive") != std::string::npos) { continue; }
        // This version's inverse overwrites its input: each call copies it
        // first, in the timed loop.
        const auto scratch = std::make_shared <Array <T>> (size_t (n) + 2);
        cases.push_back ({ "FFmpeg", chain, inverse, false, bytes, [owner, fn, scratch, inverse] (T *out, const T *in) {
            const void *from = inverse ? std::memcpy (scratch->data (), in, sizeof (T) * scratch->size ()) : in;
            fn (owner.get (), out, const_cast <void *> (from), ptrdiff_t ((inverse ? 2 : 1) * sizeof (T)));
        } });
    }
    av_log_set_level (AV_LOG_INFO);
    av_log_set_callback (av_log_default_callback);
}

// ---- Inputs and the check ---------------------------------------------------

// One length's arrays, shared by all cases: a signal, a spectrum whose bins
// 0 and N/2 are real (as a real signal's are) in both layouts, the output.
template <class T>
struct Data
{
    explicit Data (size_t n) : _n (n), _signal (n), _packed (n), _complex (n + 2), _out (n + 2) {}

    void fill (unsigned seed)
    {
        std::mt19937 gen (seed);
        std::uniform_real_distribution <double> dist (-1.0, 1.0);
        for (T &v : _signal) { v = T (dist (gen)); }
        for (T &v : _complex) { v = T (dist (gen)); }
        _complex [1] = _complex [_n + 1] = 0;
        for (size_t k = 0; k <= _n / 2; ++ k) { _packed [k] = _complex [2 * k]; }
        for (size_t k = 1; k < _n / 2; ++ k) { _packed [_n / 2 + k] = - _complex [2 * k + 1]; }
    }
    const T * input (bool inverse, bool packed) const
    {
        return (! inverse) ? _signal.data () : packed ? _packed.data () : _complex.data ();
    }
    bool operator != (const Data &o) const
    {
        return _signal != o._signal || _packed != o._packed || _complex != o._complex;
    }

    size_t _n;
    Array <T> _signal;
    Array <T> _packed;
    Array <T> _complex;
    Array <T> _out;
};

// FFTW's double-precision transform: forward, the complex bins 0 .. N/2 of a
// signal; inverse, the unscaled signal of such bins.
template <class T>
std::vector <double> reference (const Array <T> &in, int n, bool inverse)
{
    std::vector <double> a (in.begin (), in.end ());
    std::vector <double> out (size_t (n) + 2);
    const fftw_plan p = plan_fftw (n, a.data (), out.data (), inverse, FFTW_ESTIMATE);
    fftw_execute (p);
    fftw_destroy_plan (p);
    out.resize (size_t (inverse ? n : n + 2));
    return out;
}

// Each case's relative RMS difference from the reference. The imaginary
// parts of bins 0 and N/2 are zero by definition and not every layout stores
// them (this FFmpeg version leaves that of bin N/2 unwritten): none are read.
template <class T>
void check (Cases <T> &cases, Data <T> &d, const std::string &what)
{
    const size_t n = d._n;
    const std::vector <double> refs [2] = { reference (d._signal, int (n), false),
                                            reference (d._complex, int (n), true) };
    const Data <T> kept = d;
    for (auto &c : cases)
    {
        std::fill (d._out.begin (), d._out.end (), std::numeric_limits <T>::quiet_NaN ());
        c._run (d._out.data (), d.input (c._inverse, c._packed));
        const std::vector <double> &ref = refs [c._inverse];
        double diff = 0;
        double norm = 0;
        for (size_t i = 0; i < ref.size (); ++ i)
        {
            const size_t k = i / 2;
            if (! c._inverse && i % 2 == 1 && (k == 0 || k == n / 2)) { continue; }
            const double got = (c._inverse || ! c._packed) ? d._out [i]
                             : (i % 2 == 0) ? d._out [k] : - d._out [n / 2 + k];
            diff += (got - ref [i]) * (got - ref [i]);
            norm += ref [i] * ref [i];
        }
        c._error = std::sqrt (diff / norm);
        const std::string name = what + (c._inverse ? " backward " : " forward ") + c._name;
        if (! (c._error <= (std::is_same <T, float>::value ? 1e-5 : 1e-12)))
        {
            fail ("%s: relative RMS error %.3g against the reference", name.c_str (), c._error);
        }
        if (d != kept) { fail ("%s changed its input", name.c_str ()); }
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
    T *const out = d._out.data ();
    T *const fftw_in [2] = { d._signal.data (), d._complex.data () };
    Cases <T> cases;
    add_fftw (cases, n, fftw_in, out);
    for (const auto add : quarn_bench::builds <T> ()) { add (cases, n, only); }
    add_kiss (cases, n);
    add_ffmpeg (cases, n);
    d.fill (unsigned (bits));   // only now: FFTW_MEASURE writes into its arrays
    check (cases, d, type + " 2^" + std::to_string (bits));

    for (const auto &c : cases)
    {
        const std::string name = type + (c._inverse ? "/backward/" : "/forward/") + c._name + "/" + std::to_string (n);
        const T *in = d.input (c._inverse, c._packed);
        benchmark::RegisterBenchmark (name.c_str (), [c, out, in, n] (benchmark::State &state) {
            for (auto _ : state) { c._run (out, in); }
            state.SetLabel (c._label);
            state.counters ["bytes_per_sample"] = c._plan_bytes / n;
            state.counters ["rel_rms_error"] = c._error;
        })
            // Beside the median: the fastest repetition, for comparing two
            // builds of the same code, where a busy moment only adds time.
            ->ComputeStatistics ("min", [] (const std::vector <double> &v) {
                return *std::min_element (v.begin (), v.end ());
            });
    }
    const std::pair <const char *, std::string> CONTEXT [] = {
        { "compiler", QUARN_BENCH_COMPILER }, { "flags", QUARN_BENCH_FLAGS }, { "flags2", QUARN_BENCH_FLAGS2 },
        { "fftw_version", is_double ? fftw_version : fftwf_version },
        { "kissfft_version", QUARN_BENCH_KISSFFT_VERSION }, { "ffmpeg_version", av_version_info () } };
    for (const auto &entry : CONTEXT) { benchmark::AddCustomContext (entry.first, entry.second); }
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
    const std::string only = (argc == 4) ? argv [3] : "";
    // From 2^2: FFmpeg's real transform is wrong for 2 samples.
    if (argc > 4 || bits < 2 || bits > 30 || (type != "float" && type != "double"))
    {
        fail ("usage: quarn_bench float|double 2..30 [PATH] [--benchmark_...]");
    }
    (type == "double") ? run <double> (bits, only) : run <float> (bits, only);
    benchmark::Shutdown ();
}
