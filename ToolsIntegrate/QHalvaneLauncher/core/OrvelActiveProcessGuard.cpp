#include "OrvelActiveProcessGuard.h"

#include "OrvelStorePath.h"
#include "platform/OrvelProcessSnapshot.h"

#include <QDir>
#include <QFileInfo>

#include <vector>

namespace
{

const OrvelToolRow kToolRows[] = {
    {"qhalvaneeditorx64", "editortool/qhalvaneeditor/qhalvaneeditorx64"},
    {"qhalvaneshadercompiler", "editortool/qhalvaneeditor/qhalvaneshadercompiler"},
    {"qhalvaneassetbuilder", "editortool/qhalvaneeditor/qhalvaneassetbuilder"},
    {"qhalvanecrashreporter", "editortool/qhalvaneeditor/qhalvanecrashreporter"},
    {"qhalvaneprofiler", "editortool/qhalvaneprofiler/qhalvaneprofiler"},
    {"qhalvanescriptdebugger", "editortool/qhalvanescript/qhalvanescriptdebugger"},
    {"qhalvaneclient", "client/bin64/qhalvaneclient"},
    {"qhalvaneserver", "client/bin64/qhalvaneserver"},
};

// Absolute, cleaned, "/" separators; links resolved when the file exists, as
// the system reports a process's image with its links resolved.
QString NormalisePath(const QString& strPath)
{
    const QFileInfo info(strPath);
    const QString strCanonical = info.canonicalFilePath();
    const QString strPathOut = strCanonical.isEmpty() ? info.absoluteFilePath() : strCanonical;
    return QDir::fromNativeSeparators(QDir::cleanPath(strPathOut));
}

struct ExpectedTool
{
    QString strFileName;
    QString strPath;
};

} // namespace

const OrvelToolRow* OrvelToolTable(int* pnCount)
{
    *pnCount = static_cast<int>(sizeof(kToolRows) / sizeof(kToolRows[0]));
    return kToolRows;
}

OrvelActiveProcessResult FindActiveToolProcesses(const QString& strWorkPath)
{
    OrvelActiveProcessResult result;
    const Qt::CaseSensitivity eCase = OrvelPlatform::FileNameCaseSensitivity();
    const QString strSuffix = OrvelPlatform::ExecutableSuffix();

    std::vector<ExpectedTool> vecTools;
    for (const OrvelToolRow& row : kToolRows)
    {
        ExpectedTool tool;
        tool.strFileName = QString::fromLatin1(row.pszFileName) + strSuffix;
        tool.strPath =
            NormalisePath(QDir(strWorkPath).filePath(QString::fromLatin1(row.pszRelativePath) + strSuffix));
        vecTools.push_back(tool);
    }

    std::vector<OrvelPlatform::ProcessEntry> vecProcesses;
    QString strError;
    if (!OrvelPlatform::SnapshotProcesses(&vecProcesses, &strError))
    {
        result.vecWarnings.push_back(strError);
        if (vecProcesses.empty())
            return result;
    }
    for (const OrvelPlatform::ProcessEntry& process : vecProcesses)
    {
        // Store names are ASCII lower case; the system's name is compared the same way.
        const QString strName = OrvelStorePath::AsciiLower(process.strExecutableName);
        for (const ExpectedTool& tool : vecTools)
        {
            if (strName != tool.strFileName)
                continue;
            QString strImage;
            QString strImageError;
            if (!OrvelPlatform::ProcessImagePath(process.uPid, &strImage, &strImageError))
            {
                result.vecWarnings.push_back(strImageError);
                break;
            }
            if (NormalisePath(strImage).compare(tool.strPath, eCase) == 0)
                result.vecProcesses.push_back(
                    QStringLiteral("%1 (PID %2)").arg(QDir::toNativeSeparators(strImage)).arg(process.uPid));
            break;
        }
    }
    return result;
}
