// How far a task's transfer has come, by bytes: what the window's progress
// line and orvelsync show beside the file counter. A value type, copied
// across threads in queued signals.
#pragma once

#include <QMetaType>
#include <QString>

struct OrvelTransferProgress
{
    quint64 uBytesDone = 0;
    quint64 uBytesTotal = 0; // 0: the task moves no bytes it can count
    quint64 uFilesDone = 0;  // written (or found the same) of those to fetch
    quint64 uFilesTotal = 0;
    quint64 uBytesPerSecond = 0;
    // The bytes are the library's plan (what goes over the wire); otherwise
    // the sizes of the files written, counted as each one is in place.
    bool bPlanned = false;

    bool Known() const { return uBytesTotal > 0; }
    // 0..100, rounded down, and never 100 while a byte or a file is missing.
    int Percent() const;
    // Seconds to the end at the current speed; -1 when that cannot be told
    // (no plan: file sizes are not the bytes on the wire).
    qint64 SecondsLeft() const;
};
Q_DECLARE_METATYPE(OrvelTransferProgress)

// "12.5 MB of 30.0 MB", then ", 1.2 MB/s, 15 s left" where known. Translated
// in the OrvelTransferProgress context.
QString OrvelTransferText(const OrvelTransferProgress& progress);
// "15 s", "2 min 5 s", "1 h 3 min".
QString OrvelDurationText(qint64 nSeconds);
