// The dialog manager: modal dialogs built from the module's own templates, their controls,
// a per-thread message queue, focus, notifications, message boxes and help requests, and
// the driver that plays the user.
#include "host_internal.h"

#include <qvlmr_resources.h>

#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <stdio.h>
#include <string.h>
#include <strings.h>

#include <algorithm>

namespace qvhost {

namespace {

const uintptr_t kLocalBase = 0x7F000000;
const size_t kDefaultLimit = 30000;

struct Control {
    HWND hwnd;
    int id;
    std::string className, text;
    DWORD style;
    bool enabled;
    UINT checked = BST_UNCHECKED;
    size_t limit = kDefaultLimit;
    bool Is(const char *cls) const { return strcasecmp(className.c_str(), cls) == 0; }
    DWORD ButtonType() const { return style & BS_TYPEMASK; }
};

struct Dialog {
    HWND hwnd;
    int templateId;
    DLGPROC proc;
    HWND parent;
    DWORD thread;
    std::string caption;
    std::vector<Control> controls;  // never resized after creation: pointers stay valid
    LONG_PTR longs[3] = {0, 0, 0};
    HWND focus = nullptr;
    bool enabled = true, ended = false;
    INT_PTR result = 0;
    uint64_t serial;
};

struct Entry {
    DWORD thread;
    HWND hwnd;
    UINT msg;
    WPARAM w;
    LPARAM l;
    std::function<void()> action;  // driver input, run on the dialog's thread
};

struct Manager {
    std::mutex mu;
    std::condition_variable cv;
    std::map<HWND, Dialog *> dialogs;
    std::map<HWND, std::pair<Dialog *, size_t>> controls;
    std::deque<Entry> queue;
    std::map<DWORD, bool> waiting;  // the thread's innermost modal loop waits for input
    uintptr_t nextHandle = 1;
    uint64_t nextSerial = 1;
    HWND foreground = nullptr;
    std::vector<MessageBoxRecord> boxes;
    std::vector<HelpRecord> helps;
    std::vector<InputAttachment> attachments;
    std::function<void(const MessageBoxRecord &)> boxHook;
};

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
Control *FindControl(HWND dialog, int id, Dialog **owner = nullptr) {
    Dialog *d = FindDialog(dialog);
    if (!d) return nullptr;
    for (Control &c : d->controls)
        if (c.id == id) {
            if (owner) *owner = d;
            return &c;
        }
    return nullptr;
}
Control *ControlByHandle(HWND h, Dialog **owner = nullptr) {
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

// Sets an edit field's text and reports the change as Windows does, on the calling thread.
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

void Post(DWORD thread, HWND hwnd, UINT msg, WPARAM w, LPARAM l, std::function<void()> action = nullptr) {
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

// Runs one piece of user input on the dialog's thread; waits until it ran, or until it
// opened a nested modal box that now waits for input, and the thread is idle again.
bool Act(HWND dialog, std::function<bool(Dialog *)> input) {
    struct Progress {
        bool started = false, finished = false, result = true;
    };
    auto done = std::make_shared<Progress>();
    DWORD thread;
    {
        std::unique_lock<std::mutex> lock(M().mu);
        Dialog *d = FindDialog(dialog);
        if (!d || d->ended) return false;
        thread = d->thread;
        Post(thread, dialog, 0, 0, 0, [dialog, input, done] {
            Dialog *target;
            {
                std::lock_guard<std::mutex> lock(M().mu);
                done->started = true;
                target = FindDialog(dialog);
                if (target && (!target->enabled || target->ended)) target = nullptr;
            }
            bool result = target ? input(target) : false;
            std::lock_guard<std::mutex> lock(M().mu);
            done->finished = true;
            done->result = result;
            M().cv.notify_all();
        });
        if (!M().cv.wait_for(lock, std::chrono::seconds(30),
                             [&] { return done->finished || (done->started && ThreadIdle(thread)); }))
            return false;
    }
    WaitDialogIdle(dialog, 30000);
    std::lock_guard<std::mutex> lock(M().mu);
    return done->result;
}

// The control for input by the user: it must exist and be enabled.
Control *InputControl(Dialog *d, int id) {
    std::lock_guard<std::mutex> lock(M().mu);
    Control *c = FindControl(d->hwnd, id);
    return c && c->enabled ? c : nullptr;
}

// An enabled, writable edit field, given the focus as a click into it would.
Control *FocusEditable(Dialog *d, int id) {
    Control *c = InputControl(d, id);
    if (!c || !c->Is("Edit") || (c->style & ES_READONLY)) return nullptr;
    std::lock_guard<std::mutex> lock(M().mu);
    d->focus = c->hwnd;
    return c;
}

void ClickOn(Dialog *d, Control *c) {
    {
        std::lock_guard<std::mutex> lock(M().mu);
        if (!c->Is("Static") && c->ButtonType() != BS_GROUPBOX) d->focus = c->hwnd;
        if (c->Is("Button") && c->ButtonType() == BS_AUTOCHECKBOX)
            c->checked = c->checked ? BST_UNCHECKED : BST_CHECKED;
        if (c->Is("Button") && c->ButtonType() == BS_AUTORADIOBUTTON) {
            // the radio buttons of its group: from the last WS_GROUP at or before it to the next
            size_t at = c - &d->controls[0], first = at, last = at;
            while (first > 0 && !(d->controls[first].style & WS_GROUP)) --first;
            while (last + 1 < d->controls.size() && !(d->controls[last + 1].style & WS_GROUP)) ++last;
            for (size_t i = first; i <= last; ++i)
                if (d->controls[i].Is("Button") && d->controls[i].ButtonType() == BS_AUTORADIOBUTTON)
                    d->controls[i].checked = i == at ? BST_CHECKED : BST_UNCHECKED;
        }
    }
    if (c->Is("Button")) Notify(d, *c, BN_CLICKED);
}

bool PressCommand(Dialog *d, int id) {
    Control *c;
    {
        std::lock_guard<std::mutex> lock(M().mu);
        c = FindControl(d->hwnd, id);
        if (c && !c->enabled) return false;
    }
    Send(d, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), c ? (LPARAM)c->hwnd : 0);
    return true;
}

}  // namespace

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

// ---- driver -----------------------------------------------------------------------------

HWND WaitForDialog(int templateId, DWORD thread, int timeoutMs) {
    std::unique_lock<std::mutex> lock(M().mu);
    HWND found = nullptr;
    auto pick = [&] {
        uint64_t best = 0;
        for (auto &p : M().dialogs) {
            Dialog *d = p.second;
            if (d->templateId == templateId && !d->ended && (!thread || d->thread == thread) &&
                d->serial > best) {
                best = d->serial;
                found = d->hwnd;
            }
        }
        return found != nullptr;
    };
    M().cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), pick);
    if (!found) return nullptr;
    DWORD t = FindDialog(found)->thread;
    M().cv.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                    [&] { return !FindDialog(found) || ThreadIdle(t); });
    return FindDialog(found) ? found : nullptr;
}

