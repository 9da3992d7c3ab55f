#pragma once

// What every zul-admin command prints and how it ends: results on standard output, problems on
// standard error with the program's name, and one exit status for each outcome.

#include <QString>
#include <cstdio>

namespace zul::admin {

using namespace Qt::StringLiterals;

constexpr int ExitOk = 0;
constexpr int ExitFailure = 1;
constexpr int ExitUsage = 2;

inline void out(const QString& text)
{
    std::fputs(qUtf8Printable(text + u'\n'), stdout);
}

inline void err(const QString& text)
{
    std::fflush(stdout);
    std::fputs(qUtf8Printable(u"zul-admin: "_s + text + u'\n'), stderr);
}

// A command given the wrong words: says what and where to look, and ends with ExitUsage.
inline int usage(const QString& problem)
{
    err(problem);
    err(u"try 'zul-admin --help'"_s);
    return ExitUsage;
}

} // namespace zul::admin
