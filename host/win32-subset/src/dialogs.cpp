// The dialog manager: modal dialogs built from the module's own templates, their controls,
// a per-thread message queue, focus, notifications, message boxes and help requests; the
// USER32 calls the monitor makes on them. The driver that plays the user is in
// dialog_driver.cpp, what tests read back in dialog_inspection.cpp.
#include "dialog_internal.h"

#include "resources.h"

#include <memory>
#include <stdio.h>
#include <string.h>

#include <algorithm>

namespace qvhost {
namespace dialogs {

Manager &M() {
    static Manager *m = new Manager;  // outlives threads still waiting at exit
    return *m;
}

HWND NewHandle() {
    return (HWND)(kLocalBase + M().nextHandle++);
}

// All lookups below expect M().mu held.
Dialog *FindDialog(HWND h) {
    auto it = M().dialogs.find(h);
    return it == M().dialogs.end() ? nullptr : it->second;
}
Control *FindControl(HWND dialog, int id, Dialog **owner) {
    Dialog *d = FindDialog(dialog);
    if (!d) return nullptr;
    for (Control &c : d->controls)
        if (c.id == id) {
            if (owner) *owner = d;
            return &c;
        }
    return nullptr;
}
Control *ControlByHandle(HWND h, Dialog **owner) {
    auto it = M().controls.find(h);
    if (it == M().controls.end()) return nullptr;
    if (owner) *owner = it->second.first;
    return &it->second.first->controls[it->second.second];
}
bool HasEntryFor(DWORD thread) {
    for (const Entry &e : M().queue)
        if (e.thread == thread) return true;
    return false;
}
bool ThreadIdle(DWORD thread) {
    return M().waiting[thread] && !HasEntryFor(thread) && ActiveLookups() == 0;
}

INT_PTR Send(Dialog *d, UINT msg, WPARAM w, LPARAM l) {
    return d->proc(d->hwnd, msg, w, l);
}
void Notify(Dialog *d, const Control &c, WORD code) {
    Send(d, WM_COMMAND, MAKEWPARAM(c.id, code), (LPARAM)c.hwnd);
}

void ChangeText(HWND dialog, int id, const std::string &text, bool notify) {
    Dialog *d;
    Control *c;
    {
        std::lock_guard<std::mutex> lock(M().mu);
        c = FindControl(dialog, id, &d);
        if (!c) return;
        c->text = text;
        notify = notify && c->Is("Edit");
    }
    if (notify) {
        Notify(d, *c, EN_UPDATE);
        Notify(d, *c, EN_CHANGE);
    }
}

HWND FirstTabStop(Dialog *d) {
    for (const Control &c : d->controls)
        if ((c.style & WS_TABSTOP) && c.enabled) return c.hwnd;
    return nullptr;
}

void Post(DWORD thread, HWND hwnd, UINT msg, WPARAM w, LPARAM l, std::function<void()> action) {
    M().queue.push_back(Entry{thread, hwnd, msg, w, l, std::move(action)});
    M().cv.notify_all();
}

void Dispatch(Entry &e) {
    if (e.action) {
        e.action();
        return;
    }
    Dialog *d;
    {
        std::lock_guard<std::mutex> lock(M().mu);
        d = FindDialog(e.hwnd);
    }
    if (!d) return;
    INT_PTR handled = Send(d, e.msg, e.w, e.l);
    if (!handled && e.msg == WM_CLOSE) {
        Control *cancel;
        {
            std::lock_guard<std::mutex> lock(M().mu);
            cancel = FindControl(d->hwnd, IDCANCEL);
            if (cancel && !cancel->enabled) return;
        }
        Send(d, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), cancel ? (LPARAM)cancel->hwnd : 0);
    }
}

}  // namespace dialogs

using namespace dialogs;

bool IsLocalWindow(HWND h) {
    uintptr_t v = (uintptr_t)h;
    return v > kLocalBase && v < kLocalBase + 0x00FFFFFF;
}

