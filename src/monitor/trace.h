// A trace of what the monitor does with each job, for the user whose job does not print.
// A departure from the rule that the monitor writes no log (docs/architecture.md): off unless the monitor's trace switch (config/value_names.h) is nonzero, which is read at
// OpenPort and at every StartDocPort, so switching it needs no restart. The lines go to
// QVLMRMON.LOG in the Windows folder, never the printer's data; while the trace is off
// nothing is formatted or written.
#ifndef QVLMR_TRACE_H
#define QVLMR_TRACE_H

#include "port_record.h"
#include "monitor_names.h"

void InitTrace();
// The caller holds MonitorLock (the switch is a registry value).
void ReadTraceSwitch(PortRecord *record);
// One line for the record's current job. Never called with MonitorLock held: the file is
// written under the trace's own lock, and a failure to write it is ignored.
void Trace(PortRecord *record, const char *format, ...);
// The same for a job that the record does not carry (yet), 0 for none.
void TraceForJob(PortRecord *record, DWORD jobId, const char *format, ...);

#endif
