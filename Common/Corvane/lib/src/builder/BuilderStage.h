// SPDX-License-Identifier: MIT
// Where a build keeps its work: packages are staged below the export directory
// under the same relative path they get in the store, and published from there.
#pragma once

#include <cstdint>
#include <string>

namespace NSCorvane
{

// Data region of a package starts right after its 28-byte header.
constexpr uint32_t kPackageHeadOffset = 28;
constexpr uint32_t kFileHeaderSize = 225;

// <export>/_tmp/packer_data
std::string GetPackageStageRootPath(const std::string& strExportDir);
// <export>/_tmp/packer_filestat
std::string GetFileStatCachePath(const std::string& strExportDir);
// <root>/dat/v<ver>/<idx/10>/<idx>.dat
std::string GetPackageFilePath(const std::string& strRootDir, uint32_t uFileIdx, uint32_t uVer);
// The staged package below the export directory's staging root.
std::string StagedPackagePath(const std::string& strStageRoot, uint32_t uFileIdx, uint32_t uVer);

} // namespace NSCorvane
