// The About box (template 500): title, version and systems, painted in two fonts.
#ifndef QVLMR_ABOUT_BOX_H
#define QVLMR_ABOUT_BOX_H

#include <windows.h>

INT_PTR CALLBACK AboutBoxProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

#endif
