// Painting: paint contexts, fonts and text output, recorded so a test can see each line,
// where it went and in which font, and whether every font made was deleted again.
#include "host_internal.h"

#include <map>

namespace qvhost {

namespace {

const uintptr_t kSystemFont = 0x6F000001;  // the stock font a paint context starts with

struct PaintContext {
    HWND window;
    HGDIOBJ font = (HGDIOBJ)kSystemFont;
    COLORREF color = 0;
    int bkMode = OPAQUE;
};

struct Gdi {
    std::mutex mu;
    uintptr_t next = 0x6F000100;
    std::map<HDC, PaintContext> contexts;
    std::map<HGDIOBJ, FontRecord> fonts;
    int created = 0;
    std::vector<TextRecord> texts;
};

Gdi &G() {
    static Gdi *g = new Gdi;
    return *g;
}

PaintContext *Context(HDC dc) {
    auto it = G().contexts.find(dc);
    return it == G().contexts.end() ? nullptr : &it->second;
}

}  // namespace

std::vector<TextRecord> PaintedText() {
    std::lock_guard<std::mutex> lock(G().mu);
    return G().texts;
}

int LiveFonts() {
    std::lock_guard<std::mutex> lock(G().mu);
    return (int)G().fonts.size();
}

int FontsCreated() {
    std::lock_guard<std::mutex> lock(G().mu);
    return G().created;
}

void ClearPaintRecords() {
    std::lock_guard<std::mutex> lock(G().mu);
    G().texts.clear();
}

}  // namespace qvhost

using namespace qvhost;

extern "C" {

HDC WINAPI BeginPaint(HWND window, LPPAINTSTRUCT paint) {
    std::lock_guard<std::mutex> lock(G().mu);
    HDC dc = (HDC)G().next++;
    G().contexts[dc] = PaintContext{window};
    if (paint) {
        *paint = PAINTSTRUCT();
        paint->hdc = dc;
    }
    return dc;
}

BOOL WINAPI EndPaint(HWND, const PAINTSTRUCT *paint) {
    std::lock_guard<std::mutex> lock(G().mu);
    return paint && G().contexts.erase(paint->hdc) ? TRUE : FALSE;
}

int WINAPI SetBkMode(HDC dc, int mode) {
    std::lock_guard<std::mutex> lock(G().mu);
    PaintContext *c = Context(dc);
    if (!c) return 0;
    int previous = c->bkMode;
    c->bkMode = mode;
    return previous;
}

COLORREF WINAPI SetTextColor(HDC dc, COLORREF color) {
    std::lock_guard<std::mutex> lock(G().mu);
    PaintContext *c = Context(dc);
    if (!c) return 0xFFFFFFFF; /* CLR_INVALID */
    COLORREF previous = c->color;
    c->color = color;
    return previous;
}

HFONT WINAPI CreateFontA(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                         DWORD underline, DWORD strikeOut, DWORD charSet, DWORD outPrecision,
                         DWORD clipPrecision, DWORD quality, DWORD pitchAndFamily, LPCSTR face) {
    std::lock_guard<std::mutex> lock(G().mu);
    HGDIOBJ font = (HGDIOBJ)G().next++;
    G().fonts[font] = FontRecord{height,        width,     escapement,     orientation,     weight,
                                 italic,        underline, strikeOut,      charSet,         outPrecision,
                                 clipPrecision, quality,   pitchAndFamily, face ? face : ""};
    ++G().created;
    return (HFONT)font;
}

HGDIOBJ WINAPI SelectObject(HDC dc, HGDIOBJ object) {
    std::lock_guard<std::mutex> lock(G().mu);
    PaintContext *c = Context(dc);
    if (!c || (object != (HGDIOBJ)kSystemFont && !G().fonts.count(object))) return nullptr;
    HGDIOBJ previous = c->font;
    c->font = object;
    return previous;
}

BOOL WINAPI TextOutA(HDC dc, int x, int y, LPCSTR text, int length) {
    std::lock_guard<std::mutex> lock(G().mu);
    PaintContext *c = Context(dc);
    if (!c || length < 0 || (!text && length)) return FALSE;
    FontRecord font = {};
    auto it = G().fonts.find(c->font);
    if (it != G().fonts.end()) font = it->second;
    G().texts.push_back(TextRecord{c->window, x, y, std::string(text ? text : "", (size_t)length), font,
                                   c->color, c->bkMode});
    return TRUE;
}

// A font still selected into a paint context is not deleted, and so counts as left behind.
BOOL WINAPI DeleteObject(HGDIOBJ object) {
    std::lock_guard<std::mutex> lock(G().mu);
    for (auto &c : G().contexts)
        if (c.second.font == object) return FALSE;
    return G().fonts.erase(object) ? TRUE : FALSE;
}

}  // extern "C"
