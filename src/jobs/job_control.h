// Talking back to the spooler about the job a port is delivering: its status word, its
// status text, pausing it, and refreshing the printer's queue window.
#ifndef QVLMR_JOB_CONTROL_H
#define QVLMR_JOB_CONTROL_H

#include "../monitor/port_record.h"

#define STATUS_TEXT_SIZE 256
#define JOB_RECORD_LIMIT 65536
#define JOB_TRIES 5

int GetJobStatus(PortRecord *record, DWORD *status, DWORD jobId);
int GetJobStatusRetry(PortRecord *record, DWORD *status, int tries);
int SetJobStatusText(PortRecord *record, const char *text, DWORD jobId);
int SetJobStatusTextRetry(PortRecord *record, const char *text, int tries);
// In: *maskStatus is the mask; out: the job's whole status word. *hit set to 1 on a match.
int TestJobStatus(PortRecord *record, DWORD *maskStatus, int *hit, DWORD jobId);
int TestJobStatusRetry(PortRecord *record, DWORD *maskStatus, int *hit, int tries);
int ControlJob(PortRecord *record, DWORD command);
DWORD FindPrintingJob(PortRecord *record);
int RefreshQueueWindow(PortRecord *record);

// Status texts the user sees in the queue window.
#define TEXT_SENDING "Sending..."
#define TEXT_NETWORK_ERROR "Cannot print(Network Error)"
#define TEXT_SPOOL_ERROR "Cannot print(Spool Error)"
#define TEXT_UNSPECIFIED_ERROR "Cannot print(Unspecified Error)"
#define TEXT_PAUSED "Paused"
#define TEXT_DELETING "Deleting..."

#endif
