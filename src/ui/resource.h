/* Resource ids of the module: string table, dialog templates and their controls. */
#ifndef QVLMR_RESOURCE_H
#define QVLMR_RESOURCE_H

#define IDS_MONITOR_NAME 300
#define IDS_PORT_PREFIX_CLASH 301
#define IDS_PORT_EXISTS 302
#define IDS_MONITOR_DESCRIPTION 307
#define IDS_ERROR_CAPTION 310
#define IDS_INPUT_ERROR 311
#define IDS_HOST_UNAVAILABLE 313

#define IDD_PORT_SETUP_ADD 400
#define IDD_PORT_SETUP_CONFIGURE 401
#define IDD_ABOUT 500

#define IDC_PORT_NAME 410
#define IDC_ABOUT 418
#define IDC_PORT_NUMBER 419
#define IDC_BYTE_COUNT 420
#define IDC_LPR 425
#define IDC_RAW 426
#define IDC_PORT_NAME_LABEL 430
#define IDC_ADDRESS_LABEL 431
#define IDC_PROTOCOL_GROUP 432
#define IDC_PORT_NUMBER_LABEL 433
#define IDC_ADDRESS 413

// The setup dialog's help contexts in QVLMRMON.HLP; the help writer reads them from here.
#define IDH_SETUP_PORT_NAME 450
#define IDH_SETUP_ADDRESS 451
#define IDH_SETUP_OK 452
#define IDH_SETUP_CANCEL 453
#define IDH_SETUP_ABOUT 454
#define IDH_SETUP_PROTOCOL 455
#define IDH_SETUP_PORT_NUMBER 456
#define IDH_SETUP_BYTE_COUNT 457
#define IDH_SETUP_LPR 460
#define IDH_SETUP_RAW 461

#endif
