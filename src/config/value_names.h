// The names of the monitor's registry keys and values, under its key in
// HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Print\Monitors, and of the sibling
// client's proposal. Also read by the host's command line, which switches the trace.
#ifndef QVLMR_VALUE_NAMES_H
#define QVLMR_VALUE_NAMES_H

#define PORTS_KEY "Ports"    // a text value per port: its address; a key per port: the rest
#define CONFIG_KEY "Config"  // the monitor-wide values

#define QUEUE_VALUE "PrtQName"     // the port's LPD queue; the port's name when missing or empty
#define PROTOCOL_VALUE "Protocol"  // the port's mode: 1, 2 or 3
#define RAW_PORT_VALUE "SvrPort"   // the printer's raw port; 9100 when missing

#define JOB_NUMBER_VALUE "SeqNum"   // the last job number, 0 to 999
#define LOCAL_PORT_VALUE "PortNum"  // the next reserved local port, 1023 down to 600
#define SPOOL_DIR_VALUE "SpoolDir"  // where job files go; the spooler's folder when empty
#define TRACE_VALUE "Trace"         // nonzero: the trace is on (a value beyond the first design)

// The values of the sibling client's key that AddPort reads a proposal from.
#define SIBLING_PORT_NAME_VALUE "PortName"
#define SIBLING_ADDRESS_VALUE "IPAddress"
#define SIBLING_QUEUE_VALUE "LPRQueue"
#define SIBLING_PROTOCOL_VALUE "Protocol"
#define SIBLING_RAW_PORT_VALUE "RawPort"

#endif
