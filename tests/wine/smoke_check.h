// One line per check of the smoke harness: "OK: ..." or "FAIL: ...".
#ifndef QVLMR_SMOKE_CHECK_H
#define QVLMR_SMOKE_CHECK_H

#include <windows.h>

#include <string>

#include "../../src/monitor/monitor_names.h"
#include "../support/file_bytes.h"

// The monitor's key under HKEY_LOCAL_MACHINE.
const char kMonitorKey[] = MONITOR_KEY_PATH;

void Check(bool ok, const char *format, ...) __attribute__((format(printf, 2, 3)));
// One fact: "OK: fact: seen", or "FAIL: fact: saw seen, expected expected".
void Expect(const std::string &fact, const std::string &seen, const std::string &expected);
int Failures();

#endif
