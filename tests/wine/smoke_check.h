// One line per check of the smoke harness: "OK: ..." or "FAIL: ...".
#ifndef QVLMR_SMOKE_CHECK_H
#define QVLMR_SMOKE_CHECK_H

#include <windows.h>

#include <string>

// The monitor's key under HKEY_LOCAL_MACHINE.
const char kMonitorKey[] = "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\QV TCP/IP LMR Port";

void Check(bool ok, const char *format, ...) __attribute__((format(printf, 2, 3)));
int Failures();
// A file's bytes, "<unreadable>" when it cannot be opened.
std::string FileBytes(const std::string &path);
// A top-level window of its own class, made and served by a thread of its own (as the
// spooler's windows are); WM_QUIT posted to it ends that thread.
HWND WindowOnItsOwnThread(const char *className, const char *title, WNDPROC proc);

#endif
