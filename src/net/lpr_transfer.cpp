#include "lpr_transfer.h"

#include "../config/settings.h"
#include "../jobs/spool_directory.h"
#include "../monitor/monitor_state.h"
#include "../monitor/text.h"
#include "../monitor/trace.h"
#include "outcome.h"
#include "tcp_connection.h"

namespace {

const int kLineSize = 600;  // a letter, a 255-byte text, a file name and the line end

// RFC 1179's command and subcommand bytes, and the control file's field limits.
const char kReceiveJob = 2;      // command: receive a printer job (for a queue)
const char kReceiveControl = 2;  // subcommand: a control file follows
const char kReceiveData = 3;     // subcommand: a data file follows
const int kHostLimit = 31;       // H: the host name, at most 31 octets
const int kUserLimit = 31;       // P: the user name, at most 31 octets
const int kBannerLimit = 99;     // J: the banner's job name, at most 99 octets
const int kSourceLimit = 131;    // N: the source file name, at most 131 octets

// Expands "%s" (with argument) and "%%" into out; FALSE when it does not fit.
BOOL FormatText(char *out, int capacity, const char *format, const char *argument) {
    int n = 0;
    for (const char *f = format; *f; ++f) {
        const char *piece = f;
        int length = 1;
        if (f[0] == '%' && f[1] == 's') {
            piece = argument ? argument : "";
            length = TextLength(piece);
            ++f;
        } else if (f[0] == '%' && f[1] == '%') {
            ++f;
        }
        if (n + length >= capacity) return FALSE;
        CopyBytes(out + n, piece, (DWORD)length);
        n += length;
    }
    out[n] = 0;
    return TRUE;
}

// The first limit bytes of text, one fewer when the last kept byte leads a double-byte pair.
void CutText(char *out, int capacity, const char *text, int limit) {
    int length = TextLength(text);
    if (length > limit) {
        length = limit;
        if (IsDBCSLeadByteEx(CP_ACP, (BYTE)text[limit - 1])) length = limit - 1;
    }
    CopyTextPrefix(out, capacity, text, length);
}

// "<byte><text>\n" sent whole.
int SendCommandLine(PortRecord *record, char command, const char *text, const char *second) {
    char line[kLineSize];
    line[0] = command;
    line[1] = 0;
    if (!AppendText(line, sizeof line, text) ||
        (second && (!AppendText(line, sizeof line, " ") || !AppendText(line, sizeof line, second))) ||
        !AppendText(line, sizeof line, "\n")) {
        SetOutcome(record, CLASS_FAILURE, CODE_SEND_FAILED);
        return -1;
    }
    return SendAll(record, line, (DWORD)TextLength(line));
}

// The receive-job command and its acknowledgement (at most 120 polls).
int RequestQueue(PortRecord *record) {
    if (SendCommandLine(record, kReceiveJob, record->queueName, 0) != 0) return -1;
    char answer = 1;
    record->timeoutSeconds = 120;
    int received = ReceiveAll(record, &answer, 1);
    record->timeoutSeconds = 0;
    if (received != 0) {
        Trace(record, "receive-job command for queue \"%s\": no answer byte (%s)", record->queueName,
              OutcomeWords(record->errorClass, record->errorCode));
        return -1;
    }
    Trace(record, "receive-job command for queue \"%s\": the printer answered %d%s", record->queueName,
          (int)(BYTE)answer, answer ? " (refused)" : "");
    if (answer != 0) {
        SetOutcome(record, CLASS_REFUSED, CODE_QUEUE_REFUSED);
        return -1;
    }
    return 0;
}

void SetLprFileNames(PortRecord *record) {
    char number[4];
    FormatJobNumber(number, record->jobNumber);
    CopyText(record->dataFileName, TEXT_FIELD_SIZE, "dfA");
    AppendText(record->dataFileName, TEXT_FIELD_SIZE, number);
    CopyText(record->controlFileName, TEXT_FIELD_SIZE, "cfA");
    AppendText(record->controlFileName, TEXT_FIELD_SIZE, number);
    // A host name too long for the field is cut rather than overflowing it.
    int room = TEXT_FIELD_SIZE - 1 - TextLength(record->dataFileName);
    CopyTextPrefix(record->dataFileName + 6, room + 1, record->hostName, room);
    CopyTextPrefix(record->controlFileName + 6, room + 1, record->hostName, room);
}

// Resolves this machine's name; fills hostName when still empty.
int CheckOwnHostName(PortRecord *record) {
    char name[TEXT_FIELD_SIZE];
    FillBytes(name, 0, sizeof name);
    if (gethostname(name, sizeof name - 1) != 0 || !name[0]) {
        SetOutcome(record, CLASS_FAILURE, CODE_OWN_NAME);
        return -1;
    }
    if (!record->hostName[0]) {
        int length = 0;
        while (name[length] && name[length] != '.') ++length;
        CopyTextPrefix(record->hostName, TEXT_FIELD_SIZE, name, length);
    }
    if (!gethostbyname(name)) {
        SetOutcome(record, CLASS_FAILURE, CODE_OWN_ADDRESS);
        return -1;
    }
    return 0;
}

// spoolDir + jobBaseName + suffix; a path too long for the buffer is a job-file failure.
BOOL JobFilePath(PortRecord *record, char *path, const char *suffix) {
    if (BuildJobFilePath(path, record->spoolDir, record->jobBaseName, suffix)) return TRUE;
    Trace(record, "the path of job file %s%s is too long", record->jobBaseName, suffix);
    SetOutcome(record, CLASS_FAILURE, CODE_JOB_FILE_OPEN);
    return FALSE;
}

int Connect(PortRecord *record) {
    if (ConnectToPrinter(record) != INVALID_SOCKET) return 0;
    if (record->socket != INVALID_SOCKET) CloseConnection(record);
    return -1;
}

}  // namespace

