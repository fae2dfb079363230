// records.h - the install record of each product (folder, unload log, space,
// location choice and language) and the setup's table of registry names.
#ifndef CESETUP_REGISTRY_RECORDS_H
#define CESETUP_REGISTRY_RECORDS_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

// The setup's registry names, in their fixed order. Value names and the
// class are UTF-16; the key paths and the folders are byte strings.
typedef struct tagREGNAMES {
    const WCHAR *pszTarget;          // "Target"
    const WCHAR *pszClass;           // "ParvellRegClass"
    const char *pszSharedKey;        // "Software\Apps\Shared"
    const char *pszInstallerKey;     // "Software\Apps\Veltrona Parvell"
    const WCHAR *pszInstallFolder;   // "InstallFolder"
    const WCHAR *pszUnloadFileName;  // "UnloadFileName"
    const WCHAR *pszDstDiskSpaceReq; // "DstDiskSpaceReq"
    const WCHAR *pszCopyFiles;       // "CopyFiles"
    const WCHAR *pszLanguage;        // "Language"
    const char *pszProgramFiles;     // "\Program Files"
    const char *pszWindows;          // "\Windows"
} REGNAMES;

extern const REGNAMES g_RegNames;

// Capacities in UTF-16 units, terminator included.
#define RECORD_PATH_CCH 260
#define RECORD_LANGUAGE_CCH 64

// Writes the five values of the product's record under HKEY_LOCAL_MACHINE
// "Software\Apps\Veltrona Parvell\<product>". pszLanguage null means
// "UNKNOWN". Returns 1 when all five were written; otherwise shows message
// 209 and returns 0 (values written before the failure stay). A folder or
// unload log path that does not fit is refused before anything is written.
BOOL WriteInstallRecord(const char *pszProductName, const char *pszInstallFolder,
                        DWORD dwCopyFiles, const char *pszUnloadFileName, DWORD dwSpaceRequired,
                        const WCHAR *pszLanguage);

// Reads the product's record. Outputs are optional except pszLanguageOut:
// folder and unload log as byte strings (260 bytes each), the two numbers,
// and the language (64 units; "UNKNOWN" when not stored). Returns 1 when
// "InstallFolder", "UnloadFileName", "DstDiskSpaceReq" and "CopyFiles" were
// all read; otherwise shows 214 (fReinstall) or 210 and returns 0, the
// values that were read still filled in. A missing product key without
// fReinstall writes no output.
BOOL ReadInstallRecord(const char *pszProductName, BOOL fReinstall, char *pszInstallFolderOut,
                       DWORD *pdwCopyFilesOut, char *pszUnloadFileNameOut,
                       DWORD *pdwSpaceRequiredOut, WCHAR *pszLanguageOut);

// Deletes the product's key with everything under it. Returns 1 when it is
// gone afterwards (also when there was none), 0 otherwise. No message.
BOOL DeleteInstallRecord(const char *pszProductName);

// The unload log named by the product's record (260 bytes), read without a
// message and without creating any key; 0 when there is none.
BOOL RecordedUnloadLog(const char *pszProductName, char *pszUnloadFileNameOut);

// The record's location choice ("CopyFiles"), read the same way; 0 when the
// value is not there (a record whose writing was stopped).
BOOL RecordedCopyFiles(const char *pszProductName, DWORD *pdwCopyFiles);

#ifdef __cplusplus
}
#endif

#endif
