// SPDX-License-Identifier: MIT
// The check that stays on in every build, for what must never slip through
// (a length that would make a transform run off the caller's arrays).

#ifndef QUARN_DETAIL_CHECK_H
#define QUARN_DETAIL_CHECK_H

#include <cstdio>
#include <cstdlib>

namespace quarn::detail
{

// Reports a failed check the way a failed assertion does, then aborts.
[[noreturn]] inline void check_failed (const char *expr, const char *file,
                                       int line, const char *func)
{
    std::fprintf (stderr, "%s:%d: %s: Assertion `%s' failed.\n",
                  file, line, func, expr);
    std::fflush (stderr);
    std::abort ();
}

}  // namespace quarn::detail

#define QUARN_CHECK(expr)                                                   \
    ((expr) ? void (0)                                                      \
            : ::quarn::detail::check_failed (#expr, __FILE__, __LINE__, __func__))

#endif  // QUARN_DETAIL_CHECK_H
