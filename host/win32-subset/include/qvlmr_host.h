// The host layer's own control API: state directory, clock, spooler, fault injection.
// Used by the host spooler (tools/qvlmr) and the tests; never by the monitor's core.
#ifndef QVLMR_HOST_H
#define QVLMR_HOST_H

#include <windows.h>
#include <winspool.h>

#include <functional>
#include <string>
#include <vector>

namespace qvhost {

// ---- state directory -------------------------------------------------------------------
// Chooses the state directory (explicit dir, else $QVLMR_HOME, else $XDG_STATE_HOME/qvlmr,
// else ~/.local/state/qvlmr), creates it with drive_c/WINDOWS/Spool/Printers and opens the
// shared database. Safe to call again with another directory (tests do).
bool Open(const std::string &dir, std::string *error);
const std::string &Home();
// Maps a Windows path (C:\X\y, \X, relative) onto the state directory.
std::string MapPath(const char *windowsPath);

// ---- modules ----------------------------------------------------------------------------
// Loads a monitor module (a shared object) as the spooler would; returns the instance
// handle given to its DllEntryPoint, or null with the error text.
HINSTANCE LoadModule(const std::string &path, std::string *error);
void *ModuleSymbol(HINSTANCE module, const char *name);
// A text value of the module's version resource ("FileVersion", ...); "" when it has none.
std::string ModuleVersionText(HINSTANCE module, const std::string &name);
// The spooler lists the ports of every loaded monitor through its EnumPorts.
typedef BOOL(WINAPI *EnumPortsFn)(LPSTR, DWORD, LPBYTE, DWORD, LPDWORD, LPDWORD);
void RegisterMonitorEnumPorts(EnumPortsFn fn);
void ClearMonitors();

// ---- clock ------------------------------------------------------------------------------
// Virtual: Sleep and select time-outs advance the clock at once and are recorded.
void SetVirtualClock(bool on);
bool VirtualClock();
uint64_t NowMs();
struct SleepRecord {
    uint64_t at;  // virtual time when the sleep began
    DWORD ms;
    bool select;  // a select time-out rather than Sleep
};
std::vector<SleepRecord> Sleeps();
void ClearSleeps();
size_t CountSleeps(DWORD ms, bool select = false);
// Called after every virtual sleep or select time-out (on the sleeping thread).
void SetSleepHook(std::function<void(const SleepRecord &)> hook);
// Real time that a virtual select may wait for readiness before it counts as timed out.
void SetRealSelectSliceMs(DWORD ms);

// ---- identity ---------------------------------------------------------------------------
void SetComputerName(const char *name);  // null: fail GetComputerNameA
void SetUserName(const char *name);      // null: fail GetUserNameA
void SetHostName(const char *name);      // null: fail gethostname; "" gives an empty name
void SetCodePage(UINT cp);               // 1252 by default, 932 for double-byte tests
// Name resolution: fixed entries win; with only-entries on, nothing else resolves (tests
// never wait on a name server).
void AddHostEntry(const std::string &name, const std::string &dottedAddress);
void UseOnlyHostEntries(bool on);

// ---- spooler ----------------------------------------------------------------------------
struct JobView {
    DWORD id;
    std::string printer, document, user, statusText;
    DWORD status;
    DWORD position;
    bool interrupted;  // marked printing, but the process that was printing it has gone
};
bool AddPrinter(const std::string &name, const std::string &port, std::string *error);
bool DeletePrinter(const std::string &name);
struct PrinterView {
    std::string name, port;
    DWORD status;
    DWORD jobs;
};
std::vector<PrinterView> Printers();
bool SetPrinterPaused(const std::string &name, bool paused);
// Queues a job; returns its id, 0 when the printer does not exist.
DWORD AddJob(const std::string &printer, const std::string &document, const std::string &user);
std::vector<JobView> Jobs(const std::string &printer = "");
bool GetJob(DWORD id, JobView *out);
// JOB_CONTROL_* as another process would send it.
bool ControlJob(DWORD id, DWORD command);
bool RemoveJob(DWORD id);
// Status bits as the spooler sets them (JOB_STATUS_PRINTING while it feeds the monitor);
// the process that sets JOB_STATUS_PRINTING is taken as the one printing the job.
bool SetJobStatusBits(DWORD id, DWORD set, DWORD clear);
// What a spooler restarted after a crash does: jobs whose printing process has gone are
// printing no more and lose their stale status text. Returns their ids.
std::vector<DWORD> RecoverInterruptedJobs();
// Gives the job a new id, as if the spooler had renumbered it; returns the new id or 0.
DWORD RenumberJob(DWORD id);
// Every status text a job takes on, in order (this process's SetJobA calls).
void SetStatusHook(std::function<void(DWORD jobId, const std::string &text)> hook);
// Every look at a job through GetJobA that found it, with the status bits it read.
void SetJobQueryHook(std::function<void(DWORD jobId, DWORD status)> hook);

// ---- windows (queue windows, across processes) -----------------------------------------
HWND CreateTopWindow(const std::string &title);
void DestroyTopWindow(HWND window);
void SetWindowTitle(HWND window, const std::string &title);
// Messages posted to a window of this process, taken in order.
bool TakeMessage(HWND window, UINT *message, WPARAM *wParam, LPARAM *lParam);

// ---- dialogs: a test or the CLI plays the user of a modal dialog ----------------------
// Every action runs on the dialog's own thread, as input would, and returns once that
// thread is idle again (no queued message, no name lookup under way). An action on a
// dialog that is disabled (a nested box is open), gone, or on a disabled control does
// nothing and returns false.
HWND WaitForDialog(int templateId, DWORD thread = 0, int timeoutMs = 10000);  // newest open one
bool WaitDialogClosed(HWND dialog, int timeoutMs = 10000);
bool WaitDialogIdle(HWND dialog, int timeoutMs = 10000);
bool TypeText(HWND dialog, int id, const std::string &text);   // select all, then key by key
bool PasteText(HWND dialog, int id, const std::string &text);  // select all, then paste
bool ClickButton(HWND dialog, int id);
bool PressEnter(HWND dialog);
bool PressEsc(HWND dialog);
bool CloseFromCaption(HWND dialog);
bool AskHelp(HWND dialog, int id);  // the caption's "?" button, then a click on the control
bool Repaint(HWND dialog);          // the dialog was uncovered
bool DialogOpen(HWND dialog);
int DialogTemplate(HWND dialog);
std::string DialogCaption(HWND dialog);
std::string FieldText(HWND dialog, int id);
bool ControlEnabled(HWND dialog, int id);
bool ControlChecked(HWND dialog, int id);
DWORD ControlStyle(HWND dialog, int id);
size_t FieldLimit(HWND dialog, int id);
int FocusedControl(HWND dialog);         // 0 when no control of the dialog has the focus
std::vector<int> TabOrder(HWND dialog);  // tab stops in template order
HWND ForegroundWindow();
struct MessageBoxRecord {
    HWND owner;
    std::string caption, text;
    UINT type;
};
// Message boxes are answered with OK at once; each is recorded and passed to the hook.
std::vector<MessageBoxRecord> MessageBoxes();
void SetMessageBoxHook(std::function<void(const MessageBoxRecord &)> hook);
struct HelpRecord {
    HWND window;
    std::string file;
    UINT command;
    ULONG_PTR data;
};
std::vector<HelpRecord> HelpRequests();
struct InputAttachment {
    DWORD from, to;
    BOOL attach;
};
std::vector<InputAttachment> InputAttachments();
void ClearDialogRecords();  // message boxes, help requests, attachments, painted text

// ---- name lookups (WSAAsyncGetHostByName) ----------------------------------------------
void HoldLookups(bool on);      // lookups started while on never answer until released
void FailLookupStart(bool on);  // WSAAsyncGetHostByName returns no handle
int LookupsStarted();
int LookupsCancelled();

// ---- painting (GDI) ---------------------------------------------------------------------
struct FontRecord {
    int height, width, escapement, orientation, weight;
    DWORD italic, underline, strikeOut, charSet, outPrecision, clipPrecision, quality, pitchAndFamily;
    std::string face;  // "" for the system font a paint context starts with
};
struct TextRecord {
    HWND window;
    int x, y;
    std::string text;
    FontRecord font;
    COLORREF color;
    int bkMode;
};
std::vector<TextRecord> PaintedText();
int LiveFonts();  // created and not yet deleted
int FontsCreated();

// ---- faults -----------------------------------------------------------------------------
void ResetFaults();
void FailWsaStartup(bool on);
void RefuseRegistryWrites(const std::string &keyPathPrefix, bool on);  // e.g. "HKLM\\...\\Config"
void FailEnumPrinters(bool on);
void FailLoadLibrary(const std::string &name, bool on);
void FailFileCreate(const std::string &nameSubstring, bool on);
// WriteFile on files whose name contains the text fails once this many bytes are written.
void FailFileWritesAfter(const std::string &nameSubstring, long long bytes);
void MakeJobUnreadable(DWORD jobId, bool on);
void FailSocketCreate(bool on);
void RefuseAllBinds(bool on);
void FailOpenPrinterTimes(int count);  // the next count OpenPrinterA calls fail
// Called on the reading thread when a RegQueryValueExA has read (or missed) the value.
void SetRegistryReadHook(std::function<void(const std::string &valueName)> hook);

// ---- counters (for leak checks) ---------------------------------------------------------
int OpenFileHandles();
int OpenSockets();
int OpenPrinterHandles();
int OpenRegistryKeys();
// Every open socket of this process resets its connection when closed, so a printer
// sees a delivery cut short as aborted rather than as a whole job (before the process ends).
void ResetOpenConnections();
// send and recv calls made so far by this process, would-blocks included.
size_t SendCalls();
size_t ReceiveCalls();

// ---- .reg text --------------------------------------------------------------------------
bool ImportRegText(const std::string &text, std::string *error);
// keyPath "" for the whole registry. Texts are quoted wherever the text reads the same
// after an import; exact keeps every value's bytes (hex(1) for a text without its zero).
std::string ExportRegText(const std::string &keyPath, bool exact = false);

}  // namespace qvhost

#endif
