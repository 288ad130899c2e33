// A window of the spooler's for the Wine run: top-level, of its own class, made and served
// by a thread of its own, as the spooler's windows are; WM_QUIT posted to it ends that
// thread. The setup dialog's owner.
#ifndef QVLMR_SPOOLER_WINDOW_H
#define QVLMR_SPOOLER_WINDOW_H

#include <windows.h>

HWND WindowOnItsOwnThread(const char *className, const char *title, WNDPROC proc);

#endif
