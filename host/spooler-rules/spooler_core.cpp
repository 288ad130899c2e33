#include "spooler_core.h"

namespace {

DWORD TextSize(const char *text) {
    return (DWORD)lstrlenA(text ? text : "") + 1;
}

const char kRaw[] = "RAW", kProcessor[] = "WinPrint";

}  // namespace

BOOL JobCommandChange(DWORD command, JobChange *change) {
    change->set = change->clear = 0;
    change->leavesQueue = FALSE;
    switch (command) {
        case JOB_CONTROL_PAUSE: change->set = JOB_STATUS_PAUSED; return TRUE;
        case JOB_CONTROL_RESUME: change->clear = JOB_STATUS_PAUSED; return TRUE;
        case JOB_CONTROL_CANCEL:
        case JOB_CONTROL_DELETE: change->set = JOB_STATUS_DELETING; return TRUE;
        case JOB_CONTROL_RESTART: change->clear = JOB_STATUS_ERROR; return TRUE;
        case JOB_CONTROL_SENT_TO_PRINTER: change->leavesQueue = TRUE; return TRUE;
        default: return FALSE;
    }
}

BOOL SetJobStatusText(DWORD level, LPBYTE record, const char **text) {
    *text = 0;
    if (level == 0) return TRUE;
    if ((level != 1 && level != 2) || !record) return FALSE;
    *text = level == 1 ? ((JOB_INFO_1A *)record)->pStatus : ((JOB_INFO_2A *)record)->pStatus;
    return TRUE;
}

void StartPacking(RecordPacker *pk, LPBYTE buffer, DWORD size) {
    pk->end = buffer ? buffer + size : 0;
}

LPSTR PackText(RecordPacker *pk, const char *text) {
    DWORD n = TextSize(text);
    pk->end -= n;
    for (DWORD i = 0; i + 1 < n; ++i) pk->end[i] = (BYTE)text[i];
    pk->end[n - 1] = 0;
    return (LPSTR)pk->end;
}

BOOL CheckRecordBuffer(LPBYTE buffer, DWORD size, DWORD need, LPDWORD needed, LPDWORD returned) {
    if (needed) *needed = need;
    if (returned) *returned = 0;
    if (size >= need && (buffer || need == 0)) return TRUE;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
}

DWORD JobRecordSize(const JobFields *job) {
    return sizeof(JOB_INFO_2A) + TextSize(job->printer) + TextSize(job->machine) + 2 * TextSize(job->user) +
           TextSize(job->document) + TextSize(kRaw) + TextSize(kProcessor) + TextSize("") +
           TextSize(job->driver) + (job->statusText && job->statusText[0] ? TextSize(job->statusText) : 0);
}

BOOL PackJobRecords(const JobFields *jobs, DWORD count, DWORD first, LPBYTE buffer, DWORD size,
                    LPDWORD needed, LPDWORD returned) {
    DWORD need = 0;
    for (DWORD i = 0; i < count; ++i) need += JobRecordSize(&jobs[i]);
    if (!CheckRecordBuffer(buffer, size, need, needed, returned)) return FALSE;
    RecordPacker pk;
    StartPacking(&pk, buffer, size);
    for (DWORD i = 0; i < count; ++i) {
        const JobFields *job = &jobs[i];
        JOB_INFO_2A *out = (JOB_INFO_2A *)buffer + i;
        JOB_INFO_2A blank = {};
        *out = blank;
        out->JobId = job->id;
        out->pPrinterName = PackText(&pk, job->printer);
        out->pMachineName = PackText(&pk, job->machine);
        out->pUserName = PackText(&pk, job->user);
        out->pDocument = PackText(&pk, job->document);
        out->pNotifyName = PackText(&pk, job->user);
        out->pDatatype = PackText(&pk, kRaw);
        out->pPrintProcessor = PackText(&pk, kProcessor);
        out->pParameters = PackText(&pk, "");
        out->pDriverName = PackText(&pk, job->driver);
        out->pStatus = job->statusText && job->statusText[0] ? PackText(&pk, job->statusText) : 0;
        out->Status = job->status;
        out->Priority = 1;
        out->Position = first + i + 1;
        out->Submitted = job->submitted;
    }
    if (returned) *returned = count;
    return TRUE;
}

BOOL PackPrinterRecords(const PrinterFields *printers, DWORD count, LPBYTE buffer, DWORD size, LPDWORD needed,
                        LPDWORD returned) {
    DWORD need = 0;
    for (DWORD i = 0; i < count; ++i)
        need += sizeof(PRINTER_INFO_2A) + TextSize(printers[i].name) + TextSize(printers[i].port) +
                TextSize(printers[i].driver) + TextSize(kProcessor) + TextSize(kRaw);
    if (!CheckRecordBuffer(buffer, size, need, needed, returned)) return FALSE;
    RecordPacker pk;
    StartPacking(&pk, buffer, size);
    for (DWORD i = 0; i < count; ++i) {
        PRINTER_INFO_2A *out = (PRINTER_INFO_2A *)buffer + i;
        PRINTER_INFO_2A blank = {};
        *out = blank;
        out->pPrinterName = PackText(&pk, printers[i].name);
        out->pPortName = PackText(&pk, printers[i].port);
        out->pDriverName = PackText(&pk, printers[i].driver);
        out->pPrintProcessor = PackText(&pk, kProcessor);
        out->pDatatype = PackText(&pk, kRaw);
        out->Status = printers[i].status;
        out->cJobs = printers[i].jobs;
    }
    if (returned) *returned = count;
    return TRUE;
}

const PortFields kBuiltInPorts[] = {{"LPT1:", "Local Port", "Local Port"},
                                    {"COM1:", "Local Port", "Local Port"},
                                    {"FILE:", "Local Port", "Local Port"}};
const DWORD kBuiltInPortCount = sizeof kBuiltInPorts / sizeof kBuiltInPorts[0];

BOOL PackPortRecords(DWORD level, const PortFields *ports, DWORD count, LPBYTE buffer, DWORD size,
                     LPDWORD needed, LPDWORD returned) {
    if (level != 1 && level != 2) {
        SetLastError(ERROR_INVALID_LEVEL);
        return FALSE;
    }
    DWORD need = 0;
    for (DWORD i = 0; i < count; ++i)
        need += level == 1 ? sizeof(PORT_INFO_1A) + TextSize(ports[i].name)
                           : sizeof(PORT_INFO_2A) + TextSize(ports[i].name) + TextSize(ports[i].monitor) +
                                 TextSize(ports[i].description);
    if (!CheckRecordBuffer(buffer, size, need, needed, returned)) return FALSE;
    RecordPacker pk;
    StartPacking(&pk, buffer, size);
    for (DWORD i = 0; i < count; ++i) {
        if (level == 1) {
            ((PORT_INFO_1A *)buffer)[i].pName = PackText(&pk, ports[i].name);
        } else {
            PORT_INFO_2A *out = (PORT_INFO_2A *)buffer + i;
            out->pPortName = PackText(&pk, ports[i].name);
            out->pMonitorName = PackText(&pk, ports[i].monitor);
            out->pDescription = PackText(&pk, ports[i].description);
            out->fPortType = PORT_TYPE_WRITE;
            out->Reserved = 0;
        }
    }
    if (returned) *returned = count;
    return TRUE;
}