// What both LPR modes send first: the receive-job command and the control file.
int SendLprPrologue(PortRecord *record) {
    SetLprFileNames(record);
    if (WriteControlFile(record) != 0) return -1;
    if (RequestQueue(record) != 0) return -1;
    char path[MAX_PATH];
    if (!JobFilePath(record, path, CONTROL_FILE_SUFFIX)) return -1;
    return SendJobFile(record, path, record->controlFileName, kReceiveControl);
}

void TakeLocalPort(PortRecord *record) {
    EnterMonitorLock();
    DWORD stored = 0;
    record->localPort = ReadCounter(&LocalPortCounter, &stored) ? (LONG)stored : HIGHEST_LOCAL_PORT;
    LeaveMonitorLock();
}

void StoreNextLocalPort(PortRecord *record) {
    EnterMonitorLock();
    record->localPort -= 1;
    LONG value = record->localPort >= LOWEST_LOCAL_PORT ? record->localPort : HIGHEST_LOCAL_PORT;
    StoreCounter(&LocalPortCounter, (DWORD)value);
    LeaveMonitorLock();
}

int DeliverSpooledLprJob(PortRecord *record) {
    SetOutcome(record, CLASS_NONE, 0);
    TakeLocalPort(record);
    int result = RunLprConnection(record);
    StoreNextLocalPort(record);
    return result;
}

int OpenDirectConnection(PortRecord *record) {
    SetOutcome(record, CLASS_NONE, 0);
    TakeLocalPort(record);
    return StartDirectTransfer(record);
}

int RunLprConnection(PortRecord *record) {
    if (CheckOwnHostName(record) != 0) return -1;
    if (Connect(record) != 0) return -1;
    int result = TransferLprJob(record);
    CloseConnection(record);
    return result == -1 ? -1 : 0;
}

int TransferLprJob(PortRecord *record) {
    if (SendLprPrologue(record) != 0) return -1;
    char path[MAX_PATH];
    if (!JobFilePath(record, path, DATA_FILE_SUFFIX)) return -1;
    return SendJobFile(record, path, record->dataFileName, kReceiveData);
}

int SendJobFile(PortRecord *record, const char *path, const char *lprName, char subcommand) {
    HANDLE file = CreateFileA(path, GENERIC_READ, 0, 0, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, 0);
    if (file == INVALID_HANDLE_VALUE) {
        Trace(record, "job file %s could not be opened, error %lu", path, (unsigned long)GetLastError());
        SetOutcome(record, CLASS_FAILURE, CODE_JOB_FILE_OPEN);
        return -1;
    }
    DWORD high = 0;
    DWORD low = GetFileSize(file, &high);
    unsigned long long size = ((unsigned long long)high << 32) | low;
    char count[24];
    FormatDecimal(count, sizeof count, size, 1);
    if (SendCommandLine(record, subcommand, count, lprName) != 0) {
        CloseHandle(file);
        return -1;
    }
    const char *which = subcommand == kReceiveControl ? "control" : "data";
    char ack = 0;
    if (ReceiveAll(record, &ack, 1) != 0) {
        Trace(record, "%s file header \"%s %s\": no answer byte (%s)", which, count, lprName,
              OutcomeWords(record->errorClass, record->errorCode));
        CloseHandle(file);
        return -1;
    }
    Trace(record, "%s file header \"%s %s\": the printer answered %d", which, count, lprName, (int)(BYTE)ack);
    // A departure from sending the zero that ends the file with a call of its own
    // (docs/architecture.md): it goes out in one send with the file's last bytes; sent
    // alone it would wait, under Nagle's algorithm, for the printer's delayed
    // acknowledgement of those bytes (some 40 ms on Linux, up to 200 ms on others).
    char chunk[FILE_CHUNK + 1];
    BOOL ended = FALSE;
    while (!ended) {
        DWORD read = 0;
        if (size > 0 && (!ReadFile(file, chunk, FILE_CHUNK, &read, 0) || read == 0)) {
            // A file that ends before its announced size is a read failure too: sending
            // less than announced would leave the printer waiting for the rest.
            Trace(record, "job file %s could not be read to its announced size", path);
            CloseHandle(file);
            SetOutcome(record, CLASS_FAILURE, CODE_JOB_FILE_READ);
            return -1;
        }
        if (read > size) read = (DWORD)size;
        size -= read;
        ended = size == 0;
        if (ended) chunk[read++] = 0;
        if (SendAll(record, chunk, read) != 0) {
            CloseHandle(file);
            return -1;
        }
    }
    CloseHandle(file);
    if (ReceiveAll(record, &ack, 1) != 0) {
        Trace(record, "%s file sent: no answer byte (%s)", which,
              OutcomeWords(record->errorClass, record->errorCode));
        return -1;
    }
    Trace(record, "%s file sent: the printer answered %d", which, (int)(BYTE)ack);
    return 0;
}

