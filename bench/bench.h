// What the benchmark's files share: each build of quarn timed is compiled in
// a file of its own and hands its transforms to the main program as Cases.

#ifndef QUARN_BENCH_H
#define QUARN_BENCH_H

#include <malloc.h>

#include <memory>
#include <string>
#include <vector>

namespace quarn_bench
{

// One library's transform for one length, sample type and direction.
struct Case
{
    virtual ~Case () = default;
    virtual void run (void *out, const void *in) = 0;   // one transform

    std::string _name;          // "quarn.AVX2", "quarn2.default", "FFTW", ...
    std::string _label;         // what really runs, where the name does not say
    bool _inverse = false;
    bool _packed = false;       // spectrum as quarn packs it, else (Re, Im) pairs
    double _plan_bytes = 0;     // heap that the plan holds
    double _error = 0;          // relative RMS error that the check found
};

using Cases = std::vector <std::unique_ptr <Case>>;

// glibc's heap in use, malloc's headers included: its growth across a plan's
// creation is what the plan holds, whichever library allocated it.
inline double heap_bytes ()
{
    const struct mallinfo2 info = mallinfo2 ();
    return double (info.uordblks + info.hblkhd);
}

}  // namespace quarn_bench

#endif
