// Modes 2 and 3: connect at the start of the document and send each write as it comes.
#ifndef QVLMR_DIRECT_JOB_H
#define QVLMR_DIRECT_JOB_H

#include "../monitor/port_record.h"

#define RAW_DEFAULT_PORT 9100

BOOL DirectStartDoc(PortRecord *record, LPSTR printerName, DWORD jobId, DWORD level, LPBYTE docInfo);
int DirectConnectAttempt(PortRecord *record, DWORD wait);
BOOL DirectWrite(PortRecord *record, LPBYTE buffer, DWORD size, LPDWORD written);
BOOL DirectEndDoc(PortRecord *record);
int DirectFinish(PortRecord *record);

#endif
