// SPDX-License-Identifier: MIT
#include "builder/PackagePublish.h"

#include "builder/BuilderFileIo.h"
#include "builder/BuilderStage.h"
#include "common/CorvaneCheck.h"
#include "common/CorvaneFailure.h"
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

bool PublishPackageFile(const std::string& strStageFile, const std::string& strFinalFile)
{
    CORVANE_CHECK(CorvaneUtil::SysExisted(strStageFile.c_str()));
    CORVANE_CHECK(CorvaneUtil::CreateParentDirectories(strFinalFile));
    // The process id keeps two publishers of the same package apart.
    const std::string strPublishTmp =
        strFinalFile + "." + std::to_string(CorvanePlatform::CurrentProcessId()) + ".publishing.tmp";
    CorvanePlatform::RemoveFile(strPublishTmp.c_str());
    if (!CorvanePlatform::ReplaceFile(strStageFile.c_str(), strPublishTmp.c_str()))
    {
        CorvaneUtil::NoteLastSystemFailure("rename", strStageFile, strPublishTmp.c_str());
        CORVANE_REPORT("ReplaceFile(strStageFile, strPublishTmp)");
        return false;
    }
    if (!CorvanePlatform::ReplaceFile(strPublishTmp.c_str(), strFinalFile.c_str()))
    {
        CorvaneUtil::NoteLastSystemFailure("rename", strPublishTmp, strFinalFile.c_str());
        CorvanePlatform::RemoveFile(strPublishTmp.c_str());
        CORVANE_REPORT("ReplaceFile(strPublishTmp, strFinalFile)");
        return false;
    }
    return true;
}

} // namespace

namespace
{

// Writes the completed header at the start of the staged package and flushes
// the package to the device, which must happen before a rename can make it visible.
bool WriteHeaderAndSync(const std::string& strDatNam, const CORVANE_DISK_PACKAGE_HEADER& header,
                        uint64_t uExpectedLength)
{
    const int nFile = CorvanePlatform::FileOpenForUpdate(strDatNam.c_str());
    if (nFile < 0)
    {
        CorvaneUtil::NoteLastSystemFailure("open", strDatNam);
    }
    CORVANE_CHECK(nFile >= 0);
    const bool bLength = uExpectedLength == static_cast<uint64_t>(CorvanePlatform::FileLength(nFile));
    const bool bWritten =
        bLength && sizeof(header) == CorvanePlatform::FileWriteAll(nFile, &header, sizeof(header));
    if (bLength && !bWritten)
    {
        CorvaneUtil::NoteLastSystemFailure("write", strDatNam);
    }
    const bool bSynced = bWritten && CorvanePlatform::FileSync(nFile);
    if (bWritten && !bSynced)
    {
        CorvaneUtil::NoteLastSystemFailure("sync", strDatNam);
    }
    const bool bClosed = CorvanePlatform::FileClose(nFile);
    CORVANE_CHECK(bLength);
    CORVANE_CHECK(bWritten);
    CORVANE_CHECK(bSynced);
    CORVANE_CHECK(bClosed);
    return true;
}

} // namespace

bool ApplyHeader(const char* pcszStageRoot, uint32_t uVer, CORVANE_DISK_PACKAGE_HEADER& header,
                 const uint64_t* puWrittenHash)
{
    const std::string strDatNam = StagedPackagePath(pcszStageRoot, header.nPackageId, uVer);
    const uint64_t uExpectedLength = static_cast<uint64_t>(header.nHeadOffset) + header.nContextLength;
    if (puWrittenHash)
    {
        // The data region was hashed from the very bytes written, each write
        // complete: the package is what the header says once its length on
        // disk is right. Reading every package back was most of the time
        // spent finishing a build.
        header.hashContext = *puWrittenHash;
        CORVANE_CHECK(WriteHeaderAndSync(strDatNam, header, uExpectedLength));
        return true;
    }
    // One read serves both the hash and the check.
    ThreadReadBuffer buffer;
    ReadBuffer& vecData = buffer.Get();
    CORVANE_CHECK(ReadWholeResult::Ok == ReadWholeFile(strDatNam, vecData, UINT32_MAX));
    CORVANE_CHECK(vecData.size() >= sizeof(header) && vecData.size() >= header.nHeadOffset);
    const uint64_t uContexLen = vecData.size() - header.nHeadOffset;
    CORVANE_CHECK(uContexLen == header.nContextLength);
    header.hashContext = NSCorvaneReader::CalcContextHash(vecData.data() + header.nHeadOffset,
                                                          static_cast<uint32_t>(uContexLen));
    CORVANE_CHECK(WriteHeaderAndSync(strDatNam, header, uExpectedLength));
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
