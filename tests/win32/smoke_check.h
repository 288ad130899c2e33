// One line per check of the smoke harness: "OK: ..." or "FAIL: ...".
#ifndef QVLMR_SMOKE_CHECK_H
#define QVLMR_SMOKE_CHECK_H

#include <string>

void Check(bool ok, const char *format, ...) __attribute__((format(printf, 2, 3)));
int Failures();
// Texts for a check line: a job's status texts "A|B|C", printable bytes of a wire header.
std::string Printable(const std::string &bytes);

#endif
