#include "OrvelTransferProgress.h"

#include "OrvelSpeedText.h"

#include <QCoreApplication>

namespace
{

struct Text
{
    Q_DECLARE_TR_FUNCTIONS(OrvelTransferProgress)
};

} // namespace

int OrvelTransferProgress::Percent() const
{
    if (uBytesTotal == 0)
        return 0;
    if (uBytesDone >= uBytesTotal)
        return uFilesDone < uFilesTotal ? 99 : 100;
    // Divided first where the product could overflow.
    const quint64 uPercent = uBytesDone < (quint64(1) << 56) ? uBytesDone * 100 / uBytesTotal
                                                             : uBytesDone / (uBytesTotal / 100 + 1);
    return static_cast<int>(qMin<quint64>(uPercent, 99));
}

qint64 OrvelTransferProgress::SecondsLeft() const
{
    if (!bPlanned || uBytesPerSecond == 0 || uBytesTotal == 0)
        return -1;
    const quint64 uLeft = uBytesDone < uBytesTotal ? uBytesTotal - uBytesDone : 0;
    return static_cast<qint64>((uLeft + uBytesPerSecond - 1) / uBytesPerSecond);
}

QString OrvelDurationText(qint64 nSeconds)
{
    if (nSeconds < 60)
        return Text::tr("%1 s").arg(qMax<qint64>(nSeconds, 0));
    if (nSeconds < 3600)
        return Text::tr("%1 min %2 s").arg(nSeconds / 60).arg(nSeconds % 60);
    return Text::tr("%1 h %2 min").arg(nSeconds / 3600).arg(nSeconds % 3600 / 60);
}

QString OrvelTransferText(const OrvelTransferProgress& progress)
{
    QString strText =
        Text::tr("%1 of %2").arg(OrvelSizeValue(progress.uBytesDone), OrvelSizeValue(progress.uBytesTotal));
    if (progress.uBytesPerSecond > 0)
        strText += QStringLiteral(", ") + OrvelSpeedValue(progress.uBytesPerSecond);
    const qint64 nLeft = progress.SecondsLeft();
    if (nLeft >= 0 && progress.uBytesDone < progress.uBytesTotal)
        strText += QStringLiteral(", ") + Text::tr("%1 left").arg(OrvelDurationText(nLeft));
    return strText;
}
