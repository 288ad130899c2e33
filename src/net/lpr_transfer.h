// The line printer daemon protocol on top of the TCP layer: the control file, the
// receive-job command and the job's files; the reserved local port counter.
#ifndef QVLMR_LPR_TRANSFER_H
#define QVLMR_LPR_TRANSFER_H

#include "../monitor/port_record.h"

#define STREAMED_BYTE_COUNT "125899906843000"
#define LPR_PORT 515
#define FILE_CHUNK 8192

int DeliverSpooledLprJob(PortRecord *record);
int OpenDirectConnection(PortRecord *record);
void TakeLocalPort(PortRecord *record);
void StoreNextLocalPort(PortRecord *record);
int RunLprConnection(PortRecord *record);
int StartDirectTransfer(PortRecord *record);
int TransferLprJob(PortRecord *record);
int SendLprPrologue(PortRecord *record);
int SendJobFile(PortRecord *record, const char *path, const char *lprName, char subcommand);
int WriteControlFile(PortRecord *record);
int WriteFormattedLine(HANDLE file, const char *format, const char *argument);

#endif
