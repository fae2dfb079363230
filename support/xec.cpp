// xec.cpp - result codes: translation of system errors and message texts.
//
// The translation is a pure function of the error number; the texts are
// static and never freed.
#include <windows.h>

#include "support/xec.h"

static const char *const s_xec_Messages[] = {
    "Success !",
    "No more data to process",
    "Operation cancelled by user or some other external event",
    "Cannot open file: file not found",
    "Cannot open file: file name is invalid for disk file system",
    "Cannot open file: file is already in use",
    "Cannot open file: too many opened files",
    "Cannot open file for modification: file is write protected",
    "Network error",
    "Disk overflow",
    "Disk physical error or bad media",
    "Cannot read file: file format is unrecognized",
    "Cannot read file: file data is uninterpreted or damaged",
    "Cannot seek within file",
    "Destination file exists but overwrite is not permitted",
    "Security: Access to object denied",
    "Insufficient memory to proceed",
    "Internal program error",
    "Unknown error outside the program",
    "Buffer too small",
};

// Reads the calling thread's last system error and translates it.
DWORD Xec_MapErrorCode(void)
{
    return Xec_MapErrorCodeEx((LONG)GetLastError());
}

// Translates a Win32 error number into a result code; every number not
// listed, negative ones included, is "any other failure of the system".
DWORD Xec_MapErrorCodeEx(LONG error)
{
    switch (error) {
    case 0: // ERROR_SUCCESS
        return XEC_OK;
    case 38: // ERROR_HANDLE_EOF
        return XEC_EOF;
    case 2: // ERROR_FILE_NOT_FOUND
        return XEC_NOT_FOUND;
    case 3: case 15: case 20: case 55: case 67: case 123: case 161: case 206:
    case 1203: case 1214:
        return XEC_BAD_NAME;
    case 32: case 108:
        return XEC_IN_USE;
    case 4:
        return XEC_TOO_MANY_OPEN;
    case 5: case 19: case 65: case 1224:
        return XEC_WRITE_PROTECT;
    case 50: case 53: case 54: case 58: case 64: case 70: case 88: case 1201:
    case 1204: case 1206: case 1222: case 6118:
        return XEC_NETWORK;
    case 39: case 112:
        return XEC_DISK_FULL;
    case 21: case 23: case 25: case 27: case 30: case 132: case 267: case 1006:
    case 1117: case 1126: case 1127: case 1128: case 1392: case 1393:
        return XEC_MEDIA;
    case 8: case 14: case 84: case 1130:
        return XEC_NO_MEMORY;
    default:
        return XEC_SYSTEM;
    }
}

// The message text of a result code; never null.
const char *Xec_ErrMsgPtr(DWORD code)
{
    if (code < sizeof(s_xec_Messages) / sizeof(s_xec_Messages[0]))
        return s_xec_Messages[code];
    return "Unknown error";
}