bool WaitDialogClosed(HWND dialog, int timeoutMs) {
    std::unique_lock<std::mutex> lock(M().mu);
    return M().cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return !FindDialog(dialog); });
}

bool WaitDialogIdle(HWND dialog, int timeoutMs) {
    std::unique_lock<std::mutex> lock(M().mu);
    return M().cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        Dialog *d = FindDialog(dialog);
        return !d || ThreadIdle(d->thread);
    });
}

bool TypeText(HWND dialog, int id, const std::string &text) {
    return Act(dialog, [id, text](Dialog *d) {
        Control *c = FocusEditable(d, id);
        if (!c) return false;
        bool selected = true;  // the whole text, as a click into the field and Ctrl+A leave it
        if (text.empty() && !c->text.empty()) ChangeText(d->hwnd, id, "", true);
        for (char ch : text) {
            std::string now = selected ? std::string() : c->text;
            if ((c->style & ES_NUMBER) && !(ch >= '0' && ch <= '9')) continue;  // refused key
            if (now.size() >= c->limit) continue;
            selected = false;
            ChangeText(d->hwnd, id, now + ch, true);
        }
        return true;
    });
}

bool PasteText(HWND dialog, int id, const std::string &text) {
    return Act(dialog, [id, text](Dialog *d) {
        Control *c = FocusEditable(d, id);
        if (!c) return false;
        ChangeText(d->hwnd, id, text.substr(0, std::min(text.size(), c->limit)), true);
        return true;
    });
}

bool ClickButton(HWND dialog, int id) {
    return Act(dialog, [id](Dialog *d) {
        Control *c = InputControl(d, id);
        if (!c) return false;
        ClickOn(d, c);
        return true;
    });
}

bool PressEnter(HWND dialog) {
    return Act(dialog, [](Dialog *d) {
        int id = IDOK;
        {
            std::lock_guard<std::mutex> lock(M().mu);
            Control *focused = ControlByHandle(d->focus);
            if (focused && focused->Is("Button") &&
                (focused->ButtonType() == BS_PUSHBUTTON || focused->ButtonType() == BS_DEFPUSHBUTTON))
                id = focused->id;
            else
                for (const Control &c : d->controls)
                    if (c.Is("Button") && c.ButtonType() == BS_DEFPUSHBUTTON) id = c.id;
        }
        return PressCommand(d, id);
    });
}

bool PressEsc(HWND dialog) {
    return Act(dialog, [](Dialog *d) { return PressCommand(d, IDCANCEL); });
}

bool CloseFromCaption(HWND dialog) {
    return Act(dialog, [](Dialog *d) {
        Entry e{d->thread, d->hwnd, WM_CLOSE, 0, 0, nullptr};
        Dispatch(e);
        return true;
    });
}