bool PostToLocalWindow(HWND h, UINT msg, WPARAM w, LPARAM l) {
    std::lock_guard<std::mutex> lock(M().mu);
    Dialog *d = FindDialog(h);
    if (!d) return false;
    Post(d->thread, h, msg, w, l);
    return true;
}

DWORD LocalWindowThread(HWND h) {
    std::lock_guard<std::mutex> lock(M().mu);
    Dialog *d = FindDialog(h);
    Dialog *owner = nullptr;
    if (!d && ControlByHandle(h, &owner)) d = owner;
    return d ? d->thread : 0;
}

void NotifyDialogs() {
    std::lock_guard<std::mutex> lock(M().mu);
    M().cv.notify_all();
}

}  // namespace qvhost

using namespace qvhost;

extern "C" {

INT_PTR WINAPI DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND parent, DLGPROC proc,
                               LPARAM param) {
    uintptr_t id = (uintptr_t)templateName;
    DialogResource res;
    if (id > 0xFFFF || !LoadDialogResource(instance, (int)id, &res) || !proc) {
        SetLastError(1814); /* ERROR_RESOURCE_NAME_NOT_FOUND */
        return -1;
    }
    std::unique_ptr<Dialog> d(new Dialog);
    Dialog *parentDialog = nullptr;
    {
        std::lock_guard<std::mutex> lock(M().mu);
        d->hwnd = NewHandle();
        d->templateId = res.id;
        d->proc = proc;
        d->parent = parent;
        d->thread = GetCurrentThreadId();
        d->caption = res.caption;
        d->serial = M().nextSerial++;
        for (const DialogResourceItem &item : res.items) {
            d->controls.push_back(Control{NewHandle(), item.id, item.className, item.text, item.style,
                                          !(item.style & WS_DISABLED)});
        }
        for (size_t i = 0; i < d->controls.size(); ++i) M().controls[d->controls[i].hwnd] = {d.get(), i};
        M().dialogs[d->hwnd] = d.get();
        parentDialog = FindDialog(parent);
        if (parentDialog) parentDialog->enabled = false;  // modal: the owner takes no input
        M().cv.notify_all();
    }
    DWORD thread = d->thread;
    if (Send(d.get(), WM_INITDIALOG, (WPARAM)FirstTabStop(d.get()), param)) {
        std::lock_guard<std::mutex> lock(M().mu);
        d->focus = FirstTabStop(d.get());
    }
    {
        std::lock_guard<std::mutex> lock(M().mu);
        if (!d->ended) Post(thread, d->hwnd, WM_PAINT, 0, 0);  // shown
    }
    for (;;) {
        Entry e;
        {
            std::unique_lock<std::mutex> lock(M().mu);
            M().waiting[thread] = true;
            M().cv.notify_all();
            M().cv.wait(lock, [&] { return d->ended || HasEntryFor(thread); });
            M().waiting[thread] = false;
            if (d->ended) break;
            for (auto it = M().queue.begin(); it != M().queue.end(); ++it)
                if (it->thread == thread) {
                    e = std::move(*it);
                    M().queue.erase(it);
                    break;
                }
        }
        Dispatch(e);
    }
    Send(d.get(), WM_DESTROY, 0, 0);
    std::vector<Entry> late;  // input that came too late: answered as for a closed dialog
    {
        std::lock_guard<std::mutex> lock(M().mu);
        for (const Control &c : d->controls) M().controls.erase(c.hwnd);
        M().dialogs.erase(d->hwnd);
        for (auto it = M().queue.begin(); it != M().queue.end();) {
            if (it->hwnd != d->hwnd) {
                ++it;
                continue;
            }
            if (it->action) late.push_back(std::move(*it));
            it = M().queue.erase(it);
        }
        if (parentDialog && FindDialog(parent)) parentDialog->enabled = true;
        if (M().foreground == d->hwnd) M().foreground = parent;
    }
    for (Entry &e : late) e.action();
    std::lock_guard<std::mutex> lock(M().mu);
    M().cv.notify_all();
    return d->result;
}

