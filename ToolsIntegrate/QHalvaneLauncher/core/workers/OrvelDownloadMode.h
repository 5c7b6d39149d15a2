// The choice between an incremental and a full download of the latest version,
// as the controller makes it from the product record. Pure; thread-safe.
#pragma once

#include <QString>

struct DownloadModeDecision
{
    enum Reason
    {
        Incremental,     // recorded < latest, span <= kMaxIncrementalSpan
        NoBaseline,      // no usable record
        SpanTooLarge,    // latest - recorded > kMaxIncrementalSpan
        AlreadyAtLatest, // recorded >= latest: full, which writes only what differs
    };

    Reason eReason = NoBaseline;
    quint32 uFromVersion = 0;
    quint32 uToVersion = 0;

    bool IsIncremental() const { return eReason == Incremental; }
    quint32 Span() const { return uToVersion > uFromVersion ? uToVersion - uFromVersion : 0; }
    // The controller's log line for the choice (empty for AlreadyAtLatest,
    // whose line the controller writes itself).
    QString LogText() const;
};

constexpr quint32 kMaxIncrementalSpan = 20;

DownloadModeDecision ChooseDownloadMode(bool bHasRecord, quint32 uRecordedVersion, quint32 uLatestVersion);
