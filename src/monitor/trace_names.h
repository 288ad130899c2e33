// Where the user switches the trace and finds it; also read by the host's command line.
#ifndef QVLMR_TRACE_NAMES_H
#define QVLMR_TRACE_NAMES_H

#define TRACE_SETTING "Trace"           // a value of the monitor's "Config" key: nonzero is on
#define TRACE_FILE_NAME "QVLMRMON.LOG"  // in the Windows folder
#define TRACE_FILE_LIMIT 262144         // past this the older half of the file goes

#endif
