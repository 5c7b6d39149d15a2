#include "OrvelFileService.h"

#include "OrvelStorePath.h"

#include <Corvane/PemCorvaneX64.h>

FileServiceValue OrvelFileService::RemoteFileSize(const QString& strStorePath)
{
    FileServiceValue result;
    if (!RequireReader(&result.error))
        return result;
    NSCorvane::CorvaneFileInfo info = {};
    // The index answers: nothing is fetched.
    if (!m_pReader->GetFileInfo(OrvelStorePath::ToLibrary(strStorePath).constData(), &info))
    {
        result.error = tr("Failed to get cloud file size: %1").arg(strStorePath);
        SetLastError(result.error);
        return result;
    }
    result.ok = true;
    result.value = info.uFileSize;
    return result;
}