bool AskHelp(HWND dialog, int id) {
    return Act(dialog, [id](Dialog *d) {
        HWND item;
        {
            std::lock_guard<std::mutex> lock(M().mu);
            Control *c = FindControl(d->hwnd, id);
            if (!c) return false;
            item = c->hwnd;
        }
        HELPINFO info = {sizeof(HELPINFO), HELPINFO_WINDOW, id, (HANDLE)item, 0, {0, 0}};
        Send(d, WM_HELP, 0, (LPARAM)&info);
        return true;
    });
}

bool Repaint(HWND dialog) {
    return Act(dialog, [](Dialog *d) {
        Entry e{d->thread, d->hwnd, WM_PAINT, 0, 0, nullptr};
        Dispatch(e);
        return true;
    });
}

bool DialogOpen(HWND dialog) {
    std::lock_guard<std::mutex> lock(M().mu);
    Dialog *d = FindDialog(dialog);
    return d && !d->ended;
}

int DialogTemplate(HWND dialog) {
    std::lock_guard<std::mutex> lock(M().mu);
    Dialog *d = FindDialog(dialog);
    return d ? d->templateId : 0;
}

std::string DialogCaption(HWND dialog) {
    std::lock_guard<std::mutex> lock(M().mu);
    Dialog *d = FindDialog(dialog);
    return d ? d->caption : "";
}

std::string FieldText(HWND dialog, int id) {
    std::lock_guard<std::mutex> lock(M().mu);
    Control *c = FindControl(dialog, id);
    return c ? c->text : "";
}

bool ControlEnabled(HWND dialog, int id) {
    std::lock_guard<std::mutex> lock(M().mu);
    Control *c = FindControl(dialog, id);
    return c && c->enabled;
}

bool ControlChecked(HWND dialog, int id) {
    std::lock_guard<std::mutex> lock(M().mu);
    Control *c = FindControl(dialog, id);
    return c && c->checked == BST_CHECKED;
}

DWORD ControlStyle(HWND dialog, int id) {
    std::lock_guard<std::mutex> lock(M().mu);
    Control *c = FindControl(dialog, id);
    return c ? c->style : 0;
}

size_t FieldLimit(HWND dialog, int id) {
    std::lock_guard<std::mutex> lock(M().mu);
    Control *c = FindControl(dialog, id);
    return c ? c->limit : 0;
}

int FocusedControl(HWND dialog) {
    std::lock_guard<std::mutex> lock(M().mu);
    Dialog *owner = nullptr;
    Control *c = ControlByHandle(FindDialog(dialog) ? FindDialog(dialog)->focus : nullptr, &owner);
    return c && owner->hwnd == dialog ? c->id : 0;
}

std::vector<int> TabOrder(HWND dialog) {
    std::lock_guard<std::mutex> lock(M().mu);
    std::vector<int> ids;
    if (Dialog *d = FindDialog(dialog))
        for (const Control &c : d->controls)
            if (c.style & WS_TABSTOP) ids.push_back(c.id);
    return ids;
}

HWND ForegroundWindow() {
    std::lock_guard<std::mutex> lock(M().mu);
    return M().foreground;
}

std::vector<MessageBoxRecord> MessageBoxes() {
    std::lock_guard<std::mutex> lock(M().mu);
    return M().boxes;
}

void SetMessageBoxHook(std::function<void(const MessageBoxRecord &)> hook) {
    std::lock_guard<std::mutex> lock(M().mu);
    M().boxHook = std::move(hook);
}

std::vector<HelpRecord> HelpRequests() {
    std::lock_guard<std::mutex> lock(M().mu);
    return M().helps;
}

std::vector<InputAttachment> InputAttachments() {
    std::lock_guard<std::mutex> lock(M().mu);
    return M().attachments;
}

void ClearDialogRecords() {
    {
        std::lock_guard<std::mutex> lock(M().mu);
        M().boxes.clear();
        M().helps.clear();
        M().attachments.clear();
    }
    ClearPaintRecords();
}

}  // namespace qvhost

using namespace qvhost;

extern "C" {

INT_PTR WINAPI DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND parent, DLGPROC proc,
                               LPARAM param) {
    QvDialogResourceFn resources = (QvDialogResourceFn)ModuleSymbol(instance, "QvlmrDialogResource");
    uintptr_t id = (uintptr_t)templateName;
    const QvDialogResource *res = resources && id <= 0xFFFF ? resources((unsigned)id) : nullptr;
    if (!res || !proc) {
        SetLastError(1814); /* ERROR_RESOURCE_NAME_NOT_FOUND */
        return -1;
    }
    std::unique_ptr<Dialog> d(new Dialog);
    Dialog *parentDialog = nullptr;
    {
        std::lock_guard<std::mutex> lock(M().mu);
        d->hwnd = NewHandle();
        d->templateId = res->id;
        d->proc = proc;
        d->parent = parent;
        d->thread = GetCurrentThreadId();
        d->caption = res->caption;
        d->serial = M().nextSerial++;
        for (int i = 0; i < res->itemCount; ++i) {
            const QvDialogItem &item = res->items[i];
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
    if (!d) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
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