int WriteFormattedLine(HANDLE file, const char *format, const char *argument) {
    char line[kLineSize];
    if (!FormatText(line, sizeof line, format, argument)) return -1;
    DWORD length = (DWORD)TextLength(line), written = 0;
    if (!WriteFile(file, line, length, &written, 0) || written != length) return -1;
    return 0;
}

int WriteControlFile(PortRecord *record) {
    char path[MAX_PATH];
    HANDLE file = INVALID_HANDLE_VALUE;
    if (JobFilePath(record, path, CONTROL_FILE_SUFFIX))
        file = CreateFileA(path, GENERIC_WRITE, 0, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, 0);
    if (file == INVALID_HANDLE_VALUE) {
        Trace(record, "the control file could not be created");
        SetOutcome(record, CLASS_FAILURE, CODE_JOB_FILE_OPEN);
        return -1;
    }
    SetEndOfFile(file);
    char host[kHostLimit + 1], user[kUserLimit + 1], banner[kBannerLimit + 1], source[kSourceLimit + 1],
        printLine[TEXT_FIELD_SIZE + 8];
    CopyTextPrefix(host, sizeof host, record->hostName, kHostLimit);
    CopyTextPrefix(user, sizeof user, record->userName, kUserLimit);
    CutText(banner, sizeof banner, record->documentName, kBannerLimit);
    CutText(source, sizeof source, record->documentName, kSourceLimit);
    // The print line's format comes from the print-format letter: "l%s\n".
    BOOL formatted = FormatText(printLine, sizeof printLine, "%s%%s\n", record->printFormat);
    BOOL ok = formatted && WriteFormattedLine(file, "H%s\n", host) == 0 &&
              WriteFormattedLine(file, "P%s\n", user) == 0 && WriteFormattedLine(file, "%s", "J") == 0 &&
              WriteFormattedLine(file, "%s", banner) == 0 && WriteFormattedLine(file, "\n", 0) == 0 &&
              WriteFormattedLine(file, printLine, record->dataFileName) == 0 &&
              WriteFormattedLine(file, "U%s\n", record->dataFileName) == 0 &&
              WriteFormattedLine(file, "%s", "N") == 0 && WriteFormattedLine(file, "%s", source) == 0 &&
              WriteFormattedLine(file, "\n", 0) == 0;
    CloseHandle(file);
    if (!ok) {
        SetOutcome(record, CLASS_FAILURE, CODE_CONTROL_FILE_WRITE);
        return -1;
    }
    return 0;
}

int StartDirectTransfer(PortRecord *record) {
    if (CheckOwnHostName(record) != 0) return -1;
    if (Connect(record) != 0) return -1;
    if (record->protocol != StreamedLpr) return 0;
    if (SendLprPrologue(record) != 0) return -1;
    if (SendCommandLine(record, kReceiveData, STREAMED_BYTE_COUNT, record->dataFileName) != 0) return -1;
    char ack = 0;
    if (ReceiveAll(record, &ack, 1) != 0) {
        Trace(record, "data file header \"%s %s\": no answer byte (%s)", STREAMED_BYTE_COUNT,
              record->dataFileName, OutcomeWords(record->errorClass, record->errorCode));
        return -1;
    }
    Trace(record, "data file header \"%s %s\": the printer answered %d", STREAMED_BYTE_COUNT,
          record->dataFileName, (int)(BYTE)ack);
    return 0;
}
