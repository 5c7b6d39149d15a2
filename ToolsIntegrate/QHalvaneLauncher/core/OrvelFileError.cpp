#include "OrvelFileError.h"

#include "platform/OrvelNativeFile.h"

#include <QCoreApplication>
#include <QStringList>

namespace OrvelFileError
{

namespace
{

QString Tr(const char* pcszText)
{
    return QCoreApplication::translate("OrvelFileService", pcszText);
}

} // namespace

QString Format(const QString& strOperation, const QString& strPath, const QString& strDeviceText, int nCode,
               bool bReadOnlyCheck)
{
    if (bReadOnlyCheck && OrvelPlatform::IsReadOnlyFile(strPath))
        return Tr("Failed to %1: %2 (target file is read-only)").arg(strOperation, strPath);

    QStringList vecReasons;
    switch (OrvelPlatform::ClassifyFileError(nCode))
    {
    case OrvelPlatform::FileErrorKind::InUse:
        vecReasons << Tr("file is in use by another process");
        break;
    case OrvelPlatform::FileErrorKind::AccessDenied:
        vecReasons << Tr("access denied");
        break;
    case OrvelPlatform::FileErrorKind::WriteProtected:
        vecReasons << Tr("target is write-protected");
        break;
    case OrvelPlatform::FileErrorKind::NoSpace:
        vecReasons << Tr("not enough disk space");
        break;
    case OrvelPlatform::FileErrorKind::Other:
        break;
    }
    const QString strDevice = strDeviceText.trimmed();
    if (!strDevice.isEmpty() && !vecReasons.contains(strDevice))
        vecReasons << strDevice;
    const QString strSystem = OrvelPlatform::SystemErrorMessage(nCode);
    if (!strSystem.isEmpty() && !vecReasons.contains(strSystem))
        vecReasons << strSystem;
    if (vecReasons.isEmpty())
        return Tr("Failed to %1: %2").arg(strOperation, strPath);
    return Tr("Failed to %1: %2 (%3)").arg(strOperation, strPath, vecReasons.join(QStringLiteral("; ")));
}

} // namespace OrvelFileError
