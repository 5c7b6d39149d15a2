#include "OrvelSpeedText.h"

QString OrvelSpeedValue(quint64 uBytesPerSec)
{
    if (uBytesPerSec == 0)
        return QStringLiteral("--");
    double dValue = static_cast<double>(uBytesPerSec);
    QString strUnit = QStringLiteral("B/s");
    if (dValue >= 1048576.0)
    {
        dValue /= 1048576.0;
        strUnit = QStringLiteral("MB/s");
    }
    else if (dValue >= 1024.0)
    {
        dValue /= 1024.0;
        strUnit = QStringLiteral("KB/s");
    }
    // Whole bytes have no fraction to show.
    const int nDecimals = (strUnit == QLatin1String("B/s") || dValue >= 100.0) ? 0 : 1;
    return QStringLiteral("%1 %2").arg(QString::number(dValue, 'f', nDecimals), strUnit);
}