BOOL WINAPI EndDialog(HWND dialog, INT_PTR result) {
    std::lock_guard<std::mutex> lock(M().mu);
    Dialog *d = FindDialog(dialog);
    if (!d) return Failed(ERROR_INVALID_WINDOW_HANDLE, FALSE);
    d->ended = true;
    d->result = result;
    M().cv.notify_all();
    return TRUE;
}

HWND WINAPI GetDlgItem(HWND dialog, int id) {
    std::lock_guard<std::mutex> lock(M().mu);
    Control *c = FindControl(dialog, id);
    return c ? c->hwnd : nullptr;
}

BOOL WINAPI SetDlgItemTextA(HWND dialog, int id, LPCSTR text) {
    {
        std::lock_guard<std::mutex> lock(M().mu);
        Control *c = FindControl(dialog, id);
        if (!c) return FALSE;
    }
    ChangeText(dialog, id, text ? text : "", true);
    return TRUE;
}

UINT WINAPI GetDlgItemTextA(HWND dialog, int id, LPSTR buffer, int bufferMax) {
    std::lock_guard<std::mutex> lock(M().mu);
    Control *c = FindControl(dialog, id);
    if (!buffer || bufferMax <= 0) return 0;
    size_t n = c ? std::min(c->text.size(), (size_t)bufferMax - 1) : 0;
    if (n) memcpy(buffer, c->text.data(), n);
    buffer[n] = 0;
    return (UINT)n;
}

BOOL WINAPI SetDlgItemInt(HWND dialog, int id, UINT value, BOOL isSigned) {
    char text[16];
    snprintf(text, sizeof text, isSigned ? "%d" : "%u", isSigned ? (int)value : value);
    return SetDlgItemTextA(dialog, id, text);
}

// Leading and trailing blanks are allowed; anything else than digits is not a number.
UINT WINAPI GetDlgItemInt(HWND dialog, int id, BOOL *translated, BOOL isSigned) {
    std::string text;
    {
        std::lock_guard<std::mutex> lock(M().mu);
        Control *c = FindControl(dialog, id);
        if (c) text = c->text;
    }
    if (translated) *translated = FALSE;
    size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = isSigned && i < text.size() && text[i] == '-';
    if (negative) ++i;
    size_t digits = i;
    unsigned long long v = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        v = v * 10 + (unsigned)(text[i++] - '0');
        if (v > (isSigned ? 0x80000000ull : 0xFFFFFFFFull)) return 0;
    }
    while (i < text.size() && text[i] == ' ') ++i;
    if (i == digits || i != text.size()) return 0;
    if (isSigned && !negative && v > 0x7FFFFFFFull) return 0;
    if (translated) *translated = TRUE;
    return negative ? (UINT)(-(long long)v) : (UINT)v;
}

LRESULT WINAPI SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM) {
    std::lock_guard<std::mutex> lock(M().mu);
    Control *c = FindControl(dialog, id);
    if (!c) return 0;
    if (message == EM_LIMITTEXT && c->Is("Edit")) c->limit = wParam ? wParam : 0x7FFFFFFE;
    return 0;
}

BOOL WINAPI CheckDlgButton(HWND dialog, int id, UINT check) {
    std::lock_guard<std::mutex> lock(M().mu);
    Control *c = FindControl(dialog, id);
    if (!c) return FALSE;
    c->checked = check;
    return TRUE;
}

BOOL WINAPI CheckRadioButton(HWND dialog, int firstId, int lastId, int checkId) {
    std::lock_guard<std::mutex> lock(M().mu);
    Dialog *d = FindDialog(dialog);
    if (!d) return FALSE;
    for (Control &c : d->controls)
        if (c.id >= firstId && c.id <= lastId) c.checked = c.id == checkId ? BST_CHECKED : BST_UNCHECKED;
    return TRUE;
}

