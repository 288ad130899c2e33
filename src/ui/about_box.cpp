#include "about_box.h"

#include "../monitor/text.h"
#include "version.h"

#define PRODUCT_TITLE "TCP/IP Quorvane"
#define PRODUCT_VERSION "Version " QVLMR_VERSION_TEXT
#define SUPPORTED_SYSTEMS "95/98/Me"
#define OWNERSHIP_NOTICE "Copyright (C) 1998-2002 QV Systems."
#define RIGHTS_RESERVED "All rights reserved."

#define ABOUT_TEXT_X 7
#define BLACK 0

namespace {

HFONT MakeFont(int height, int weight, const char *face) {
    return CreateFontA(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, VARIABLE_PITCH, face);
}

void WriteLine(HDC dc, int y, const char *text) {
    TextOutA(dc, ABOUT_TEXT_X, y, text, TextLength(text));
}

// The fonts live for one paint only: every paint makes and deletes them.
void PaintAbout(HWND dialog) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(dialog, &paint);
    SetBkMode(dc, TRANSPARENT);

    HFONT titleFont = MakeFont(25, FW_BOLD, "Arial Bold");
    HGDIOBJ previous = SelectObject(dc, titleFont);
    SetTextColor(dc, BLACK);
    WriteLine(dc, 7, PRODUCT_TITLE);
    SelectObject(dc, previous);
    DeleteObject(titleFont);

    HFONT bodyFont = MakeFont(15, FW_NORMAL, "Arial");
    previous = SelectObject(dc, bodyFont);
    SetTextColor(dc, BLACK);
    char line[128];
    CopyText(line, sizeof line, PRODUCT_TITLE);
    AppendText(line, sizeof line, " ");
    AppendText(line, sizeof line, PRODUCT_VERSION);
    WriteLine(dc, 45, line);
    CopyText(line, sizeof line, "for Microsoft (R) Windows");
    AppendText(line, sizeof line, " ");
    AppendText(line, sizeof line, SUPPORTED_SYSTEMS);
    AppendText(line, sizeof line, ".");
    WriteLine(dc, 61, line);
    WriteLine(dc, 77, " ");
    WriteLine(dc, 93, OWNERSHIP_NOTICE);
    WriteLine(dc, 109, RIGHTS_RESERVED);
    SelectObject(dc, previous);
    DeleteObject(bodyFont);
    EndPaint(dialog, &paint);
}

}  // namespace

INT_PTR CALLBACK AboutBoxProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_PAINT: PaintAbout(dialog); return FALSE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK) return EndDialog(dialog, 1), TRUE;
            if (LOWORD(wParam) == IDCANCEL) return EndDialog(dialog, 0), TRUE;
            return FALSE;
        case WM_HELP: return TRUE;
        default: return FALSE;
    }
}
