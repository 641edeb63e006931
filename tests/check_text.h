// Death-test patterns for a failed check: its expression text, escaped.

#ifndef QUARN_TESTS_CHECK_TEXT_H
#define QUARN_TESTS_CHECK_TEXT_H

#include <string>

namespace qtest
{

// A regular expression matching the report of the failed check `expr`.
inline std::string check_text (const std::string &expr)
{
    std::string re;
    for (char ch : expr)
    {
        if (std::string ("\\^$.|?*+()[]{}").find (ch) != std::string::npos)
        {
            re += '\\';
        }
        re += ch;
    }
    return "Assertion `" + re + "' failed";
}

}  // namespace qtest

#endif  // QUARN_TESTS_CHECK_TEXT_H
