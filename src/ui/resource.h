/* Resource ids of the module: string table and dialog templates. */
#ifndef QVLMR_RESOURCE_H
#define QVLMR_RESOURCE_H

#define IDS_MONITOR_NAME 300
#define IDS_PORT_PREFIX_CLASH 301
#define IDS_PORT_EXISTS 302
#define IDS_MONITOR_DESCRIPTION 307
#define IDS_ERROR_CAPTION 310
#define IDS_INPUT_ERROR 311
#define IDS_HOST_UNAVAILABLE 313

#endif
