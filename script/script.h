// script.h - installation scripts: the reader, the commands and the unload
// log, the file copy commands, the space estimate and script discovery.
//
// A script is a line-oriented byte text (".load"); the unload log (".unload")
// has the same syntax and is read back in removal mode to undo an
// installation. Everything here works on byte strings in caller-owned fixed
// buffers and converts to UTF-16 only at system calls and for messages.
#ifndef CESETUP_SCRIPT_SCRIPT_H
#define CESETUP_SCRIPT_SCRIPT_H

#include <windows.h>

#include "support/xfile.h"

#ifdef __cplusplus
extern "C" {
#endif

// ---------------------------------------------------------------- limits

#define SCRIPT_LINE_SIZE 512    // one line read at a time, at most 511 bytes
#define SCRIPT_MAX_TOKENS 10    // tokens of one line
#define SCRIPT_TOKEN_SIZE 256   // one token, at most 255 bytes (also after %P)
#define SCRIPT_PATH_SIZE 260    // byte paths, source paths of copies
#define SCRIPT_DEST_SIZE 264    // destination paths, default folder, found path
#define SCRIPT_NAME_SIZE 256    // product name, presence key, completion note
#define SCRIPT_PARAM_SIZE 32    // one parameter value, at most 31 bytes
#define SCRIPT_PARAM_COUNT 7    // parameter values 0 (unused) to 6

// Command numbers given to line handlers.
#define SCRIPT_CMD_REGKEYCREATE 0
#define SCRIPT_CMD_REGSTRING 1
#define SCRIPT_CMD_REGINT 2
#define SCRIPT_CMD_COPY 3
#define SCRIPT_CMD_COPYSHARED 4
#define SCRIPT_CMD_MKDIR 5
#define SCRIPT_CMD_CREATESHORTCUT 6
#define SCRIPT_CMD_REMOTEEXEC 7
#define SCRIPT_CMD_EXECONUNLOAD 8
#define SCRIPT_CMD_COMMENT 9
#define SCRIPT_CMD_EXIT 10

// Message ids of the string table used here.
#define IDS_COPY_RETRY 204
#define IDS_READ_FAILED 211
#define IDS_COPY_FAILED 212
#define IDS_REGISTRY_FAILED 213
#define IDS_NO_SCRIPT 215

// ---------------------------------------------------------------- records

// The token array handed to line handlers: slot k holds token k of the line
// (slot 0 the keyword), slots beyond the line's token count are empty.
typedef char SCRIPT_TOKEN[SCRIPT_TOKEN_SIZE];

// Line handler: (line as read and trimmed, command number, tokens, caller
// data) -> nonzero to go on, 0 to stop reading with failure.
typedef int (*SCRIPT_LINE_HANDLER)(char *pszLine, int nCommand, SCRIPT_TOKEN *aTokens, void *pData);

// Copy progress: handed to XFile_CopyFileWithProgress as its user value and
// to CopyProgress. Fields in this order.
typedef struct tagCOPY_PROGRESS {
    XFILE_PROGRESS_PROC pfnProgress;     // CopyProgress
    HWND hwndMain;                       // parent of the progress page
    HWND hwndPage;                       // the modeless progress page; its 1007 shows the file
    HWND hwndBar;                        // progress bar (control 1001), range 0 to 100
    const char *pszSourceFile;           // borrowed: source path of the file being copied
    DWORD dwTotalBytes;                  // the sum the percentage is computed against
    DWORD dwBytesDone;                   // bytes of the files copied so far in this run
} COPY_PROGRESS;

// One script run, owned by RunScript and handed to ExecScriptCommand.
typedef struct tagSCRIPT_RUN {
    BOOL fInstall;                 // 1 install mode, 0 removal mode
    BOOL fReinstall;               // repeating an installation: no second shared counts
    BOOL fCopyFiles;               // 1 files go to the device, 0 run from where they are
    const char *pszSourceFolder;   // borrowed: folder of the script and package files
    const char *pszInstallFolder;  // borrowed: destination folder, the %P text
    HANDLE hUnloadLog;             // open unload log, or (HANDLE)-1
    COPY_PROGRESS cp;
} SCRIPT_RUN;

// The space estimate's record, handed to SizeScriptCommand.
typedef struct tagSCRIPT_SIZE {
    const char *pszSourceFolder; // borrowed
    DWORD dwTotal;               // running sum of bytes
    BOOL fCopyFiles;             // the user's location choice
} SCRIPT_SIZE;

// ---------------------------------------------------------------- process-wide values

// Setup bitmap named by the last script header read up to its line 4.
extern char g_szSetupBitmapName[SCRIPT_PATH_SIZE];
// Location choice of the last header read up to its line 5 (1: ask the user).
extern BOOL g_fSelectAppLocation;
// File title of the expanded language script, and the language script's
// own name; SetupMain picks them by the system version.
extern const char *g_pszExpandedScriptName;
extern const char *g_pszLanguageScriptName;

// Bit k is set while a line handler runs when token k of the line was longer
// than 255 bytes: its slot then holds only the first 255 bytes, and a
// handler that acts on that token must refuse the line.
extern DWORD g_dwScriptTokensCut;
// While a line handler runs: the byte offset in the file of the line's first
// byte after its leading blanks (the first byte of the keyword).
extern DWORD g_dwScriptKeywordOffset;

// ---------------------------------------------------------------- reader

// Reads the six header lines. Every out pointer may be null. Product name,
// presence key and completion note take 256 bytes, the default folder 264.
// Failure shows message 211 with the path and returns 0.
BOOL ReadScriptHeader(const char *pszPath, char *pszProductName, HKEY *phPresenceRoot,
                      char *pszPresenceKey, char *pszDefaultFolder, char *pszCompletionNote);

// Reads a script (fInstall 1: it must end with "exit") or an unload log
// (fInstall 0) and calls the handler for each recognised line. "%P" in the
// tokens is replaced by pszInstallFolder when it is given. Returns 0 on
// failure, otherwise the last handler result (1 when none was called).
int ReadScript(const char *pszPath, BOOL fInstall, const char *pszInstallFolder,
               SCRIPT_LINE_HANDLER pfnHandler, void *pData);
// ReadScript over a file the caller has opened and will close, from its
// current position.
int ReadScriptFile(HANDLE hFile, BOOL fInstall, const char *pszInstallFolder,
                   SCRIPT_LINE_HANDLER pfnHandler, void *pData);

// What an unload log tells of the run that wrote it and of removals that
// read it (bits): UNLOAD_LOG_COMPLETE, it ends with "exit" (the installation
// ran to its end); UNLOAD_LOG_UNDONE, a removal has undone some of its lines
// (it marks each one undone by turning its keyword into a comment, so that
// a removal started again goes on where the last one stopped). A log that
// cannot be read gives UNLOAD_LOG_MISSING alone.
#define UNLOAD_LOG_COMPLETE 0x01
#define UNLOAD_LOG_UNDONE 0x02
#define UNLOAD_LOG_MISSING 0x80
DWORD UnloadLogState(const char *pszPath);

// The pieces of the reader, for tools that check a script line by line
// exactly as it will be read.
//
// Reads the next line (512-byte buffer) and removes line ends and leading
// and trailing blanks; 0 at the end of the file or on a read error.
// *pcchRead (optional) receives the length before the blanks were removed:
// 511 means the line may go on in the next read.
BOOL ScriptReadLine(HANDLE hFile, char *pszLine, DWORD *pcchRead);

#define SCRIPT_LINE_SKIPPED (-1) // no known keyword: the reader skips the line
#define SCRIPT_LINE_BAD (-2)     // more than 10 tokens: the reader fails

// The command number of a keyword (0 to 10) or SCRIPT_LINE_SKIPPED.
int ScriptCommandNumber(const char *pszKeyword);

// Splits one cleaned, non-empty line into the token slots as ReadScript
// does ("%P" replaced when pszInstallFolder is given). Returns the command
// number, SCRIPT_LINE_SKIPPED or SCRIPT_LINE_BAD. *pnCount and *pdwCut
// (optional) receive the token count and the bits of tokens cut at 255
// bytes.
int ScriptSplitLine(const char *pszLine, const char *pszInstallFolder, SCRIPT_TOKEN *aSlots, int *pnCount,
                    DWORD *pdwCut);

// Why header line nLine (0 to 5, cleaned) would make ReadScriptHeader
// fail, or SCRIPT_HDR_OK. The process-wide bitmap name and location choice
// are not touched. For line 2, pszDefaultFolder (264 bytes, optional)
// receives the default folder.
#define SCRIPT_HDR_OK 0
#define SCRIPT_HDR_MISSING 1  // the line is not there
#define SCRIPT_HDR_SPLIT 2    // more than 10 tokens
#define SCRIPT_HDR_MARKER 3   // the first token is not "//"
#define SCRIPT_HDR_TOKENS 4   // another number of tokens than the line takes
#define SCRIPT_HDR_ROOT 5     // line 2: no such registry root
#define SCRIPT_HDR_TOO_LONG 6 // a value longer than its buffer
#define SCRIPT_HDR_BITMAP 7   // line 4: no "=" before the bitmap name
#define SCRIPT_HDR_LOCATION 8 // line 5: neither SelectAppLocation=Yes nor =No
int ScriptHeaderLineProblem(int nLine, const char *pszLine, char *pszDefaultFolder);

// Writes a copy of the script, named g_pszExpandedScriptName in the same
// folder, with "@1".."@6" replaced by apszValues[1..6] (entry 0 unused; each
// at most 31 bytes). On success pszPath (at least 264 bytes) names the copy.
BOOL ExpandScriptParams(char *pszPath, const char *const *apszValues);

// Compares two byte strings folding only the ASCII capitals, exactly as
// XStr_ICompare does, but without its two allocations: a keyword or a file
// name must not go unrecognised because memory ran out.
int ScriptICompare(const char *pszA, const char *pszB);

// ---------------------------------------------------------------- commands

BOOL RunScript(BOOL fInstall, BOOL fCreateLog, BOOL fReinstall, const char *pszScriptPath,
               const char *pszUnloadLogPath, BOOL fCopyFiles, const char *pszSourceFolder,
               char *pszInstallFolder, HWND hwndPage, HWND hwndBar, DWORD dwTotalBytes,
               DWORD *pdwBytesDone);

// The line handler of RunScript; pData is the SCRIPT_RUN record.
int ExecScriptCommand(char *pszLine, int nCommand, SCRIPT_TOKEN *aTokens, void *pData);

BOOL RegKeyCommand(BOOL fInstall, SCRIPT_TOKEN *aTokens);
BOOL RegValueCommand(BOOL fInstall, SCRIPT_TOKEN *aTokens, DWORD dwType);
BOOL ShortcutCommand(BOOL fInstall, SCRIPT_TOKEN *aTokens, const char *pszInstallFolder, BOOL fShared);
BOOL RemoteExecCommand(BOOL fInstall, SCRIPT_TOKEN *aTokens);
BOOL ExecOnUnloadCommand(BOOL fInstall, SCRIPT_TOKEN *aTokens);

// ---------------------------------------------------------------- copies

// Scratch size for copy paths before their length is checked: a folder and
// three tokens always fit, so an over-long path can still be shown.
#define COPY_SCRATCH_SIZE 1100

// Results of CopyLinePaths.
#define COPY_LINE_REFUSED 0 // no safe path; the buffers hold what to show in message 212
#define COPY_LINE_BUILT 1   // source and destination built
#define COPY_LINE_SKIPPED 2 // the skip rule passes the line over

// The source and destination paths of a copy line, into buffers of
// COPY_SCRATCH_SIZE bytes.
int CopyLinePaths(BOOL fCopyFiles, SCRIPT_TOKEN *aTokens, const char *pszSourceFolder,
                  const char *pszInstallFolder, char *pszSource, char *pszDest);
// Message 212 with the two paths.
void ShowCopyFailed(const char *pszSource, const char *pszDest);

BOOL CopyCommand(BOOL fInstall, BOOL fCopyFiles, SCRIPT_TOKEN *aTokens, const char *pszSourceFolder,
                 const char *pszInstallFolder, BOOL fShared, COPY_PROGRESS *pcp);
BOOL InstallFile(BOOL fInstall, const char *pszSource, const char *pszDest, BOOL fShared,
                 COPY_PROGRESS *pcp);
// The progress callback of XFile_CopyFileWithProgress; pUser is a COPY_PROGRESS.
BOOL CopyProgress(DWORD dwBytesCopied, DWORD dwPercent, LPVOID pvUser);
const char *WindowsFolder(void);

// Whether a copy line is carried out under the copy-files flag (the skip
// rule); shared by CopyCommand and the estimate.
BOOL CopyLineWanted(BOOL fCopyFiles, const char *pszDestFolderToken, const char *pszFileName);
// Builds the package path of a copy line into a 260-byte buffer; 0 when it
// does not fit.
BOOL CopySourcePath(const char *pszSourceFolder, const char *pszSubFolder, const char *pszFileName,
                    char *pszOut);

// The path a folder token of a copy or shortcut line names, joined with a
// file name: a token beginning with "\\" is absolute, "." is the install
// folder, anything else a sub-folder of it. pszOut takes
// COPY_SCRATCH_SIZE bytes (an install folder and two tokens always fit).
void ScriptFolderPath(const char *pszInstallFolder, const char *pszFolder, const char *pszName, char *pszOut);

// Whether a device path names a "." or ".." component: such a path would
// leave the folder it names, so the commands refuse it before the device
// does.
BOOL PathHasDotComponent(const char *pszPath);

// Whether two device paths name the same file: compared without regard to
// case as the device compares names, "/" as "\", repeated delimiters as one.
BOOL PathsNameSameFile(const char *pszA, const char *pszB);

// ---------------------------------------------------------------- estimate

BOOL EstimateScript(const char *pszScriptPath, const char *pszSourceFolder, DWORD *pdwTotal,
                    BOOL fCopyFiles);
int SizeScriptCommand(char *pszLine, int nCommand, SCRIPT_TOKEN *aTokens, void *pData);

// ---------------------------------------------------------------- discovery

// Finds pszPattern, else "*.unload", in pszFolder. pszFoundPath takes 264
// bytes. Message 215 is shown when nothing is found, fHandled is 0 and
// fReport is set.
BOOL FindScript(const char *pszFolder, const char *pszPattern, char *pszFoundPath,
                BOOL *pfInstallScript, BOOL *pfLanguageScript, BOOL fHandled, BOOL fReport);

#ifdef __cplusplus
}
#endif

#endif
