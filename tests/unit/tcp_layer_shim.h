// Reaches the connection layer of the core directly. The layer's headers bring Winsock's
// names, which cannot share a translation unit with the test framework's system headers,
// so this shim passes plain types only.
#ifndef QVLMR_TEST_TCP_LAYER_SHIM_H
#define QVLMR_TEST_TCP_LAYER_SHIM_H

struct ShimRecord;
ShimRecord *ShimNew(const char *printer, unsigned jobId, const char *host, unsigned remotePort, int localPort,
                    int protocol);
void ShimFree(ShimRecord *r);
long long ShimConnect(ShimRecord *r);  // the socket, or -1
void ShimClose(ShimRecord *r);
int ShimReceive(ShimRecord *r, char *buffer, unsigned length, int timeoutSeconds);
int ShimSendAll(ShimRecord *r, const char *buffer, unsigned length);
int ShimPause(ShimRecord *r, int seconds, int tries);
void ShimSetOutcome(ShimRecord *r, unsigned errorClass, int errorCode);
unsigned ShimClass(ShimRecord *r);
int ShimCode(ShimRecord *r);
bool ShimHasSocket(ShimRecord *r);
int ShimLocalPort(ShimRecord *r);

#endif
