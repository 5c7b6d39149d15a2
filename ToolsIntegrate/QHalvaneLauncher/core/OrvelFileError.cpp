#include "OrvelFileError.h"

#include "platform/OrvelNativeFile.h"

#include <QCoreApplication>
#include <QStringList>

namespace OrvelFileError
{

namespace
{

// The texts of this file, in the OrvelFileService translation context.
struct Text
{
    Q_DECLARE_TR_FUNCTIONS(OrvelFileService)
};

} // namespace

QString Format(const QString& strOperation, const QString& strPath, const QString& strDeviceText, int nCode,
               bool bReadOnlyCheck)
{
    if (bReadOnlyCheck && OrvelPlatform::IsReadOnlyFile(strPath))
        return Text::tr("Failed to %1: %2 (target file is read-only)").arg(strOperation, strPath);

    QStringList vecReasons;
    switch (OrvelPlatform::ClassifyFileError(nCode))
    {
    case OrvelPlatform::FileErrorKind::InUse:
        vecReasons << Text::tr("file is in use by another process");
        break;
    case OrvelPlatform::FileErrorKind::AccessDenied:
        vecReasons << Text::tr("access denied");
        break;
    case OrvelPlatform::FileErrorKind::WriteProtected:
        vecReasons << Text::tr("target is write-protected");
        break;
    case OrvelPlatform::FileErrorKind::NoSpace:
        vecReasons << Text::tr("not enough disk space");
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
        return Text::tr("Failed to %1: %2").arg(strOperation, strPath);
    return Text::tr("Failed to %1: %2 (%3)")
        .arg(strOperation, strPath, vecReasons.join(QStringLiteral("; ")));
}

} // namespace OrvelFileError
