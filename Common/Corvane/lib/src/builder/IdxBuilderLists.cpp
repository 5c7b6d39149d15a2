// SPDX-License-Identifier: MIT
// Encoding the index and list files of a version. They are encoded at the top
// level, the costliest part of finishing a large build, so the previous
// version's file of the same list is taken whenever it holds exactly the same
// bytes: an unchanged build would otherwise spend most of its time re-encoding
// identical lists.
#include "builder/BuilderFileIo.h"
#include "builder/PemCorvaneIdxBuilder.h"
#include "common/CorvaneCheck.h"
#include "common/CorvanePath.h"
#include "format/CorvaneEnvelope.h"

namespace NSCorvane
{

bool PemCorvaneIdxBuilder::_ReusePreviousEncoding(const std::string& strPrevPath,
                                                  const std::vector<uint8_t>& vecPlain,
                                                  std::vector<uint8_t>& vecEncoded)
{
    std::vector<uint8_t> vecPrev;
    // A previous file that is missing or fails its checks is simply not used.
    if (ReadWholeResult::Ok != ReadWholeFile(strPrevPath, vecPrev, UINT32_MAX))
    {
        return false;
    }
    std::vector<uint8_t> vecDecoded;
    if (!NSCorvaneReader::DecodeCompressedBinary(vecPrev.data(), vecPrev.size(), vecDecoded) ||
        vecDecoded != vecPlain)
    {
        return false;
    }
    vecEncoded = std::move(vecPrev);
    return true;
}

bool PemCorvaneIdxBuilder::_EncodeList(const char* pcszExportDir, ListFile& list)
{
    CORVANE_CHECK(list.vecPlain.size() <= UINT32_MAX);
    const uint32_t uPrevVer = GetWorkVersion();
    if (_INVALID_VER != uPrevVer &&
        _ReusePreviousEncoding(CorvaneUtil::PathJoin(pcszExportDir, NSCorvaneReader::VersionFilePath(
                                                                        uPrevVer, list.strName.c_str())),
                               list.vecPlain, list.vecEncoded))
    {
        return true;
    }
    CORVANE_CHECK(NSCorvaneReader::EncodeCompressedBinary(
        list.vecPlain.data(), static_cast<uint32_t>(list.vecPlain.size()), list.vecEncoded));
    return true;
}

} // namespace NSCorvane
