// shortcuts.h - the products' standard shortcuts: made after every script
// run, kept while their executable is counted as a shared file, otherwise
// removed or pointed at another installed edition of the same product.
#ifndef CESETUP_REGISTRY_SHORTCUTS_H
#define CESETUP_REGISTRY_SHORTCUTS_H

#include <windows.h>

// Link paths, targets and executable paths, in UTF-16 units.
#define SHORTCUT_PATH_SIZE 260

// Makes, keeps or re-points the standard shortcuts of one product.
// fInstalling: nonzero after an install or reinstall run, zero after a
// removal. Returns 1 when every row was processed, 0 when the shared key
// could not be opened.
BOOL UpdateProductShortcuts(BOOL fInstalling, int nProduct, const char *pszInstallFolder,
                            const char *pszProductName);

// Appends the row's special folder and link path to pszLinkPath (260
// units, passed in empty). Leaves it empty when the result would not fit.
void BuildShortcutPath(int nRow, WCHAR *pszLinkPath);

// Writes pszExecutable as the REG_SZ value pszValueName of the product key.
void WriteProductTarget(LPCWSTR pszExecutable, LPCWSTR pszValueName, const char *pszProductName);

// Finds the value pszValueName of another installed edition of the
// product's family. On success *ppszTarget is a new LocalAlloc buffer with
// the value in double quotes (the caller frees it) and the result is 1.
BOOL FindEditionTarget(WCHAR **ppszTarget, LPCWSTR pszValueName, const char *pszProductName, int nProduct);

#endif
