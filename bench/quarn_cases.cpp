// quarn's cases: one per instruction-set path that runs at the length, and
// the default. Compiled once per build compared, with -Dquarn=<its name> so
// that the linker cannot merge one build's inline functions into another's.
// QUARN_BENCH_BASELINE: an older revision's headers, of which only the
// interface that such revisions have is used.

#include "bench.h"
#include "quarn/FFTReal.h"

#include <cstring>

namespace
{

using quarn::FFTReal;
using quarn::FFTRealIsa;

const char * name_of (FFTRealIsa isa)
{
#if defined (QUARN_BENCH_BASELINE)
    const char *NAMES [] = { "AUTO", "SCALAR", "SSE2", "AVX2", "AVX512" };
    return (int (isa) < 5) ? NAMES [int (isa)] : "?";
#else
    return quarn::FFTReal_isa_name (isa);
#endif
}

template <class T>
struct QuarnCase : quarn_bench::Case
{
    QuarnCase (std::shared_ptr <const FFTReal <T>> fft, const std::string &path, bool inverse, double bytes)
    :   _fft (std::move (fft))
    {
        _name = std::string (QUARN_BENCH_LIB) + "." + path;
        _label = name_of (_fft->isa ());
        _inverse = inverse;
        _packed = true;
        _plan_bytes = bytes;
    }
    void run (void *out, const void *in) override
    {
        _inverse ? _fft->backward (static_cast <T *> (out), static_cast <const T *> (in))
                 : _fft->forward (static_cast <T *> (out), static_cast <const T *> (in));
    }

    std::shared_ptr <const FFTReal <T>> _fft;
};

// One object serves both directions, which both show its memory. A path is
// kept only where it runs (below its minimum length a narrower one runs).
template <class T>
void add (quarn_bench::Cases &cases, int n, const std::string &path, const FFTRealIsa *isa)
{
    const double before = quarn_bench::heap_bytes ();
    auto fft = (isa != nullptr) ? std::make_shared <const FFTReal <T>> (n, *isa)
                                : std::make_shared <const FFTReal <T>> (n);
    const double bytes = quarn_bench::heap_bytes () - before;
    if (isa == nullptr || fft->isa () == *isa)
    {
        cases.push_back (std::make_unique <QuarnCase <T>> (fft, path, false, bytes));
        cases.push_back (std::make_unique <QuarnCase <T>> (fft, path, true, bytes));
    }
}

// Every enumerator after AUTO up to the first without a name, so that a path
// added later is timed with no change here; `only` keeps one, or "default".
template <class T>
void add_all (quarn_bench::Cases &cases, int n, const std::string &only)
{
    for (int i = 1; std::strcmp (name_of (FFTRealIsa (i)), "?") != 0; ++ i)
    {
        const FFTRealIsa isa = FFTRealIsa (i);
        if ((only.empty () || only == name_of (isa)) && FFTReal <T>::isa_available (isa))
        {
            add <T> (cases, n, name_of (isa), &isa);
        }
    }
    if (only.empty () || only == "default")
    {
        add <T> (cases, n, "default", nullptr);
    }
}

}  // namespace

namespace quarn::bench
{

void add_cases (quarn_bench::Cases &cases, int n, bool is_double, const std::string &only)
{
    is_double ? add_all <double> (cases, n, only) : add_all <float> (cases, n, only);
}

}  // namespace quarn::bench
