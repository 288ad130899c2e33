#include "sibling_import.h"

#include "../config/value_names.h"
#include "../monitor/port_record.h"
#include "../monitor/text.h"
#include "port_name_rules.h"

namespace {

const DWORD kMaxQueueLength = 126;
const DWORD kMaxAddressLength = 128;
const int kMaxCombinedLength = 127;  // host, colon and queue fit the dialog's 128 characters

// Whatever the value's type: four bytes.
BOOL ReadNumber(HKEY key, const char *name, DWORD *number) {
    DWORD value = 0, size = sizeof value;
    if (RegQueryValueExA(key, name, 0, 0, (LPBYTE)&value, &size) != ERROR_SUCCESS) return FALSE;
    *number = value;
    return TRUE;
}

// Whatever the value's type: up to 255 bytes of text; a longer one is a failed read. The
// extra byte ends a value stored without its terminator.
BOOL ReadText(HKEY key, const char *name, char *text) {
    FillBytes(text, 0, SETTINGS_TEXT_SIZE + 1);
    DWORD size = SETTINGS_TEXT_SIZE;
    if (RegQueryValueExA(key, name, 0, 0, (LPBYTE)text, &size) != ERROR_SUCCESS) return FALSE;
    return TextLength(text) < SETTINGS_TEXT_SIZE;
}

}  // namespace

int ImportSiblingSettings(PortSettings *settings) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SIBLING_KEY_PATH, 0, KEY_READ, &key) != ERROR_SUCCESS) return -1;
    DWORD number = 0;
    settings->protocol = ReadNumber(key, SIBLING_PROTOCOL_VALUE, &number) && number >= SpooledLpr && number <= RawTcp
                             ? number
                             : (DWORD)SpooledLpr;
    number = 0;
    settings->serverPort =
        ReadNumber(key, SIBLING_RAW_PORT_VALUE, &number) && number <= 65535 ? number : DEFAULT_SERVER_PORT;

    char text[SETTINGS_TEXT_SIZE + 1];
    int queueLength = 0, addressLength = 0;
    settings->queueName[0] = 0;
    if (ReadText(key, SIBLING_QUEUE_VALUE, text) && HasOnlyAllowedChars(text, ALLOWED_SYMBOLS)) {
        queueLength = TextLength(text);
        if ((DWORD)queueLength <= kMaxQueueLength)
            CopyText(settings->queueName, sizeof settings->queueName, text);
    }
    settings->portName[0] = 0;
    if (ReadText(key, SIBLING_PORT_NAME_VALUE, text) && IsValidPortNameText(text) &&
        TextLength(text) <= MAX_PORT_NAME_LENGTH)
        CopyText(settings->portName, sizeof settings->portName, text);
    settings->hostAddress[0] = 0;
    if (ReadText(key, SIBLING_ADDRESS_VALUE, text) && HasOnlyAllowedChars(text, ALLOWED_SYMBOLS)) {
        addressLength = TextLength(text);
        if ((DWORD)addressLength <= kMaxAddressLength)
            CopyText(settings->hostAddress, sizeof settings->hostAddress, text);
    }
    RegCloseKey(key);
    if (queueLength + addressLength > kMaxCombinedLength) settings->queueName[0] = 0;
    return settings->portName[0] && settings->hostAddress[0] ? 0 : -1;
}
