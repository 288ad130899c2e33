// What the spooled and the direct job paths share: opening the printer, the job fields,
// the delivery wait, holding a job for the user, and releasing the job.
#ifndef QVLMR_JOB_COMMON_H
#define QVLMR_JOB_COMMON_H

#include "../monitor/port_record.h"

// Attempt results
#define ATTEMPT_DELIVERED 0
#define ATTEMPT_RETRY_LATER 1
#define ATTEMPT_RESUMED 2
#define ATTEMPT_DELETED 3
#define ATTEMPT_RETRY_NOW 4
#define ATTEMPT_GIVE_UP (-1)

#define FIRST_DELIVERY_WAIT 3
#define LONGEST_DELIVERY_WAIT 24
#define PRINTER_OPEN_TRIES 120
#define PRINTER_OPEN_PAUSE 500

BOOL AttemptGoesOn(int result);
DWORD NextDeliveryWait(DWORD wait, int result);

// Steps shared by both starts of document: the printer opened, the job's address, queue
// and outcome fields set; FALSE when the job cannot start.
BOOL BeginJob(PortRecord *record, LPSTR printerName, DWORD jobId, DWORD level, LPBYTE docInfo);
// hostAddress and queueName from the registry; the caller holds MonitorLock.
void ReadPrinterAddress(PortRecord *record);
void ResetJobFields(PortRecord *record);
void FillUserAndHost(PortRecord *record);
void CopyDocumentName(PortRecord *record, LPBYTE docInfo);
BOOL TakeJobNumber(PortRecord *record);
void SetDocumentStarted(PortRecord *record, BOOL started);
// Closes the printer and frees the printer-name copy.
void ReleasePrinter(PortRecord *record);
void ReportJobSent(PortRecord *record);
// The trace's line for the attempt that left the record's outcome pair.
void TraceAttemptOutcome(PortRecord *record);

// How a failed attempt continues: wait (with a status text, or none), hold, or a result.
enum FailureAction { ActionWait, ActionHold, ActionResult };
struct FailureDecision {
    FailureAction action;
    const char *text;  // null: no status text
    int result;        // for ActionResult
};
FailureDecision DecideFailure(PortRecord *record);

// Waits W seconds (text already shown); pauses and waits for the user when the job is
// held. text null: no status texts at all. Returns an attempt result.
int WaitThenRetry(PortRecord *record, DWORD wait, const char *text);
int HoldForUser(PortRecord *record, const char *text, BOOL pauseJob);

#endif
