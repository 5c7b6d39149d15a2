// Store paths as the library expects them: relative, lower case, "/"
// separators, UTF-8. Lower-casing touches ASCII letters only and never depends
// on the process locale: the store's name hash lowers ASCII only, so any other
// mapping would name another file. Local paths never pass through here.
#pragma once

#include <QByteArray>
#include <QString>

namespace OrvelStorePath
{

// "A".."Z" to "a".."z"; every other character unchanged.
QString AsciiLower(const QString& strText);
// "\" to "/", ASCII lower case, leading "/" removed.
QString Normalise(const QString& strStorePath);
// Normalise, as the UTF-8 bytes the library takes.
QByteArray ToLibrary(const QString& strStorePath);

// False, with a reason in *pstrError, for a path that must never be joined
// under a directory: empty, absolute, with a drive or a root, with a "." or
// ".." component or an empty component, or with a NUL character.
bool IsSafeRelative(const QString& strStorePath, QString* pstrError);

// strRoot joined with the normalised store path, refused (false) unless the
// path is safe and the result lies below strRoot after cleaning.
bool JoinUnder(const QString& strRoot, const QString& strStorePath, QString* pstrLocalPath,
               QString* pstrError);

// The launcher's own store directory, lower case: "editortool/qhalvanelauncher".
QString LauncherDirectory();
// True for the launcher's directory itself and everything below it (exact,
// case-sensitive comparison on an already normalised path).
bool IsLauncherSelfPath(const QString& strNormalisedPath);

} // namespace OrvelStorePath
