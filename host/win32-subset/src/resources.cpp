#include "resources.h"

#include <qvlmr_resources.h>
#include <string.h>

#include "host_internal.h"

namespace qvhost {

namespace {

const WORD kString = 6, kDialog = 5, kVersion = 16;

// The .res bytes, read with every offset checked against their end.
struct Reader {
    const BYTE *data;
    size_t size, at;
    bool ok = true;
    WORD Word() {
        if (at + 2 > size) return ok = false, 0;
        WORD v = (WORD)(data[at] | data[at + 1] << 8);
        at += 2;
        return v;
    }
    DWORD Dword() {
        WORD low = Word();
        return low | (DWORD)Word() << 16;
    }
    void Align(size_t to) { at = (at + to - 1) / to * to; }
    // A UTF-16 text up to its zero, in the ANSI code page (characters past 255 as '?').
    std::string Text() {
        std::string out;
        for (WORD c; ok && (c = Word()) != 0;) out += c < 256 ? (char)c : '?';
        return out;
    }
    // An ordinal (0xFFFF, then a number) or a text; *ordinal is -1 for a text.
    std::string NameOrOrdinal(long *ordinal) {
        *ordinal = -1;
        if (at + 2 <= size && data[at] == 0xFF && data[at + 1] == 0xFF) {
            Word();
            *ordinal = Word();
            return "";
        }
        return Text();
    }
};

// The data of the resource of this type and name (ordinals), from the module's .res bytes.
bool FindResource(HINSTANCE module, WORD type, WORD name, Reader *out) {
    QvResourcesFn fn = (QvResourcesFn)ModuleSymbol(module, "QvlmrResources");
    size_t size = 0;
    const BYTE *bytes = fn ? fn(&size) : nullptr;
    if (!bytes) return false;
    Reader r{bytes, size, 0};
    while (r.ok && r.at + 8 <= size) {
        size_t start = r.at;
        DWORD dataSize = r.Dword(), headerSize = r.Dword();
        long typeId, nameId;
        r.NameOrOrdinal(&typeId);
        r.NameOrOrdinal(&nameId);
        size_t dataAt = start + headerSize;
        if (!r.ok || headerSize < 8 || dataAt + dataSize > size) return false;
        if (typeId == type && nameId == name) {
            *out = Reader{bytes + dataAt, dataSize, 0};
            return true;
        }
        r.at = (dataAt + dataSize + 3) / 4 * 4;
    }
    return false;
}

std::string ClassName(long ordinal, const std::string &name) {
    switch (ordinal) {
        case 0x80: return "Button";
        case 0x81: return "Edit";
        case 0x82: return "Static";
        case 0x83: return "ListBox";
        case 0x84: return "ScrollBar";
        case 0x85: return "ComboBox";
        default: return name;
    }
}

}  // namespace

bool LoadModuleString(HINSTANCE module, UINT id, std::string *text) {
    // A block of sixteen counted texts, named by id / 16 + 1.
    Reader r;
    if (id > 0xFFFF || !FindResource(module, kString, (WORD)(id / 16 + 1), &r)) return false;
    for (UINT i = 0; i < 16 && r.ok; ++i) {
        WORD length = r.Word();
        std::string s;
        for (WORD k = 0; k < length && r.ok; ++k) {
            WORD c = r.Word();
            s += c < 256 ? (char)c : '?';
        }
        if (i == id % 16) {
            *text = s;
            return r.ok && length > 0;
        }
    }
    return false;
}

bool LoadDialogResource(HINSTANCE module, int id, DialogResource *out) {
    Reader r;
    if (id < 0 || id > 0xFFFF || !FindResource(module, kDialog, (WORD)id, &r)) return false;
    if (r.Word() != 1 || r.Word() != 0xFFFF) return false;  // DLGTEMPLATEEX only
    DialogResource d;
    d.id = id;
    r.Dword();  // help id
    d.exStyle = r.Dword();
    d.style = r.Dword();
    WORD count = r.Word();
    d.x = (short)r.Word(), d.y = (short)r.Word(), d.cx = (short)r.Word(), d.cy = (short)r.Word();
    long ordinal;
    r.NameOrOrdinal(&ordinal);  // menu
    r.NameOrOrdinal(&ordinal);  // window class
    d.caption = r.Text();
    d.pointSize = 0;
    if (d.style & (DS_SETFONT | DS_SHELLFONT)) {
        d.pointSize = r.Word();
        r.Word();  // weight
        r.Word();  // italic, character set
        d.fontFace = r.Text();
    }
    for (WORD i = 0; i < count && r.ok; ++i) {
        r.Align(4);
        DialogResourceItem item;
        r.Dword();  // help id
        item.exStyle = r.Dword();
        item.style = r.Dword();
        item.x = (short)r.Word(), item.y = (short)r.Word(), item.cx = (short)r.Word(),
        item.cy = (short)r.Word();
        item.id = (int)r.Dword();
        std::string cls = r.NameOrOrdinal(&ordinal);
        item.className = ClassName(ordinal, cls);
        long textOrdinal;
        item.text = r.NameOrOrdinal(&textOrdinal);
        WORD extra = r.Word();
        r.at += extra;
        d.items.push_back(item);
    }
    if (!r.ok) return false;
    *out = d;
    return true;
}

namespace {

// One VS_VERSIONINFO node at r.at: its length, value length, type (1: text), key, value and
// children, each on a four-byte boundary. The text value of the node keyed name, or "".
std::string FindVersionText(Reader r, const std::string &name, int depth) {
    size_t start = r.at;
    WORD length = r.Word(), valueLength = r.Word(), type = r.Word();
    std::string key = r.Text();
    r.Align(4);
    size_t end = start + length;
    if (!r.ok || length < 6 || end > r.size || depth > 4) return "";
    if (type == 1 && key == name && valueLength) {
        Reader value = r;
        std::string text = value.Text();
        return value.ok ? text : "";
    }
    r.at += type == 1 ? valueLength * 2u : valueLength;
    r.Align(4);
    while (r.ok && r.at + 6 <= end) {
        size_t child = r.at;
        std::string found = FindVersionText(r, name, depth + 1);
        if (!found.empty()) return found;
        r.at = child;
        WORD childLength = r.Word();
        if (!r.ok || childLength < 6) break;
        r.at = child + childLength;
        r.Align(4);
    }
    return "";
}

}  // namespace

std::string ModuleVersionText(HINSTANCE module, const std::string &name) {
    Reader r;
    return FindResource(module, kVersion, 1, &r) ? FindVersionText(r, name, 0) : "";
}

}  // namespace qvhost

// The string table as Windows gives it: the text cut to the buffer, "" and 1814 when missing.
extern "C" int WINAPI LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int bufferMax) {
    std::string text;
    bool found = qvhost::LoadModuleString(instance, id, &text);
    if (!buffer || bufferMax <= 0) return 0;
    if (!found) {
        buffer[0] = 0;
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return 0;
    }
    size_t n = text.size();
    if (n > (size_t)bufferMax - 1) n = (size_t)bufferMax - 1;
    memcpy(buffer, text.data(), n);
    buffer[n] = 0;
    return (int)n;
}
