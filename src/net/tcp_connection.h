// TCP connections to a printer from reserved local ports, with one-second polls that
// watch the spooler job; each failure leaves its outcome pair in the record (outcome.h).
#ifndef QVLMR_TCP_CONNECTION_H
#define QVLMR_TCP_CONNECTION_H

#include "../monitor/port_record.h"
#include "outcome.h"

// WaitOutcome
#define WAIT_READY 1
#define WAIT_TIME_PASSED 0
#define WAIT_SELECT_FAILED (-1)
#define WAIT_JOB_DELETING (-2)
#define WAIT_POLLS_USED (-3)
#define WAIT_JOB_PAUSED (-4)
#define WAIT_JOB_NOT_FOUND (-5)

// shutdown() directions (Winsock 1.1 names none)
#define SHUTDOWN_SEND 1
#define SHUTDOWN_BOTH 2

#define LOWEST_LOCAL_PORT 600
#define HIGHEST_LOCAL_PORT 1023

SOCKET ConnectToPrinter(PortRecord *record);
int CloseConnection(PortRecord *record);
int SendWithWait(PortRecord *record, const char *buffer, DWORD length);
int ReceiveWithWait(PortRecord *record, char *buffer, DWORD length);
int SendAll(PortRecord *record, const char *buffer, DWORD length);
int ReceiveAll(PortRecord *record, char *buffer, DWORD length);
int WaitWritable(PortRecord *record, int maxPolls);
int WaitReadable(PortRecord *record, int maxPolls);
int PauseWithJobCheck(PortRecord *record, int seconds, int tries);

#endif
