// What a test or the command line reads back of the dialogs: which are open, their fields,
// focus and tab order, and the message boxes, help requests and input attachments recorded.
#include "dialog_internal.h"

namespace qvhost {

using namespace dialogs;

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
