// xstr_path.cpp - taking file names apart (folder, title, extension) and
// putting them together.
//
// Pure string work: the file system is never touched. The directory
// delimiter is the backslash only, the extension delimiter the full stop.
// Destinations without a size argument are MAX_PATH-byte path buffers: a
// result that would not fit there is never written past it; the
// destination receives an empty string instead (a cut path would name
// another file).
#include <windows.h>

#include "support/xstr.h"

#define XSTR_DIR_DELIM '\\'
#define XSTR_EXT_DELIM '.'

char *XStr_GetFileTitlePtr(const char *path)
{
    if (!path)
        return 0;
    char *delim = XStr_FindCharRev(path, XSTR_DIR_DELIM);
    return delim ? delim + 1 : (char *)path;
}

WCHAR *XStr_GetFileTitlePtrW(const WCHAR *path)
{
    if (!path)
        return 0;
    WCHAR *delim = XStr_FindCharRevW(path, (WCHAR)XSTR_DIR_DELIM);
    return delim ? delim + 1 : (WCHAR *)path;
}

int XStr_GetFileTitleOffset(const char *path)
{
    if (!path)
        return 0;
    return (int)(XStr_GetFileTitlePtr(path) - path);
}

// Copies the title; 0 and nothing copied when it does not fit with its
// terminator.
int XStr_GetFileTitle(const char *path, char *dst, int size)
{
    if (!path || !dst)
        return 0;
    const char *title = XStr_GetFileTitlePtr(path);
    if (XStr_Length(title) >= size)
        return 0;
    XStr_Copy(dst, title);
    return 1;
}

// The title without its extension (cut at its last full stop).
int XStr_GetFileTitleName(const char *path, char *dst, int size)
{
    if (!XStr_GetFileTitle(path, dst, size))
        return 0;
    char *dot = XStr_FindCharRev(dst, XSTR_EXT_DELIM);
    if (dot)
        *dot = 0;
    return 1;
}

// The last full stop of the title, or the terminator when it has none.
char *XStr_GetFileExtPtr(const char *path)
{
    if (!path)
        return 0;
    char *title = XStr_GetFileTitlePtr(path);
    char *dot = XStr_FindCharRev(title, XSTR_EXT_DELIM);
    return dot ? dot : XStr_GetEndOfString(title);
}

// The folder part, trailing backslash kept; empty for a bare name.
int XStr_GetFilePath(const char *path, char *dst, int size)
{
    if (!path || !dst)
        return 0;
    if (XStr_Length(path) >= size)
        return 0;
    int offset = XStr_GetFileTitleOffset(path);
    XStr_NCopyExact(dst, path, offset + 1);
    return 1;
}

// Appends src to the work buffer when it fits in MAX_PATH with its
// terminator; the used length is kept in *len.
static int xstr_Append(char *work, int *len, const char *src, int n)
{
    if (*len + n >= MAX_PATH)
        return 0;
    for (int i = 0; i < n; ++i)
        work[*len + i] = src[i];
    *len += n;
    work[*len] = 0;
    return 1;
}

// Finishes a path built in a work buffer: copies it out, or an empty
// string when it did not fit.
static void xstr_Finish(char *dst, const char *work, int ok)
{
    if (ok)
        XStr_Copy(dst, work);
    else
        dst[0] = 0;
}

void XStr_ChangeFileExt(const char *path, const char *ext, char *dst)
{
    char work[MAX_PATH];
    int len = 0;
    if (!dst)
        return;
    if (!path || !ext) {
        dst[0] = 0;
        return;
    }
    int cut = (int)(XStr_GetFileExtPtr(path) - path);
    int ok = xstr_Append(work, &len, path, cut);
    work[len] = 0;
    if (ok && ext[0] != XSTR_EXT_DELIM && !(len > 0 && work[len - 1] == XSTR_EXT_DELIM))
        ok = xstr_Append(work, &len, ".", 1);
    if (ok)
        ok = xstr_Append(work, &len, ext, XStr_Length(ext));
    xstr_Finish(dst, work, ok);
}

