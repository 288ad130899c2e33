// Dialog templates as the host build carries them: rcgen reads the module's .rc at build
// time and links these tables into the module; the host's dialog manager reads them back
// through the module's QvlmrDialogResource, as Windows reads a DLL's RT_DIALOG resources.
#ifndef QVLMR_RESOURCES_H
#define QVLMR_RESOURCES_H

#include <windows.h>

struct QvDialogItem {
    const char *text;
    int id;
    const char *className;  // "Static", "Edit", "Button"
    DWORD style;            // as compiled: WS_CHILD | WS_VISIBLE | the .rc's style
    DWORD exStyle;
    short x, y, cx, cy;
};

struct QvDialogResource {
    int id;
    DWORD style;
    DWORD exStyle;
    short x, y, cx, cy;
    const char *caption;
    const char *fontFace;
    int pointSize;
    int itemCount;
    const QvDialogItem *items;
};

extern "C" {
typedef const char *(*QvStringResourceFn)(unsigned id);
typedef const QvDialogResource *(*QvDialogResourceFn)(unsigned id);
// A string value of the module's VERSIONINFO ("FileVersion", ...), null when it has none.
typedef const char *(*QvVersionResourceFn)(const char *name);
}

#endif
