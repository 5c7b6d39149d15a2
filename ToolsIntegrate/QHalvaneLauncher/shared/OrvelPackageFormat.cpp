#include "OrvelPackageFormat.h"

#include <QStringList>

namespace OrvelPackageFormat
{

bool IsSafeRelativePath(const QString& strPath)
{
    if (strPath.isEmpty() || strPath.toUtf8().size() > kMaxPathBytes)
        return false;
    if (strPath.contains(QLatin1Char('\\')) || strPath.contains(QChar(0)))
        return false;
    if (strPath.startsWith(QLatin1Char('/')))
        return false;
    // "C:..." is absolute or drive-relative on Windows, whatever follows.
    if (strPath.size() >= 2 && strPath.at(1) == QLatin1Char(':') && strPath.at(0).isLetter())
        return false;
    const QStringList vecParts = strPath.split(QLatin1Char('/'));
    for (const QString& strPart : vecParts)
    {
        if (strPart.isEmpty() || strPart == QLatin1String(".") || strPart == QLatin1String(".."))
            return false;
    }
    return true;
}

} // namespace OrvelPackageFormat
