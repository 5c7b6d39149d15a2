// Store-path tests shared by the workers: normalisation, the critical prefixes
// whose failure ends a run, and the launcher's own directory, which only the
// self-update replaces. Pure functions; thread-safe.
#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

// Cleans the path, turns "\" into "/", maps "." and "/" to "" and removes
// leading "/". Letter case is kept.
QString NormalizeRelativePath(const QString& strPath);

// True when the normalised path starts, ignoring ASCII letter case, with one of
// "editortool/", "client/bin64/", "client/cachedshaders/",
// "client/cachedshaders_mb/": a file there that cannot be replaced stops the
// run, because the tools would start with a mix of old and new binaries.
bool IsCriticalReplacementPath(const QString& strPath);

// True for "editortool/qhalvanelauncher" and everything below it (exact,
// case-sensitive: store paths are already lower case).
bool IsLauncherSelfPath(const QString& strPath);

// The list without empty entries and without launcher self-paths, order kept.
QStringList FilterLauncherSelfPaths(const QStringList& vecPaths);

// Appends every non-empty entry of vecFrom not yet in *pSeen to *pOut, so the
// first occurrence keeps its place.
void AppendUnseen(const QStringList& vecFrom, QStringList* pOut, QSet<QString>* pSeen);

// A name taken in the directory, also by a dangling link.
bool LocalPathTaken(const QString& strLocal);

// Puts the files in a random order, so that many launchers starting at once
// do not all ask for the same packages first.
void ShuffleFileOrder(QStringList* pList);
