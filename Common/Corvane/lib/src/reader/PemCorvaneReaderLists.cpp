// SPDX-License-Identifier: MIT
// Directory listings of the reader, built from the version's directory tree.
#include "reader/PemCorvaneReader.h"

#include "common/CorvaneCheck.h"
#include "common/CorvanePath.h"
#include "format/CorvaneEnvelope.h"
#include "format/CorvaneHash.h"
#include "reader/CorvaneDirTree.h"
#include "reader/PemStringList.h"

#include <new>
#include <thread>

namespace NSCorvane
{

namespace
{

IStringList* NewList(std::vector<std::string>& vecPath)
{
    NSCorvaneReader::SortUniquePaths(vecPath);
    return new (std::nothrow) PemStringList(std::move(vecPath));
}

} // namespace

bool PemCorvaneReader::EnsureDirTreeCache()
{
    CORVANE_CHECK(_INVALID_VER != m_nWorkVersion);
    m_vecDirTreeLine.clear();
    m_vecDirHashLine.clear();
    const std::string strFile = NSCorvaneReader::VersionFilePath(m_nWorkVersion, "_dirtree");
    // Whoever lists a version's files looks them up next: their info comes
    // from the server alongside, not one round trip later.
    std::thread info;
    if (!m_bFileInfoLoaded.load(std::memory_order_acquire) &&
        !m_bFileInfoFailed.load(std::memory_order_acquire))
    {
        try
        {
            info = std::thread([this] { EnsureFileInfo(); });
        }
        catch (...)
        {
            // Read when first asked for, as without this.
        }
    }
    const bool bRead = ReadCompressedTextFile(strFile, m_vecDirTreeLine);
    if (info.joinable())
    {
        info.join();
    }
    CORVANE_CHECK(bRead);
    CORVANE_CHECK(NSCorvaneReader::BuildDirHashLineMap(m_vecDirTreeLine, m_vecDirHashLine));
    return true;
}

IStringList* PemCorvaneReader::OpenFileList(const char* pcszDir, bool bRecursive)
{
    try
    {
        std::string strDirPath;
        CorvaneUtil::ToNormalizePath(strDirPath, pcszDir);
        CORVANE_CHECK_NULL(EnsureDirTreeCache());
        std::vector<std::string> vecFilePath;
        if (!bRecursive)
        {
            uint64_t uLine = 0;
            const uint64_t uKey = NSCorvaneReader::CalcNormalizedNameHash(strDirPath.c_str());
            if (NSCorvaneReader::FindDirLine(m_vecDirHashLine, uKey, &uLine) &&
                !NSCorvaneReader::ParseDirEntries(m_vecDirTreeLine[uLine], strDirPath, &vecFilePath, nullptr))
            {
                vecFilePath.clear();
            }
        }
        else
        {
            std::vector<uint8_t> vecVisitedLine;
            if (!NSCorvaneReader::CollectDirFilesRecursive(m_vecDirTreeLine, m_vecDirHashLine, strDirPath,
                                                           vecFilePath, vecVisitedLine))
            {
                vecFilePath.clear();
            }
        }
        return NewList(vecFilePath);
    }
    catch (const std::bad_alloc&)
    {
        CORVANE_REPORT("OpenFileList(pcszDir, bRecursive)");
        return nullptr;
    }
}

IStringList* PemCorvaneReader::OpenFileList()
{
    try
    {
        CORVANE_CHECK_NULL(EnsureDirTreeCache());
        std::vector<std::string> vecFilePath;
        vecFilePath.reserve(m_vecElement.size()); // one element per file of the version
        std::vector<uint8_t> vecVisitedLine;
        CORVANE_CHECK_NULL(NSCorvaneReader::CollectDirFilesRecursive(
            m_vecDirTreeLine, m_vecDirHashLine, std::string(), vecFilePath, vecVisitedLine));
        return NewList(vecFilePath);
    }
    catch (const std::bad_alloc&)
    {
        CORVANE_REPORT("OpenFileList()");
        return nullptr;
    }
}

} // namespace NSCorvane
