// xec.h - result codes of the support library and their messages.
//
// Every file and system operation of the library returns one of these
// codes; 0 is success. Xec_MapErrorCode turns the system's last error into
// a code, Xec_ErrMsgPtr gives the English text of a code.
#ifndef CESETUP_SUPPORT_XEC_H
#define CESETUP_SUPPORT_XEC_H

#include <windows.h>

#define XEC_OK 0             // success
#define XEC_EOF 1            // end of data
#define XEC_CANCELLED 2      // cancelled by the user or a callback
#define XEC_NOT_FOUND 3      // file not found
#define XEC_BAD_NAME 4       // invalid name or path
#define XEC_IN_USE 5         // file in use
#define XEC_TOO_MANY_OPEN 6  // too many open files
#define XEC_WRITE_PROTECT 7  // write protected or access denied
#define XEC_NETWORK 8        // network failure
#define XEC_DISK_FULL 9      // disk full, or fewer bytes written than asked
#define XEC_MEDIA 10         // device or media error
#define XEC_BAD_FORMAT 11    // unrecognised file format
#define XEC_DAMAGED 12       // damaged file data
#define XEC_SEEK 13          // seek failed
#define XEC_EXISTS 14        // destination exists, overwriting not allowed
#define XEC_SECURITY 15      // security: access denied
#define XEC_NO_MEMORY 16     // out of memory
#define XEC_INTERNAL 17      // bad argument, bad handle, unsupported operation
#define XEC_SYSTEM 18        // any other failure of the system
#define XEC_BUFFER_SMALL 19  // buffer too small

#ifdef __cplusplus
extern "C" {
#endif

DWORD Xec_MapErrorCode(void);
DWORD Xec_MapErrorCodeEx(LONG error);
const char *Xec_ErrMsgPtr(DWORD code);

#ifdef __cplusplus
}
#endif

#endif
