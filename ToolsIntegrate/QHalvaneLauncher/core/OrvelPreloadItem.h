// Preload items and the two texts the preload store publishes: the table
// "_preloadtable.json" (one item per named entry) and, per item, the list
// "<name>.list" of product-store resource paths. Both come from a server, so
// the readers bound their size, refuse paths that could leave a directory and
// never fail on malformed input beyond reporting it. Pure functions;
// thread-safe.
#pragma once

#include <QByteArray>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>

class OrvelFileService;

struct OrvelPreloadItem
{
    QString key;  // "<name>|<size>": the item's identity
    QString name; // trimmed
    quint64 size = 0;
    QString note; // carried along unchanged

    static QString MakeKey(const QString& strName, quint64 uSize);
};

using OrvelPreloadItemList = QList<OrvelPreloadItem>;

Q_DECLARE_METATYPE(OrvelPreloadItem)
Q_DECLARE_METATYPE(OrvelPreloadItemList)

namespace OrvelPreload
{

// Larger tables and lists are refused unread: no real one comes near this.
constexpr qint64 kMaxTextBytes = qint64(8) * 1024 * 1024;

QString TableFileName();
// "<name>.list"; empty when the name cannot be a store path (see ParseTable).
QString ListFileName(const QString& strName);

struct TableParse
{
    bool bOk = false;
    QString strError; // "Failed to parse preload table JSON: %1" or the root text
    OrvelPreloadItemList vecItems;
    // Entries with a name that is no safe relative path ("..", absolute, a
    // drive, control characters): their list could be read from outside the store.
    int nRefused = 0;
};

// Entries that are objects with a non-blank string "Name" become items, in
// table order; "PakSize" is a number or a numeric string, otherwise 0.
TableParse ParseTable(const QByteArray& data);

struct ListParse
{
    QStringList vecPaths; // trimmed, non-empty, safe relative store paths, in order
    int nRefused = 0;     // lines refused as unsafe paths
};

// CR and LF both end a line.
ListParse ParseList(const QString& strText);

// Reads a whole remote text of at most kMaxTextBytes through pService. False
// with *pstrError set (the service's error, or the size refusal).
bool ReadRemoteText(OrvelFileService* pService, const QString& strStorePath, QString* pstrText,
                    QString* pstrError);

// Registers the item types for queued signals (once is enough; repeat is harmless).
void RegisterMetaTypes();

} // namespace OrvelPreload
