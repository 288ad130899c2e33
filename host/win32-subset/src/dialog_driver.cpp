// The driver that plays the user of a modal dialog: each action (typing, pasting, clicks,
// Enter, Esc, the caption's buttons, a repaint) runs on the dialog's thread and returns once
// that thread waits for input again.
#include "dialog_internal.h"

#include <memory>

namespace qvhost {

using namespace dialogs;

namespace {

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

}  // namespace qvhost
