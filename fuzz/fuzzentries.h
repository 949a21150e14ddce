#pragma once

#include <cstddef>
#include <cstdint>

// Entry points shared by the libFuzzer targets and the corpus regression test. Each one aborts
// (ZASSERT) when an invariant breaks; any crash or sanitizer report is a finding.

// The bytes as a stream of chunks through a connection pool: chunk sizes come from the first two
// bytes, every whole frame is taken out and its payload decoded.
int fuzzPoolOneInput(const uint8_t *data, size_t size);
// The bytes as a payload: decoded, and when that succeeds encoded again; encoding is stable.
int fuzzArchiveOneInput(const uint8_t *data, size_t size);
// The bytes as a payload: the one-pass check and the strict decoder give the same verdict, and
// where both accept, the same message.
int fuzzWalkerOneInput(const uint8_t *data, size_t size);
// The bytes as the content of a vCard file: every card read is written back as the store writes
// a new card, and reading and writing that again changes nothing; a file of one card, edited as
// the store edits a stored card, is the same bytes when nothing changed, gains exactly the lines
// of an added value (and REV), and reads back as the record that was changed (vcardfuzzentry.cpp).
int fuzzVCardOneInput(const uint8_t *data, size_t size);
