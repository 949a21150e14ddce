#pragma once

#include <QByteArray>

#include <functional>

// Runs body in a forked child and returns what it wrote to stderr, for checking the texts of
// failed assertions. Returns "child did not abort" when the child ended without SIGABRT.
QByteArray stderrOfAbortingChild(const std::function<void()> &body);
