#include "OrvelSpeedText.h"

namespace
{

// uValue in B, KB, MB, ... up to the unit nMaxUnit (1024-based), with strSuffix
// after the unit: whole bytes, one decimal below 100 of a larger unit.
QString Scaled(quint64 uValue, int nMaxUnit, const QString& strSuffix)
{
    static const char* const kUnits[] = {"B", "KB", "MB", "GB"};
    double dValue = static_cast<double>(uValue);
    int nUnit = 0;
    while (nUnit < nMaxUnit && dValue >= 1024.0)
    {
        dValue /= 1024.0;
        ++nUnit;
    }
    const int nDecimals = (nUnit == 0 || dValue >= 100.0) ? 0 : 1;
    return QStringLiteral("%1 %2%3").arg(QString::number(dValue, 'f', nDecimals),
                                         QLatin1String(kUnits[nUnit]), strSuffix);
}

} // namespace

QString OrvelSpeedValue(quint64 uBytesPerSec)
{
    if (uBytesPerSec == 0)
        return QStringLiteral("--");
    return Scaled(uBytesPerSec, 2, QStringLiteral("/s"));
}

QString OrvelSizeValue(quint64 uBytes)
{
    return Scaled(uBytes, 3, QString());
}
