// The delivery checks of the smoke harness: jobs in the three modes through the MONITOR
// table, with the spooler stand-in's status texts, pauses, deletes and holds.
#ifndef QVLMR_SMOKE_JOBS_H
#define QVLMR_SMOKE_JOBS_H

#include <windows.h>

#include "../../src/monitor/monitor_table.h"

// The spooler stand-in's control calls, from the WINSPOOL.DRV the monitor was bound to;
// false (with a FAIL line) when that is not the stand-in.
bool FindSpoolerStandIn();
void CheckJobs(MONITOR &m);
// One raw document through a monitor started anew after an upgrade.
void CheckPrintsAfterUpgrade(MONITOR &m);

#endif