UINT WINAPI IsDlgButtonChecked(HWND dialog, int id) {
    std::lock_guard<std::mutex> lock(M().mu);
    Control *c = FindControl(dialog, id);
    return c ? c->checked : 0;
}

BOOL WINAPI EnableWindow(HWND window, BOOL enable) {
    std::lock_guard<std::mutex> lock(M().mu);
    bool *state = nullptr;
    if (Control *c = ControlByHandle(window))
        state = &c->enabled;
    else if (Dialog *d = FindDialog(window))
        state = &d->enabled;
    if (!state) return FALSE;
    BOOL wasDisabled = !*state;
    *state = enable != FALSE;
    return wasDisabled;
}

BOOL WINAPI IsWindowEnabled(HWND window) {
    std::lock_guard<std::mutex> lock(M().mu);
    if (Control *c = ControlByHandle(window)) return c->enabled;
    Dialog *d = FindDialog(window);
    return d && d->enabled;
}

HWND WINAPI SetFocus(HWND window) {
    std::lock_guard<std::mutex> lock(M().mu);
    Dialog *owner = nullptr;
    if (!ControlByHandle(window, &owner)) owner = FindDialog(window);
    if (!owner) return nullptr;
    HWND previous = owner->focus;
    owner->focus = window;
    return previous;
}

HWND WINAPI GetFocus(void) {
    std::lock_guard<std::mutex> lock(M().mu);
    DWORD thread = GetCurrentThreadId();
    Dialog *newest = nullptr;
    for (auto &p : M().dialogs)
        if (p.second->thread == thread && (!newest || p.second->serial > newest->serial)) newest = p.second;
    return newest ? newest->focus : nullptr;
}

BOOL WINAPI SetForegroundWindow(HWND window) {
    std::lock_guard<std::mutex> lock(M().mu);
    M().foreground = window;
    return TRUE;
}

LONG_PTR WINAPI GetWindowLongPtrA(HWND window, int index) {
    std::lock_guard<std::mutex> lock(M().mu);
    Dialog *d = FindDialog(window);
    if (!d || index < 0 || index > (int)DWLP_USER || index % sizeof(LONG_PTR)) return 0;
    return d->longs[index / sizeof(LONG_PTR)];
}

LONG_PTR WINAPI SetWindowLongPtrA(HWND window, int index, LONG_PTR value) {
    std::lock_guard<std::mutex> lock(M().mu);
    Dialog *d = FindDialog(window);
    if (!d || index < 0 || index > (int)DWLP_USER || index % sizeof(LONG_PTR)) {
        SetLastError(1413); /* ERROR_INVALID_INDEX */
        return 0;
    }
    LONG_PTR previous = d->longs[index / sizeof(LONG_PTR)];
    d->longs[index / sizeof(LONG_PTR)] = value;
    return previous;
}

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    MessageBoxRecord box{owner, caption ? caption : "Error", text ? text : "", type};
    std::function<void(const MessageBoxRecord &)> hook;
    {
        std::lock_guard<std::mutex> lock(M().mu);
        M().boxes.push_back(box);
        hook = M().boxHook;
    }
    if (hook) hook(box);
    return IDOK;
}

BOOL WINAPI WinHelpA(HWND window, LPCSTR helpFile, UINT command, ULONG_PTR data) {
    std::lock_guard<std::mutex> lock(M().mu);
    M().helps.push_back(HelpRecord{window, helpFile ? helpFile : "", command, data});
    return TRUE;
}

BOOL WINAPI AttachThreadInput(DWORD from, DWORD to, BOOL attach) {
    std::lock_guard<std::mutex> lock(M().mu);
    M().attachments.push_back(InputAttachment{from, to, attach});
    return from && to && from != to;  // a failure leaves the last error alone
}

}  // extern "C"
