// Mode 1: the job is spooled to a data file, then delivered by LPR with its exact size.
#ifndef QVLMR_SPOOLED_LPR_JOB_H
#define QVLMR_SPOOLED_LPR_JOB_H

#include "../monitor/port_record.h"

BOOL SpooledStartDoc(PortRecord *record, LPSTR printerName, DWORD jobId, DWORD level, LPBYTE docInfo);
BOOL SpooledWrite(PortRecord *record, LPBYTE buffer, DWORD size, LPDWORD written);
BOOL SpooledEndDoc(PortRecord *record);
int SpooledSendAttempt(PortRecord *record, DWORD wait);

#endif
