// Reading a module's resources from their .res bytes, as Windows reads a DLL's: string
// table blocks (RT_STRING), dialog templates (RT_DIALOG, DLGTEMPLATEEX) and the version
// (RT_VERSION). Texts come as UTF-16 and are handed out in the ANSI code page.
#ifndef QVLMR_HOST_RESOURCES_H
#define QVLMR_HOST_RESOURCES_H

#include <windows.h>

#include <string>
#include <vector>

namespace qvhost {

struct DialogResourceItem {
    int id;
    std::string className, text;  // "Button", "Edit", "Static"... as the template names them
    DWORD style, exStyle;
    short x, y, cx, cy;
};
struct DialogResource {
    int id;
    DWORD style, exStyle;
    short x, y, cx, cy;
    std::string caption, fontFace;
    int pointSize;
    std::vector<DialogResourceItem> items;
};

bool LoadModuleString(HINSTANCE module, UINT id, std::string *text);
bool LoadDialogResource(HINSTANCE module, int id, DialogResource *out);

}  // namespace qvhost

#endif