void XStr_ChangeFileTitle(const char *path, const char *title, char *dst)
{
    char work[MAX_PATH];
    int len = 0;
    if (!dst)
        return;
    if (!path || !title) {
        dst[0] = 0;
        return;
    }
    int ok = xstr_Append(work, &len, path, XStr_GetFileTitleOffset(path));
    work[len] = 0;
    if (ok)
        ok = xstr_Append(work, &len, title, XStr_Length(title));
    xstr_Finish(dst, work, ok);
}

WCHAR *XStr_ChangeFileTitleW(const WCHAR *path, const WCHAR *title, WCHAR *dst)
{
    if (!dst)
        return 0;
    if (!path || !title) {
        dst[0] = 0;
        return dst;
    }
    int offset = (int)(XStr_GetFileTitlePtrW(path) - path);
    int tlen = XStr_LengthW(title);
    if (offset + tlen >= MAX_PATH) {
        dst[0] = 0;
        return dst;
    }
    WCHAR work[MAX_PATH];
    for (int i = 0; i < offset; ++i)
        work[i] = path[i];
    for (int i = 0; i < tlen; ++i)
        work[offset + i] = title[i];
    work[offset + tlen] = 0;
    return XStr_CopyW(dst, work);
}

// The folder (with a backslash added when needed) followed by the path's
// title; when the two together would reach MAX_PATH bytes, the folder and
// its backslash only.
void XStr_ChangeFilePath(const char *path, const char *folder, char *dst)
{
    char work[MAX_PATH];
    int len = 0;
    if (!dst)
        return;
    if (!path || !folder) {
        dst[0] = 0;
        return;
    }
    const char *title = XStr_GetFileTitlePtr(path);
    int ok = xstr_Append(work, &len, folder, XStr_Length(folder));
    work[len] = 0;
    if (ok && len > 0 && work[len - 1] != XSTR_DIR_DELIM)
        ok = xstr_Append(work, &len, "\\", 1);
    if (ok && len + XStr_Length(title) < MAX_PATH)
        xstr_Append(work, &len, title, XStr_Length(title));
    xstr_Finish(dst, work, ok);
}

int XStr_AddDirDelim(char *path)
{
    if (!path || !*path)
        return 0;
    int len = XStr_Length(path);
    if (path[len - 1] == XSTR_DIR_DELIM)
        return 0;
    path[len] = XSTR_DIR_DELIM;
    path[len + 1] = 0;
    return 1;
}

int XStr_RemoveTrailingDirDelim(char *path)
{
    char *last = XStr_GetLastChar(path);
    if (!last || *last != XSTR_DIR_DELIM)
        return 0;
    *last = 0;
    return 1;
}

int XStr_AddFileExtDelim(char *path)
{
    if (!path)
        return 0;
    int len = XStr_Length(path);
    if (len > 0 && path[len - 1] == XSTR_EXT_DELIM)
        return 0;
    path[len] = XSTR_EXT_DELIM;
    path[len + 1] = 0;
    return 1;
}

// File names keep their case on the device.
char *XStr_FileNameToUpper(char *path)
{
    return path;
}

// A complete name (\\ at the start, or a colon anywhere) is taken as it is;
// any other is joined to the folder. Result 0; a joined name that would not
// fit a MAX_PATH buffer leaves an empty destination and gives 4 (invalid
// name) instead of running past the buffer.
DWORD XFile_BuildFullFileName(const char *name, const char *folder, char *dst)
{
    char work[MAX_PATH];
    int len = 0;
    if (!dst)
        return 17;
    if (!name) {
        dst[0] = 0;
        return 17;
    }
    int ok;
    if ((name[0] == '\\' && name[1] == '\\') || XStr_FindChar(name, ':')) {
        ok = xstr_Append(work, &len, name, XStr_Length(name));
    } else {
        ok = xstr_Append(work, &len, folder ? folder : "", XStr_Length(folder));
        work[len] = 0;
        if (ok && len > 0 && work[len - 1] != XSTR_DIR_DELIM)
            ok = xstr_Append(work, &len, "\\", 1);
        if (ok)
            ok = xstr_Append(work, &len, name, XStr_Length(name));
    }
    work[len] = 0;
    xstr_Finish(dst, work, ok);
    return ok ? 0 : 4;
}
