// What the benchmark's files share: each build of quarn timed is compiled in
// a file of its own (quarn_cases.cpp), which registers what adds its cases.

#ifndef QUARN_BENCH_H
#define QUARN_BENCH_H

#include <malloc.h>

#include <functional>
#include <string>
#include <vector>

namespace quarn_bench
{

// One library's transform for one length, sample type and direction.
template <class T>
struct Case
{
    std::string _name;          // "quarn.AVX2", "quarn2.default", "FFTW", ...
    std::string _label;         // what really runs, where the name does not say
    bool _inverse;
    bool _packed;               // spectrum as quarn packs it, else (Re, Im) pairs
    double _plan_bytes;         // heap that the plan holds
    std::function <void (T *out, const T *in)> _run;   // owns the plan
    double _error = 0;          // relative RMS error that the check found
};

template <class T>
using Cases = std::vector <Case <T>>;

// What adds each build's cases for a length, filled as the files of quarn's
// builds are initialized; `only` keeps one path, or "default".
template <class T>
using AddCases = void (*) (Cases <T> &, int n, const std::string &only);
template <class T>
std::vector <AddCases <T>> & builds ()
{
    static std::vector <AddCases <T>> all;
    return all;
}

// glibc's heap in use, malloc's headers included: its growth across a plan's
// creation is what the plan holds, whichever library allocated it.
inline double heap_bytes ()
{
    const struct mallinfo2 info = mallinfo2 ();
    return double (info.uordblks + info.hblkhd);
}

}  // namespace quarn_bench

#endif
