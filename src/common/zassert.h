#pragma once

// Preconditions of our own operations. They guard programming errors only and stay on in every
// build: a broken invariant must stop the program where it happens, not corrupt data later.

[[noreturn]] void zorbixAssertFailed(const char *file, unsigned line, const char *expression);
[[noreturn]] void zorbixParameterAssertFailed(const char *expression);

#define ZASSERT(expr)                                                                                        \
    ((expr) ? static_cast<void>(0) : zorbixAssertFailed(__FILE__, static_cast<unsigned>(__LINE__), #expr))

// The static server list words its failures as a parameter check.
#define ZPARAMETER_ASSERT(expr) ((expr) ? static_cast<void>(0) : zorbixParameterAssertFailed(#expr))
