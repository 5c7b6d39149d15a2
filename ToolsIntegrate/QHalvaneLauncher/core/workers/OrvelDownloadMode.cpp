#include "workers/OrvelDownloadMode.h"

#include <QCoreApplication>

DownloadModeDecision ChooseDownloadMode(bool bHasRecord, quint32 uRecordedVersion, quint32 uLatestVersion)
{
    DownloadModeDecision decision;
    decision.uFromVersion = uRecordedVersion;
    decision.uToVersion = uLatestVersion;
    if (!bHasRecord)
        decision.eReason = DownloadModeDecision::NoBaseline;
    else if (uRecordedVersion >= uLatestVersion)
        decision.eReason = DownloadModeDecision::AlreadyAtLatest;
    else if (uLatestVersion - uRecordedVersion > kMaxIncrementalSpan)
        decision.eReason = DownloadModeDecision::SpanTooLarge;
    else
        decision.eReason = DownloadModeDecision::Incremental;
    return decision;
}

QString DownloadModeDecision::LogText() const
{
    switch (eReason)
    {
    case Incremental:
        return QCoreApplication::translate("OrvelDownloadMode",
                                           "Using incremental download: version %1 -> %2 (%3 versions)")
            .arg(uFromVersion)
            .arg(uToVersion)
            .arg(Span());
    case SpanTooLarge:
        return QCoreApplication::translate("OrvelDownloadMode",
                                           "Using full download (version span too large: %1)")
            .arg(Span());
    case NoBaseline:
        return QCoreApplication::translate("OrvelDownloadMode",
                                           "Using full download (no valid sync baseline)");
    case AlreadyAtLatest:
        break;
    }
    return QString();
}
