// One record per port: the port's name and the whole working state of the job printing on
// it. The record itself is the port handle the spooler holds between OpenPort and ClosePort.
#ifndef QVLMR_PORT_RECORD_H
#define QVLMR_PORT_RECORD_H

#include <windows.h>
#include <winsock.h>

#define PORT_RECORD_SIGNATURE 0x5450
#define PORT_FLAG_OPEN 0x01
#define PORT_FLAG_DOC_STARTED 0x08
#define TEXT_FIELD_SIZE 256
#define DOCUMENT_NAME_SIZE 260

enum ProtocolMode { SpooledLpr = 1, StreamedLpr = 2, RawTcp = 3 };

struct PortRecord {
    DWORD signature;
    DWORD recordSize;
    PortRecord *next;
    char *portName;
    HANDLE jobFile;  // data file (mode 1) or the connection's socket (modes 2, 3)
    DWORD flags;
    char *printerName;
    HANDLE printer;
    DWORD jobId;
    DWORD docInfoLevel;
    LONG protocol;
    DWORD waitSeconds;
    DWORD waitMicroseconds;
    LONG timeoutSeconds;
    DWORD statusTick;
    DWORD statusInterval;
    DWORD errorClass;
    LONG errorCode;
    DWORD jobNumber;
    SOCKET socket;
    DWORD remotePort;
    LONG localPort;
    char hostAddress[TEXT_FIELD_SIZE];
    char userName[TEXT_FIELD_SIZE];
    char queueName[TEXT_FIELD_SIZE];
    char spoolDir[TEXT_FIELD_SIZE];
    char hostName[TEXT_FIELD_SIZE];
    char jobBaseName[TEXT_FIELD_SIZE];
    char dataFileName[TEXT_FIELD_SIZE];
    char controlFileName[TEXT_FIELD_SIZE];
    char printFormat[TEXT_FIELD_SIZE];
    char documentName[DOCUMENT_NAME_SIZE];
    // Two fields beyond the record's first design, for the trace (docs/architecture.md).
    BOOL traceOn;      // the trace switch as read at OpenPort or StartDocPort
    DWORD bytesTaken;  // WritePort bytes of the document, for the trace
    // the port name and its terminator follow inline
};

extern PortRecord *PortList;

void *AllocZeroed(DWORD size);
void FreeBlock(void *block);
char *DuplicateString(const char *text);

// The caller holds MonitorLock for these three.
PortRecord *CreatePortRecord(const char *portName);
PortRecord *FindPortRecord(PortRecord *head, const char *portName);
// FALSE with no last error when no port has the name; FALSE with 5 while it is open.
BOOL RemovePortRecord(const char *portName);

BOOL WINAPI OpenPort(LPSTR portName, PHANDLE handle);
BOOL WINAPI ClosePort(HANDLE handle);

// A socket kept in the job channel, and back.
#define SOCKET_AS_HANDLE(s) ((HANDLE)(UINT_PTR)(s))
#define HANDLE_AS_SOCKET(h) ((SOCKET)(UINT_PTR)(h))

#endif
