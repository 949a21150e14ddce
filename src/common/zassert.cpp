#include "zassert.h"

#include <cstdio>
#include <cstdlib>

void zorbixAssertFailed(const char *file, unsigned line, const char *expression)
{
    std::fprintf(stderr, "%s:%u: failed assertion `%s'\n", file, line, expression);
    std::fflush(stderr);
    std::abort();
}

void zorbixParameterAssertFailed(const char *expression)
{
    std::fprintf(stderr, "Invalid parameter not satisfying: %s\n", expression);
    std::fflush(stderr);
    std::abort();
}
