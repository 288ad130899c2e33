// What the dialog manager, the driver that plays the user and the inspection calls share:
// the dialogs and controls the manager builds from the module's templates, the per-thread
// queue, and the lookups on them (all of which expect Manager::mu held unless said).
#ifndef QVLMR_DIALOG_INTERNAL_H
#define QVLMR_DIALOG_INTERNAL_H

#include "host_internal.h"

#include <strings.h>

#include <condition_variable>
#include <deque>
#include <map>

namespace qvhost {
namespace dialogs {

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

Manager &M();
HWND NewHandle();
Dialog *FindDialog(HWND h);
Control *FindControl(HWND dialog, int id, Dialog **owner = nullptr);
Control *ControlByHandle(HWND h, Dialog **owner = nullptr);
bool HasEntryFor(DWORD thread);
bool ThreadIdle(DWORD thread);
INT_PTR Send(Dialog *d, UINT msg, WPARAM w, LPARAM l);  // without the lock
void Notify(Dialog *d, const Control &c, WORD code);    // without the lock
// Sets an edit field's text and reports the change as Windows does, on the calling thread.
void ChangeText(HWND dialog, int id, const std::string &text, bool notify);
HWND FirstTabStop(Dialog *d);
void Post(DWORD thread, HWND hwnd, UINT msg, WPARAM w, LPARAM l, std::function<void()> action = nullptr);
void Dispatch(Entry &e);  // without the lock

}  // namespace dialogs
}  // namespace qvhost

#endif
