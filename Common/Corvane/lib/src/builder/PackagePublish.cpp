// SPDX-License-Identifier: MIT
#include "builder/PackagePublish.h"

#include "builder/BuilderFileIo.h"
#include "builder/BuilderStage.h"
#include "common/CorvaneCheck.h"
#include "format/CorvaneEnvelope.h"
#include "format/CorvaneHash.h"
#include "fs/CorvaneFiles.h"
#include "platform/PlatformFile.h"
#include "platform/PlatformFileUpdate.h"
#include "platform/PlatformProcess.h"

#include <cstring>
#include <vector>

namespace NSCorvane
{

namespace
{

// Largest package buffer a thread keeps between packages.
constexpr size_t kKeptPackageBuffer = size_t{64} << 20;

bool PublishPackageFile(const std::string& strStageFile, const std::string& strFinalFile)
{
    CORVANE_CHECK(CorvaneUtil::SysExisted(strStageFile.c_str()));
    CORVANE_CHECK(CorvaneUtil::CreateParentDirectories(strFinalFile));
    // The process id keeps two publishers of the same package apart.
    const std::string strPublishTmp =
        strFinalFile + "." + std::to_string(CorvanePlatform::CurrentProcessId()) + ".publishing.tmp";
    CorvanePlatform::RemoveFile(strPublishTmp.c_str());
    CORVANE_CHECK(CorvanePlatform::ReplaceFile(strStageFile.c_str(), strPublishTmp.c_str()));
    if (!CorvanePlatform::ReplaceFile(strPublishTmp.c_str(), strFinalFile.c_str()))
    {
        CorvanePlatform::RemoveFile(strPublishTmp.c_str());
        CORVANE_REPORT("ReplaceFile(strPublishTmp, strFinalFile)");
        return false;
    }
    return true;
}

} // namespace

bool ApplyHeader(const char* pcszStageRoot, uint32_t uVer, CORVANE_DISK_PACKAGE_HEADER& header)
{
    const std::string strDatNam = StagedPackagePath(pcszStageRoot, header.nPackageId, uVer);
    // One read serves both the hash and the check: a second pass and a copy
    // were most of the time spent finishing a build. The buffer is kept per
    // thread so its pages are not faulted in anew for every package.
    thread_local ReadBuffer vecData;
    struct BufferTrim
    {
        ReadBuffer& vec;
        ~BufferTrim()
        {
            if (vec.capacity() > kKeptPackageBuffer)
            {
                ReadBuffer().swap(vec);
            }
        }
    } trim{vecData};
    CORVANE_CHECK(ReadWholeResult::Ok == ReadWholeFile(strDatNam, vecData, UINT32_MAX));
    CORVANE_CHECK(vecData.size() >= sizeof(header) && vecData.size() >= header.nHeadOffset);
    const uint64_t uContexLen = vecData.size() - header.nHeadOffset;
    CORVANE_CHECK(uContexLen == header.nContextLength);
    header.hashContext = NSCorvaneReader::CalcContextHash(vecData.data() + header.nHeadOffset,
                                                          static_cast<uint32_t>(uContexLen));

    const int nFile = CorvanePlatform::FileOpenForUpdate(strDatNam.c_str());
    CORVANE_CHECK(nFile >= 0);
    const bool bWritten = sizeof(header) == CorvanePlatform::FileWriteAll(nFile, &header, sizeof(header));
    // The package must be on the device before a rename can make it visible.
    const bool bSynced = bWritten && CorvanePlatform::FileSync(nFile);
    const bool bClosed = CorvanePlatform::FileClose(nFile);
    CORVANE_CHECK(bWritten);
    CORVANE_CHECK(bSynced);
    CORVANE_CHECK(bClosed);
    // What a reader will check, on the bytes the file now holds.
    std::memcpy(vecData.data(), &header, sizeof(header));
    CORVANE_CHECK(
        NSCorvaneReader::CheckStreamDatBytes(vecData.data(), static_cast<uint32_t>(vecData.size())));
    return true;
}

bool PublishPackage(const char* pcszStageRoot, const char* pcszExportDir, uint32_t uVer,
                    const CORVANE_DISK_PACKAGE_HEADER& header)
{
    const std::string strStageFile = StagedPackagePath(pcszStageRoot, header.nPackageId, uVer);
    const std::string strFinalFile = GetPackageFilePath(pcszExportDir, header.nPackageId, uVer);
    CORVANE_CHECK(PublishPackageFile(strStageFile, strFinalFile));
    return true;
}

} // namespace NSCorvane
