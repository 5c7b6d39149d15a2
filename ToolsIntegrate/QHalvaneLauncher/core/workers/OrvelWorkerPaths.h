// Store-path tests shared by the workers: normalisation, the critical prefixes
// whose failure ends a run, and the launcher's own directory, which only the
// self-update replaces. Pure functions; thread-safe.
#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>

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

// The order a worker fetches in: files of at least kLargeFetchBytes first,
// largest first, so the longest ones never finish last on one thread; then the
// rest in store order from a random starting point, wrapping around. Store
// order keeps neighbouring records of a package next to each other, so the
// reader joins them into one request; the random start still spreads many
// launchers over the packages. fnSize gives a file's size (< 0 unknown).
constexpr qint64 kLargeFetchBytes = 4 << 20;
void OrderForFetch(QStringList* pList, const std::function<qint64(const QString&)>& fnSize);
