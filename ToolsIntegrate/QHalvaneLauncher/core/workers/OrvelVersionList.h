// The versions a user may switch to, as the version browse dialog and
// `orvelsync versions` show them: newest first, only versions whose package
// information the server still serves in good state, the current one marked.
// Opens one reader per version on the calling thread (network), so it blocks;
// pService is only read from and must not be used elsewhere meanwhile.
#pragma once

#include <QString>
#include <QVector>

class OrvelFileService;

struct OrvelVersionEntry
{
    quint32 uVersion = 0;
    QString strTag;         // the version's release guid; may be empty
    QString strReleaseText; // may be empty
};

struct OrvelVersionList
{
    QVector<OrvelVersionEntry> vecVersions; // newest first
    int nCurrentIndex = -1;                 // the entry of uCurrentVersion, -1 when not listed
    quint32 uCurrentVersion = 0;            // pService's bound version
};

// From the latest version (or pService's own when the latest cannot be
// opened) down to 0. Without a ready service the list is empty.
OrvelVersionList ListSwitchableVersions(OrvelFileService* pService);
