#include "outcome.h"

void SetOutcome(PortRecord *record, DWORD errorClass, LONG errorCode) {
    record->errorClass = errorClass;
    record->errorCode = errorCode;
}

const char *OutcomeWords(DWORD errorClass, LONG errorCode) {
    switch (errorClass) {
        case CLASS_NONE: return "delivered";
        case CLASS_REFUSED: return "the printer refused the queue";
        case CLASS_DELETING: return "the job is being deleted";
        case CLASS_TIMEOUT: return "the printer did not answer within 120 seconds";
        case CLASS_PAUSED: return "the job was paused";
        default: break;
    }
    switch (errorCode) {
        case CODE_NO_SOCKET: return "no socket could be made";
        case CODE_NOT_CONNECTED: return "no connection to the printer";
        case CODE_HOST_NOT_FOUND: return "the printer's name was not found";
        case CODE_SEND_FAILED: return "sending to the printer failed";
        case CODE_RECEIVE_FAILED:
            return "receiving from the printer failed, or the printer closed the connection";
        case CODE_JOB_FILE_OPEN: return "a job file could not be opened or created";
        case CODE_CONTROL_FILE_WRITE: return "the control file could not be written";
        case CODE_JOB_FILE_READ: return "a job file could not be read";
        case CODE_OWN_NAME: return "this computer has no host name";
        case CODE_OWN_ADDRESS: return "this computer's host name has no address";
        case CODE_JOB_NOT_FOUND: return "the job is no longer in the spooler";
        default: return "an unexpected failure";
    }
}
