// quarn's cases. Compiled once per build compared, with -Dquarn=<its name> so
// that the linker cannot merge one build's inline functions into another's.
// QUARN_BENCH_BASELINE: an older revision's headers, of which only the
// interface that such revisions have is used.

#include "bench.h"
#include "quarn/FFTReal.h"

#include <memory>

namespace
{

using quarn::FFTReal;
using quarn::FFTRealIsa;

std::string name_of (FFTRealIsa isa)
{
#if defined (QUARN_BENCH_BASELINE)
    const char *NAMES [] = { "AUTO", "SCALAR", "SSE2", "AVX2", "AVX512" };
    return (int (isa) < 5) ? NAMES [int (isa)] : "?";
#else
    return quarn::FFTReal_isa_name (isa);
#endif
}

// Every enumerator after AUTO up to the first without a name, so that a path
// added later is timed with no change here, then the default (AUTO). A path
// is kept only where it runs: below its minimum length a narrower one does.
// One object serves both directions, which both show its memory.
template <class T>
void add (quarn_bench::Cases <T> &cases, int n, const std::string &only)
{
    std::vector <FFTRealIsa> isas;
    for (int i = 1; name_of (FFTRealIsa (i)) != "?"; ++ i) { isas.push_back (FFTRealIsa (i)); }
    isas.push_back (FFTRealIsa::AUTO);
    for (const FFTRealIsa isa : isas)
    {
        const bool is_default = (isa == FFTRealIsa::AUTO);
        const std::string path = is_default ? "default" : name_of (isa);
        if ((! only.empty () && only != path) || ! (is_default || FFTReal <T>::isa_available (isa))) { continue; }
        const double before = quarn_bench::heap_bytes ();
        const auto fft = is_default ? std::make_shared <const FFTReal <T>> (n)
                                    : std::make_shared <const FFTReal <T>> (n, isa);
        const double bytes = quarn_bench::heap_bytes () - before;
        if (! is_default && fft->isa () != isa) { continue; }
        for (const bool inverse : { false, true })
        {
            cases.push_back ({ QUARN_BENCH_LIB "." + path, name_of (fft->isa ()), inverse, true, bytes,
                               [fft, inverse] (T *out, const T *in) {
                                   inverse ? fft->backward (out, in) : fft->forward (out, in);
                               } });
        }
    }
}

const bool REGISTERED = (quarn_bench::builds <float> ().push_back (add <float>),
                         quarn_bench::builds <double> ().push_back (add <double>), true);

}  // namespace
