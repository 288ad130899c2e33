// The outcome pair (errorClass, errorCode) that the network layer leaves in a port's record
// after each attempt, what it means in words for the trace, and, in the job paths'
// DecideFailure (jobs/job_common.cpp), what it means for the job.
#ifndef QVLMR_OUTCOME_H
#define QVLMR_OUTCOME_H

#include "../monitor/port_record.h"

#define CLASS_NONE 0      // delivered, or connected
#define CLASS_FAILURE 1   // the code says which
#define CLASS_REFUSED 2   // the LPD refused the receive-job command
#define CLASS_DELETING 3  // the user is deleting the job
#define CLASS_TIMEOUT 5   // a network wait used up its polls
#define CLASS_PAUSED 6    // the user paused the job

// Class 1 codes, in the ranges the job paths decide by: network (1 to 6, 10 to 12 and 40
// to 41: wait and try again), job files (20 to 22: hold), and the job gone (give up).
#define CODE_NETWORK_FIRST 1
#define CODE_NO_SOCKET 4
#define CODE_NOT_CONNECTED 5
#define CODE_HOST_NOT_FOUND 6
#define CODE_SEND_FAILED 10
#define CODE_RECEIVE_FAILED 11
#define CODE_TRANSFER_LAST 12
#define CODE_JOB_FILE_OPEN 20
#define CODE_CONTROL_FILE_WRITE 21
#define CODE_JOB_FILE_READ 22
#define CODE_OWN_NAME 40
#define CODE_OWN_ADDRESS 41
#define CODE_JOB_NOT_FOUND 250
// The codes of the other classes.
#define CODE_QUEUE_REFUSED 100
#define CODE_JOB_DELETING 120
#define CODE_JOB_PAUSED 130
#define CODE_TIMEOUT 140

void SetOutcome(PortRecord *record, DWORD errorClass, LONG errorCode);
// What a pair means, in words a user can act on.
const char *OutcomeWords(DWORD errorClass, LONG errorCode);

#endif
