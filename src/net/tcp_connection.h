// TCP connections to a printer from reserved local ports, with one-second polls that
// watch the spooler job, and the outcome pair (errorClass, errorCode) left in the record.
#ifndef QVLMR_TCP_CONNECTION_H
#define QVLMR_TCP_CONNECTION_H

#include "../monitor/port_record.h"

// WaitOutcome
#define WAIT_READY 1
#define WAIT_TIME_PASSED 0
#define WAIT_SELECT_FAILED (-1)
#define WAIT_JOB_DELETING (-2)
#define WAIT_POLLS_USED (-3)
#define WAIT_JOB_PAUSED (-4)
#define WAIT_JOB_NOT_FOUND (-5)

// Outcome classes and codes
#define CLASS_NONE 0
#define CLASS_FAILURE 1
#define CLASS_REFUSED 2
#define CLASS_DELETING 3
#define CLASS_TIMEOUT 5
#define CLASS_PAUSED 6
#define CODE_NO_SOCKET 4
#define CODE_NOT_CONNECTED 5
#define CODE_HOST_NOT_FOUND 6
#define CODE_SEND_FAILED 10
#define CODE_RECEIVE_FAILED 11
#define CODE_JOB_FILE_OPEN 20
#define CODE_CONTROL_FILE_WRITE 21
#define CODE_JOB_FILE_READ 22
#define CODE_OWN_NAME 40
#define CODE_OWN_ADDRESS 41
#define CODE_QUEUE_REFUSED 100
#define CODE_JOB_DELETING 120
#define CODE_JOB_PAUSED 130
#define CODE_TIMEOUT 140
#define CODE_JOB_NOT_FOUND 250

// shutdown() directions (Winsock 1.1 names none)
#define SHUTDOWN_SEND 1
#define SHUTDOWN_BOTH 2

#define LOWEST_LOCAL_PORT 600
#define HIGHEST_LOCAL_PORT 1023

// The record's outcome pair.
void SetOutcome(PortRecord *record, DWORD errorClass, LONG errorCode);
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
