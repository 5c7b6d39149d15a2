// SPDX-License-Identifier: MIT
#include "builder/PemCorvanePacker.h"

#include "builder/PackerCompress.h"
#include "builder/PackerPathClash.h"
#include "builder/PackerOddEntries.h"
#include "builder/PemCorvaneIdxBuilder.h"
#include "builder/PemQueueTaskPool.h"
#include "common/CorvaneCheck.h"
#include "common/CorvanePath.h"
#include "fs/CorvaneFiles.h"

#include <algorithm>
#include <new>
#include <set>

namespace NSCorvane
{

PemCorvanePacker::PemCorvanePacker() = default;

PemCorvanePacker::~PemCorvanePacker()
{
    m_pkIdxBuilder.reset();
    m_pTaskPool.reset(); // stops and joins the workers
}

void PemCorvanePacker::Release()
{
    delete this;
}

bool PemCorvanePacker::SetEnv(const char* pcszRootDir, const char* pcszExportDir,
                              const CORVANE_PAK_OPTION* pOpt)
{
    // No exception crosses the interface.
    try
    {
        return _SetEnv(pcszRootDir, pcszExportDir, pOpt);
    }
    catch (...)
    {
        CORVANE_REPORT("exception in PemCorvanePacker::SetEnv");
        return false;
    }
}

bool PemCorvanePacker::_SetEnv(const char* pcszRootDir, const char* pcszExportDir,
                               const CORVANE_PAK_OPTION* pOpt)
{
    CORVANE_CHECK(nullptr == m_pkIdxBuilder);
    CORVANE_CHECK(nullptr == m_pTaskPool);
    CORVANE_CHECK(pcszRootDir && *pcszRootDir);
    CORVANE_CHECK(pcszExportDir && *pcszExportDir);
    CORVANE_CHECK(CorvaneUtil::IsAbsolutePath(pcszRootDir));
    CORVANE_CHECK(CorvaneUtil::IsAbsolutePath(pcszExportDir));
    CORVANE_CHECK(pOpt);
    CORVANE_PAK_OPTION opt = *pOpt;
    // Compression needs at least one worker and the writes at least one lane.
    opt.nTreadCount = std::max<uint32_t>(opt.nTreadCount, 1);
    opt.szReleaseText[sizeof(opt.szReleaseText) - 1] = '\0';
    CORVANE_CHECK(STCT_ZSTD == opt.nCompressType);

    m_pkIdxBuilder.reset(new PemCorvaneIdxBuilder());
    if (m_uFlags & CORVANE_PACK_REHASH)
    {
        m_pkIdxBuilder->IgnoreFileStatCache();
    }
    if (!m_pkIdxBuilder->BuildEnv(pcszExportDir, opt))
    {
        m_pkIdxBuilder.reset();
        CORVANE_REPORT("m_pkIdxBuilder->BuildEnv(pcszExportDir, opt)");
        return false;
    }
    m_pTaskPool.reset(new PemQueueTaskPool());
    if (!m_pTaskPool->Init(opt.nTreadCount))
    {
        m_pkIdxBuilder.reset();
        CORVANE_REPORT("m_pTaskPool->Init(opt.nTreadCount)");
        return false;
    }
    m_vecPackInfo.clear();
    m_vecSingleFiles.clear();
    m_pakOpt = opt;
    m_strExportDir = pcszExportDir;
    if (!MakePackerPath(m_rootDir, pcszRootDir) || !MakePackerPath(m_exportDir, pcszExportDir))
    {
        m_pkIdxBuilder.reset();
        m_rootDir = PackerPath();
        CORVANE_REPORT("CorvaneUtil::ToNormalizePath(m_strRootDir, pcszRootDir)");
        return false;
    }
    return true;
}

bool PemCorvanePacker::Push(const char* pcszDir)
{
    // No exception crosses the interface.
    try
    {
        return _Push(pcszDir);
    }
    catch (...)
    {
        CORVANE_REPORT("exception in PemCorvanePacker::Push");
        return false;
    }
}

bool PemCorvanePacker::_Push(const char* pcszDir)
{
    CORVANE_CHECK(pcszDir && *pcszDir);
    CORVANE_CHECK(CorvaneUtil::IsAbsolutePath(pcszDir));
    CORVANE_CHECK(m_rootDir.strNorm.size());
    PackerPath dir;
    CORVANE_CHECK(MakePackerPath(dir, pcszDir));
    // Lexically resolved first, so "root/../elsewhere" cannot pass as below the root.
    CORVANE_CHECK(PathCovers(m_rootDir.strNorm, dir.strNorm));
    for (const PackEntry& entry : m_vecPackInfo)
    {
        if (PathCovers(entry.dir.strNorm, dir.strNorm))
        {
            return true;
        }
    }
    m_vecPackInfo.erase(std::remove_if(m_vecPackInfo.begin(), m_vecPackInfo.end(),
                                       [&](const PackEntry& entry)
                                       { return PathCovers(dir.strNorm, entry.dir.strNorm); }),
                        m_vecPackInfo.end());
    PackEntry entry;
    entry.dir = dir;
    m_vecPackInfo.push_back(std::move(entry));
    return true;
}

bool PemCorvanePacker::PushFile(const char* pcszFile)
{
    // No exception crosses the interface.
    try
    {
        return _PushFile(pcszFile);
    }
    catch (...)
    {
        CORVANE_REPORT("exception in PemCorvanePacker::PushFile");
        return false;
    }
}

bool PemCorvanePacker::_PushFile(const char* pcszFile)
{
    CORVANE_CHECK(pcszFile && *pcszFile);
    CORVANE_CHECK(CorvaneUtil::IsAbsolutePath(pcszFile));
    CORVANE_CHECK(m_rootDir.strNorm.size());
    PackerPath file;
    CORVANE_CHECK(MakePackerPath(file, pcszFile));
    CORVANE_CHECK(CorvaneUtil::SysExisted(file.strReal.c_str()));
    // The root itself is no file below the root.
    CORVANE_CHECK(PathCovers(m_rootDir.strNorm, file.strNorm) && file.strNorm != m_rootDir.strNorm);
    // Refused by name: opening a pipe or a device to read it would wait forever.
    if (!IsRegularFile(file.strReal))
    {
        CORVANE_REPORT(("not a regular file: " + file.strReal).c_str());
        return false;
    }
    for (const PackEntry& entry : m_vecPackInfo)
    {
        if (PathCovers(entry.dir.strNorm, file.strNorm))
        {
            return true;
        }
    }
    for (const PackerPath& single : m_vecSingleFiles)
    {
        if (single.strNorm == file.strNorm)
        {
            return true;
        }
    }
    m_vecSingleFiles.push_back(file);
    return true;
}

bool PemCorvanePacker::Block(const char* pcszDir)
{
    // No exception crosses the interface.
    try
    {
        return _Block(pcszDir);
    }
    catch (...)
    {
        CORVANE_REPORT("exception in PemCorvanePacker::Block");
        return false;
    }
}

bool PemCorvanePacker::_Block(const char* pcszDir)
{
    CORVANE_CHECK(m_vecPackInfo.size());
    CORVANE_CHECK(pcszDir && *pcszDir);
    CORVANE_CHECK(CorvaneUtil::IsAbsolutePath(pcszDir));
    PackerPath dir;
    CORVANE_CHECK(MakePackerPath(dir, pcszDir));
    for (PackEntry& entry : m_vecPackInfo)
    {
        if (PathCovers(entry.dir.strNorm, dir.strNorm))
        {
            entry.setBlocked.insert(dir.strNorm);
        }
    }
    return true;
}

bool PemCorvanePacker::Do()
{
    // No exception crosses the interface.
    try
    {
        return _Do();
    }
    catch (...)
    {
        CORVANE_REPORT("exception in PemCorvanePacker::Do");
        return false;
    }
}

bool PemCorvanePacker::_Do()
{
    CORVANE_CHECK(m_pkIdxBuilder);
    CORVANE_CHECK(m_pTaskPool);
    // A published version is never built over: readers may already use it.
    CORVANE_CHECK(!m_bDone);
    CORVANE_CHECK(m_pkIdxBuilder->ResetRun());

    std::vector<std::vector<PackerFile>>& vecAllListFiles = m_vecAllListFiles;
    vecAllListFiles.clear();
    m_summary = CORVANE_PACK_SUMMARY();
    PackTally tally;
    tally.bKeepPaths = m_pfnNote != nullptr;
    try
    {
        // The store must not pack itself, nor the staging files of this very build.
        const std::string strSkipDir =
            PathCovers(m_rootDir.strNorm, m_exportDir.strNorm) ? m_exportDir.strNorm : std::string();
        PackerWalkExtras extras;
        for (const PackEntry& inf : m_vecPackInfo)
        {
            std::vector<std::vector<PackerFile>> vecLists;
            if (!GetFiles(vecLists, inf, m_rootDir, strSkipDir, m_pakOpt.nTreadCount, extras))
            {
                CORVANE_REPORT("PrivateFun::GetFiles(vecAllListFiles[i], inf, m_strRootDir)");
                return false;
            }
            for (std::vector<PackerFile>& lst : vecLists)
            {
                vecAllListFiles.push_back(std::move(lst));
            }
        }
        if (!_ScreenSpecialEntries(vecAllListFiles, extras))
        {
            return false;
        }
        if (!m_vecSingleFiles.empty())
        {
            std::set<std::string> setCollected;
            for (const std::vector<PackerFile>& lst : vecAllListFiles)
            {
                for (const PackerFile& file : lst)
                {
                    setCollected.insert(file.strRel);
                }
            }
            std::vector<PackerFile> lstSingle;
            for (const PackerPath& single : m_vecSingleFiles)
            {
                // One vanished file leaves out itself, not the other single files.
                if (!CorvaneUtil::SysExisted(single.strReal.c_str()))
                {
                    CORVANE_REPORT(
                        ("CorvaneUtil::SysExisted(strFilePath.c_str()): " + single.strReal).c_str());
                    continue;
                }
                // Replaced by a pipe or a device since it was pushed: never opened.
                if (!IsRegularFile(single.strReal))
                {
                    CORVANE_REPORT(("not a regular file: " + single.strReal).c_str());
                    continue;
                }
                PackerFile file;
                const std::string strPrefix =
                    m_rootDir.strReal.back() == '/' ? m_rootDir.strReal : m_rootDir.strReal + "/";
                CORVANE_CHECK(single.strReal.compare(0, strPrefix.size(), strPrefix) == 0);
                CorvaneUtil::ToNormalizePath(file.strRel, single.strReal.c_str() + strPrefix.size());
                file.strFull = single.strReal;
                // A directory pushed after the file already brings it.
                if (setCollected.insert(file.strRel).second)
                {
                    lstSingle.push_back(std::move(file));
                }
            }
            if (!lstSingle.empty())
            {
                vecAllListFiles.push_back(std::move(lstSingle));
            }
        }
        // Said here by the names in the tree: the index would only see one store path twice.
        if (!CheckStorePathClashes(vecAllListFiles, m_rootDir.strReal))
        {
            return false;
        }
        std::vector<CompressTask> vecAllTasks;
        for (const std::vector<PackerFile>& lst : vecAllListFiles)
        {
            for (const PackerFile& file : lst)
            {
                CompressTask task;
                task.uSeq = static_cast<uint32_t>(vecAllTasks.size());
                task.pFile = &file;
                vecAllTasks.push_back(task);
            }
        }
        // One list for the whole tree: the index builder then makes its maps
        // once instead of merging one small set of maps per directory.
        std::vector<const std::string*> vecPath;
        vecPath.reserve(vecAllTasks.size());
        for (const CompressTask& task : vecAllTasks)
        {
            vecPath.push_back(&task.pFile->strRel);
        }
        PemCorvaneIdxBuilder::HashOrder vecHashOrder;
        if (!vecPath.empty())
        {
            CORVANE_CHECK(
                m_pkIdxBuilder->InsertPaths(vecPath, m_pkIdxBuilder->GetWorkVersion(), &vecHashOrder));
        }
        m_pkIdxBuilder->EncodeEarlyLists(m_strExportDir.c_str());
        if (!DoCompress(m_strExportDir, vecAllTasks, vecHashOrder, m_pakOpt, m_pkIdxBuilder.get(),
                        m_pTaskPool.get(), tally))
        {
            CORVANE_REPORT("PrivateFun::DoCompress( m_strExportDir, vecAllTasks, m_pakOpt, m_pkIdxBuilder, "
                           "m_pTaskPool )");
            return false;
        }
        std::vector<std::string> vecRemoved;
        m_summary.uRemoved = m_pkIdxBuilder->RemovedFiles(m_pfnNote ? &vecRemoved : nullptr);
        CORVANE_CHECK(m_pkIdxBuilder->Output(m_strExportDir.c_str()));
        m_bDone = true;
        m_summary.uAdded = tally.auCount[static_cast<size_t>(PackOrigin::Added)];
        m_summary.uChanged = tally.auCount[static_cast<size_t>(PackOrigin::Changed)];
        m_summary.uSameByStat = tally.auCount[static_cast<size_t>(PackOrigin::SameByStat)];
        m_summary.uSameByHash = tally.auCount[static_cast<size_t>(PackOrigin::SameByHash)];
        m_summary.uBytesStored = tally.uBytesStored;
        static const uint32_t kNoteOf[] = {CPN_ADDED, CPN_CHANGED, 0, CPN_SAME_BY_HASH};
        for (const auto& path : tally.vecPaths)
        {
            _Note(kNoteOf[static_cast<size_t>(path.first)], path.second);
        }
        for (const std::string& strPath : vecRemoved)
        {
            _Note(CPN_REMOVED, strPath);
        }
    }
    catch (const std::bad_alloc&)
    {
        CORVANE_REPORT("std::bad_alloc");
        return false;
    }
    return true;
}

bool PemCorvanePacker::_ScreenSpecialEntries(std::vector<std::vector<PackerFile>>& vecLists,
                                             const PackerWalkExtras& extras)
{
    std::vector<PackerRefusal> vecRefused;
    CORVANE_CHECK(ScreenSpecialEntries(vecLists, extras, vecRefused, &m_summary.uLinksAsFiles));
    if (!vecRefused.empty() && !(m_uFlags & CORVANE_PACK_SKIP_SPECIAL))
    {
        // Every one is named: a publisher fixes them all in one go.
        for (const PackerRefusal& refused : vecRefused)
        {
            CORVANE_REPORT(("cannot pack " + refused.strFull + ": " + refused.strReason).c_str());
        }
        return false;
    }
    m_summary.uSkipped = static_cast<uint32_t>(vecRefused.size());
    for (const PackerRefusal& refused : vecRefused)
    {
        _Note(CPN_SKIPPED, refused.strRel, refused.strReason.c_str());
    }
    if (m_pfnNote && m_summary.uLinksAsFiles)
    {
        for (const std::vector<PackerFile>& lst : vecLists)
        {
            for (const PackerFile& file : lst)
            {
                if (file.bLink)
                {
                    _Note(CPN_LINK_AS_FILE, file.strRel, file.strFull.c_str());
                }
            }
        }
    }
    return true;
}

void PemCorvanePacker::_Note(uint32_t uNote, const std::string& strPath, const char* pcszDetail) const
{
    if (m_pfnNote)
    {
        m_pfnNote(m_pvNoteContext, uNote, strPath.c_str(), pcszDetail ? pcszDetail : "");
    }
}

bool PemCorvanePacker::SetFlags(uint32_t uFlags)
{
    // The stat cache is read by SetEnv.
    CORVANE_CHECK(nullptr == m_pkIdxBuilder);
    CORVANE_CHECK(0 == (uFlags & ~uint32_t{CORVANE_PACK_REHASH | CORVANE_PACK_SKIP_SPECIAL}));
    m_uFlags = uFlags;
    return true;
}

bool PemCorvanePacker::GetSummary(CORVANE_PACK_SUMMARY* pSummary) const
{
    CORVANE_CHECK(pSummary && pSummary->uStructSize == sizeof(CORVANE_PACK_SUMMARY));
    CORVANE_CHECK(m_bDone);
    *pSummary = m_summary;
    return true;
}

} // namespace NSCorvane
