// The files a span of versions changed: the union of the changed-file lists
// of versions uLow+1..uHigh, first occurrence first. Each version's list needs
// a reader of its own, which costs round trips to the server (the marker, the
// index, the list); the versions are opened side by side, so that a span of
// ten does not wait ten times as long before its first file.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class OrvelFileService;

struct VersionChangesFailure
{
    quint32 uVersion = 0;     // the first version that failed
    bool bOpenFailed = false; // its reader did not open (else its list was not read)
    QString strError;
};

// fnStopped is asked (from several threads) before each version opens; once
// it says true no more versions open and the call returns false with
// pFailure->uVersion 0. fnDone is called (from several threads) with the
// count of versions read so far.
bool CollectVersionChanges(OrvelFileService* pSource, quint32 uLow, quint32 uHigh,
                           const std::function<bool()>& fnStopped, const std::function<void(quint32)>& fnDone,
                           QStringList* pList, VersionChangesFailure* pFailure);
