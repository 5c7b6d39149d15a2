#include "OrvelLauncherFiles.h"

#include "OrvelStorePath.h"

#include <OrvelPathGuard.h>
#include <platform/OrvelPlatformNames.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace OrvelLauncherFiles
{

bool IsUpdaterName(const QString& strFileName)
{
    const QString strName = OrvelStorePath::AsciiLower(strFileName);
    return strName == QLatin1String("orvelupdater.exe") ||
           strName == OrvelStorePath::AsciiLower(QLatin1String(OrvelPlatform::kUpdaterFileName));
}

Mapping Map(const QString& strAppDir, const QString& strStorePath, const QString& strRelative)
{
    Mapping mapping;
    auto refuse = [&]()
    {
        mapping.strError = QCoreApplication::translate(
                               "OrvelFileService", "Launcher store path leaves the launcher directory: %1")
                               .arg(strStorePath);
        return mapping;
    };
    if (!OrvelStorePath::IsSafeRelative(strRelative, nullptr))
        return refuse();

    const QString strRoot = QDir::cleanPath(QFileInfo(strAppDir).absoluteFilePath());
    QString strPath = strRoot;
    QStringList vecOut;
    const QStringList vecParts = strRelative.split(QLatin1Char('/'));
    for (int i = 0; i < vecParts.size(); ++i)
    {
        const QString& strPart = vecParts.at(i);
        QString strFound;
        if (QFileInfo::exists(strPath + QLatin1Char('/') + strPart))
            strFound = strPart;
        else
        {
            const QString strWanted = OrvelStorePath::AsciiLower(strPart);
            const QStringList vecEntries = QDir(strPath).entryList(QDir::AllEntries | QDir::Hidden |
                                                                   QDir::System | QDir::NoDotAndDotDot);
            for (const QString& strEntry : vecEntries)
            {
                if (OrvelStorePath::AsciiLower(strEntry) == strWanted)
                {
                    strFound = strEntry;
                    break;
                }
            }
        }
        if (strFound.isEmpty())
            strFound = i + 1 == vecParts.size() ? OrvelPlatform::DeployedFileName(strPart) : strPart;
        vecOut.append(strFound);
        strPath += QLatin1Char('/') + strFound;
    }
    mapping.strRelative = vecOut.join(QLatin1Char('/'));
    if (!OrvelResolvesInside(strRoot, mapping.strRelative))
        return refuse();
    mapping.strLocal = strPath;
    mapping.bOk = true;
    return mapping;
}

} // namespace OrvelLauncherFiles
