// SPDX-License-Identifier: MIT
#include "builder/BuilderStage.h"

#include "common/CorvanePath.h"
#include "format/CorvaneEnvelope.h"

namespace NSCorvane
{

std::string GetPackageStageRootPath(const std::string& strExportDir)
{
    return CorvaneUtil::PathJoin(strExportDir, "_tmp/packer_data");
}

std::string GetFileStatCachePath(const std::string& strExportDir)
{
    return CorvaneUtil::PathJoin(strExportDir, "_tmp/packer_filestat");
}

std::string GetPackageFilePath(const std::string& strRootDir, uint32_t uFileIdx, uint32_t uVer)
{
    std::string strRel;
    NSCorvaneReader::IdxValue_2_Path(strRel, uFileIdx, uVer);
    return CorvaneUtil::PathJoin(strRootDir, strRel);
}

std::string StagedPackagePath(const std::string& strStageRoot, uint32_t uFileIdx, uint32_t uVer)
{
    return GetPackageFilePath(strStageRoot, uFileIdx, uVer);
}

} // namespace NSCorvane
