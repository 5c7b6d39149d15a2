#include "OrvelEditorPath.h"

#include "platform/OrvelPlatformNames.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace OrvelEditorPath
{

QString JoinedProgramPath(const QString& strWorkPath)
{
    return QDir::cleanPath(
        QDir(strWorkPath).filePath(QString::fromLatin1(OrvelPlatform::kEditorRelativePath)));
}

OrvelEditorProgram Resolve(const QString& strWorkPath)
{
    OrvelEditorProgram result;
    result.strProgram = JoinedProgramPath(strWorkPath);
    const QFileInfo program(result.strProgram);
    if (!program.exists() && !program.isSymLink())
    {
        result.ok = true;
        return result;
    }
    const QString strRoot = QFileInfo(strWorkPath).canonicalFilePath();
    const QString strTarget = program.canonicalFilePath();
    // A dangling link has no canonical path; it leads nowhere we could check.
    if (strRoot.isEmpty() || strTarget.isEmpty() || !strTarget.startsWith(strRoot + QLatin1Char('/')))
    {
        result.strError =
            QCoreApplication::translate("OrvelEditorPath",
                                        "Refused to launch program: %1 leads outside the working path (%2)")
                .arg(result.strProgram, strTarget.isEmpty() ? program.symLinkTarget() : strTarget);
        return result;
    }
    result.ok = true;
    result.strProgram = strTarget;
    return result;
}

bool EnsureExecutable(const QString& strProgram)
{
    QFile file(strProgram);
    const QFileDevice::Permissions permissions = file.permissions();
    if (!file.exists() || (permissions & QFileDevice::ExeUser) != 0)
        return true;
    return file.setPermissions(permissions | QFileDevice::ExeOwner | QFileDevice::ExeUser |
                               QFileDevice::ExeGroup | QFileDevice::ExeOther);
}

QString MissingReason(const QString& strWorkPath)
{
    const QString strProgram = JoinedProgramPath(strWorkPath);
    if (QFileInfo(strProgram).isFile())
        return QString();
    return QCoreApplication::translate("OrvelEditorPath",
                                       "The editor is not installed in the working path (%1 is missing): "
                                       "get the latest version first")
        .arg(strProgram);
}

QString StartBlocker(const QString& strWorkPath, const QString& strProgram)
{
    const QFileInfo work(strWorkPath);
    if (!work.isDir() || !work.isExecutable())
        return QCoreApplication::translate("OrvelEditorPath", "Cannot enter the working path %1")
            .arg(strWorkPath);
    const QFileInfo program(strProgram);
    if (!program.exists())
        return QCoreApplication::translate("OrvelEditorPath", "The program file is missing: %1")
            .arg(strProgram);
    if (!program.isFile() || !EnsureExecutable(strProgram) || !QFileInfo(strProgram).isExecutable())
        return QCoreApplication::translate("OrvelEditorPath", "The program is not executable: %1")
            .arg(strProgram);
    return QString();
}

} // namespace OrvelEditorPath
