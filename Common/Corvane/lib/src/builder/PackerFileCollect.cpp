// SPDX-License-Identifier: MIT
#include "builder/PackerFileCollect.h"

#include "builder/BuilderJobs.h"
#include "common/CorvaneCheck.h"
#include "common/CorvanePath.h"
#include "fs/CorvaneFiles.h"
#include "platform/PlatformDirectory.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>
#include <new>
#include <set>
#include <unordered_set>

namespace fs = std::filesystem;

namespace NSCorvane
{

namespace
{

struct DirEntry
{
    std::string strNorm;
    std::string strReal;
    bool bLink = false;
    CorvanePlatform::OtherKind eOther = CorvanePlatform::OtherKind::None;
    bool bHasStat = false; // files: stat below was taken by the listing
    CorvanePlatform::FileStat stat;
};

// The subdirectories and the files of one directory, each sorted by normalised
// path so the walk, and with it the store, does not depend on the file
// system's order. Unreadable directories give nothing.
struct DirListing
{
    bool bListed = false;
    CorvanePlatform::FileIdentity id;
    std::vector<DirEntry> vecDirs;
    std::vector<DirEntry> vecFiles; // files and links to files
    std::vector<DirEntry> vecOdd;   // everything else
};

std::string WithSeparator(const std::string& strDir)
{
    return (!strDir.empty() && strDir.back() == '/') ? strDir : strDir + "/";
}

// pParent, when given, is the open directory dir is in; pKeep keeps dir open.
DirListing ListEntries(const DirEntry& dir, const CorvanePlatform::DirectoryHandlePtr& pParent = nullptr,
                       CorvanePlatform::DirectoryHandlePtr* pKeep = nullptr)
{
    DirListing listing;
    CorvanePlatform::DirectoryListing items;
    const size_t uSlash = dir.strReal.rfind('/');
    const char* pcszName = (uSlash == std::string::npos) ? nullptr : dir.strReal.c_str() + uSlash + 1;
    if (!CorvanePlatform::ListDirectoryIn(pParent, pcszName, dir.strReal.c_str(), &items, pKeep))
    {
        return listing;
    }
    listing.bListed = true;
    listing.id = items.id;
    const std::string strPrefix = WithSeparator(dir.strReal);
    // Normalising works character by character: the directory's part is done.
    const std::string strNormPrefix = WithSeparator(dir.strNorm);
    std::string strNormName;
    for (CorvanePlatform::DirectoryItem& item : items.vecItems)
    {
        // A link to a directory is a directory of the tree; a link to a file
        // is a file of it, which the packer checks lies inside the tree.
        DirEntry entry;
        entry.strReal = strPrefix + item.strName;
        entry.bLink = item.bLink;
        entry.eOther = item.eOther;
        entry.bHasStat = item.bHasStat;
        entry.stat = item.stat;
        CorvaneUtil::ToNormalizePath(strNormName, item.strName.c_str());
        entry.strNorm = strNormPrefix + strNormName;
        const bool bFile = item.bFile || CorvanePlatform::OtherKind::FileLink == item.eOther;
        (bFile             ? listing.vecFiles
         : item.bDirectory ? listing.vecDirs
                           : listing.vecOdd)
            .push_back(std::move(entry));
    }
    const auto byNorm = [](const DirEntry& a, const DirEntry& b) { return a.strNorm < b.strNorm; };
    std::sort(listing.vecDirs.begin(), listing.vecDirs.end(), byNorm);
    std::sort(listing.vecFiles.begin(), listing.vecFiles.end(), byNorm);
    std::sort(listing.vecOdd.begin(), listing.vecOdd.end(), byNorm);
    return listing;
}

bool IsExcluded(const std::string& strNorm, const PackEntry& entry, const std::string& strSkipDir)
{
    if (!strSkipDir.empty() && PathCovers(strSkipDir, strNorm))
    {
        return true;
    }
    for (const std::string& strBlocked : entry.setBlocked)
    {
        if (PathCovers(strBlocked, strNorm))
        {
            return true;
        }
    }
    return false;
}

// A directory of the tree with the files its listing found.
struct WalkedDir
{
    DirEntry dir;
    CorvanePlatform::FileIdentity id;
    std::vector<DirEntry> vecFiles;
    std::vector<DirEntry> vecOdd;
};

// A directory listed ahead of the walk, under the path the listing came by.
// vecChildren follows listing.vecDirs; null where nothing was listed ahead.
struct KeptDirectory;

struct ListedNode
{
    DirEntry dir;
    DirListing listing;
    std::vector<ListedNode*> vecChildren;
    std::shared_ptr<KeptDirectory> pParent; // held until this one is open
};

// A listed directory kept open for its subdirectories, counted so the walk
// never holds more than a few hundred descriptors.
struct KeptDirectory
{
    KeptDirectory(CorvanePlatform::DirectoryHandlePtr p, std::atomic<size_t>& uCount)
        : pHandle(std::move(p)), uKept(uCount)
    {
        ++uKept;
    }
    ~KeptDirectory() { --uKept; }
    KeptDirectory(const KeptDirectory&) = delete;
    KeptDirectory& operator=(const KeptDirectory&) = delete;
    CorvanePlatform::DirectoryHandlePtr pHandle;
    std::atomic<size_t>& uKept;
};

// Identity sets start with room for this many directories: growing one
// rehashes every identity in it.
constexpr size_t kExpectedDirs = 8192;

// Lists the tree ahead of the walk on uThreads threads, each taking the next
// directory found by any of them: no thread waits for a whole depth to end.
// Each real directory is descended into once, so a link to an ancestor ends.
// Which path lists a directory reached twice depends on timing; the walk that
// follows does not, and lists anything it misses itself.
class TreeLister
{
public:
    TreeLister(const PackEntry& entry, const std::string& strSkipDir)
        : m_entry(entry), m_strSkipDir(strSkipDir)
    {
    }

    ListedNode* Run(const DirEntry& top, uint32_t uThreads)
    {
        m_setClaimed.reserve(kExpectedDirs);
        m_nodes.emplace_back();
        m_nodes.back().dir = top;
        m_vecQueue.push_back(&m_nodes.back());
        // Each runner takes directories until none is left or being listed.
        const bool bRan = RunJobs(uThreads, uThreads, [this](size_t) { return RunOne(); });
        return (bRan && m_bOk) ? &m_nodes.front() : nullptr;
    }

    // After Run: whether every directory was found by one way only, so that
    // the listed ones are exactly the tree's, whatever the order of listing.
    bool EachReachedOnce() const { return !m_bReachedTwice; }
    std::deque<ListedNode>& Nodes() { return m_nodes; }

private:
    bool RunOne()
    {
        std::unique_lock<std::mutex> lock(m_mtx);
        for (;;)
        {
            m_cv.wait(lock, [this] { return !m_vecQueue.empty() || 0 == m_uBusy || !m_bOk; });
            if (m_vecQueue.empty() || !m_bOk)
            {
                m_cv.notify_all();
                return m_bOk;
            }
            ListedNode* pNode = m_vecQueue.back();
            m_vecQueue.pop_back();
            ++m_uBusy;
            lock.unlock();
            bool bListed = false;
            std::shared_ptr<KeptDirectory> pKept;
            try
            {
                CorvanePlatform::DirectoryHandlePtr pHandle;
                const bool bKeep = m_uKept.load() < kMaxKept;
                pNode->listing = ListEntries(pNode->dir, pNode->pParent ? pNode->pParent->pHandle : nullptr,
                                             bKeep ? &pHandle : nullptr);
                pNode->pParent.reset();
                if (pHandle)
                {
                    pKept = std::make_shared<KeptDirectory>(std::move(pHandle), m_uKept);
                }
                bListed = true;
            }
            catch (const std::bad_alloc&)
            {
            }
            lock.lock();
            --m_uBusy;
            if (!bListed)
            {
                // Out of memory: the walk must fail, not leave directories out.
                m_bOk = false;
                continue;
            }
            try
            {
                const DirListing& listing = pNode->listing;
                if (listing.bListed && !m_setClaimed.insert(listing.id).second)
                {
                    m_bReachedTwice = true;
                }
                else if (listing.bListed)
                {
                    pNode->vecChildren.assign(listing.vecDirs.size(), nullptr);
                    for (size_t i = 0; i < listing.vecDirs.size(); ++i)
                    {
                        if (!IsExcluded(listing.vecDirs[i].strNorm, m_entry, m_strSkipDir))
                        {
                            m_nodes.emplace_back();
                            m_nodes.back().dir = listing.vecDirs[i];
                            m_nodes.back().pParent = pKept;
                            pNode->vecChildren[i] = &m_nodes.back();
                            m_vecQueue.push_back(&m_nodes.back());
                        }
                    }
                }
            }
            catch (const std::bad_alloc&)
            {
                // Every runner must hear of it, or one could wait for ever.
                m_bOk = false;
            }
            // The children hold the directory open now; the last one to be
            // opened closes it. The count changes outside the lock.
            lock.unlock();
            pKept.reset();
            lock.lock();
            m_cv.notify_all();
        }
    }

    static constexpr size_t kMaxKept = 256;
    const PackEntry& m_entry;
    const std::string& m_strSkipDir;
    std::mutex m_mtx;
    std::condition_variable m_cv;
    std::atomic<size_t> m_uKept{0}; // before the nodes: they count down on destruction
    std::deque<ListedNode> m_nodes; // stable addresses
    std::vector<ListedNode*> m_vecQueue;
    std::unordered_set<CorvanePlatform::FileIdentity, CorvanePlatform::FileIdentityHash> m_setClaimed;
    size_t m_uBusy = 0;
    bool m_bOk = true;
    bool m_bReachedTwice = false; // some directory was found by two ways
};

// Level by level, directories of one depth taken in sorted order, so which path
// a directory reached twice is walked under does not depend on timing. The
// listings come from the lister above; the walk lists a directory itself only
// where the lister took another way to it.
bool WalkDirectories(const DirEntry& top, const PackEntry& entry, const std::string& strSkipDir,
                     uint32_t uThreads, std::vector<WalkedDir>& vecDirs)
{
    TreeLister lister(entry, strSkipDir);
    ListedNode* pRoot = lister.Run(top, uThreads);
    CORVANE_CHECK(pRoot);
    if (lister.EachReachedOnce())
    {
        // No link led to a directory twice: no choice of way to make.
        for (ListedNode& node : lister.Nodes())
        {
            if (node.listing.bListed)
            {
                vecDirs.push_back(WalkedDir{std::move(node.dir), node.listing.id,
                                            std::move(node.listing.vecFiles),
                                            std::move(node.listing.vecOdd)});
            }
        }
        return true;
    }
    std::unordered_set<CorvanePlatform::FileIdentity, CorvanePlatform::FileIdentityHash> setVisited;
    setVisited.reserve(kExpectedDirs);
    std::vector<std::pair<DirEntry, ListedNode*>> vecLevel{{top, pRoot}};
    while (!vecLevel.empty())
    {
        std::vector<std::pair<DirEntry, ListedNode*>> vecNext;
        for (auto& level : vecLevel)
        {
            ListedNode* pNode = level.second;
            DirListing listed = pNode ? std::move(pNode->listing) : ListEntries(level.first);
            // Unreadable, or a directory already walked by another way. A
            // linked directory belongs to the tree whole; the identity check
            // keeps a link to an ancestor from looping.
            if (!listed.bListed || !setVisited.insert(listed.id).second)
            {
                continue;
            }
            vecDirs.push_back(WalkedDir{std::move(level.first), listed.id, std::move(listed.vecFiles),
                                        std::move(listed.vecOdd)});
            for (size_t i = 0; i < listed.vecDirs.size(); ++i)
            {
                DirEntry& sub = listed.vecDirs[i];
                if (!IsExcluded(sub.strNorm, entry, strSkipDir))
                {
                    ListedNode* pChild =
                        (pNode && i < pNode->vecChildren.size()) ? pNode->vecChildren[i] : nullptr;
                    vecNext.emplace_back(std::move(sub), pChild);
                }
            }
        }
        vecLevel = std::move(vecNext);
    }
    return true;
}

// The store path of a walked file: its normalised path without the root's,
// made in place in the normalised path it takes.
bool TakeRelativePath(std::string& strOut, DirEntry& file, const PackerPath& root)
{
    const std::string& strRoot = root.strReal;
    const size_t uPrefix = (!strRoot.empty() && strRoot.back() == '/') ? strRoot.size() : strRoot.size() + 1;
    CORVANE_CHECK(file.strReal.size() > uPrefix);
    CORVANE_CHECK(0 == file.strReal.compare(0, strRoot.size(), strRoot));
    CORVANE_CHECK(uPrefix == strRoot.size() || file.strReal[strRoot.size()] == '/');
    // The normalised path is the real one character by character.
    CORVANE_CHECK(file.strNorm.size() == file.strReal.size());
    strOut = std::move(file.strNorm);
    strOut.erase(0, uPrefix);
    return true;
}

bool CollectDirFiles(std::vector<PackerFile>& lstFiles, std::vector<DirEntry>& vecFiles,
                     const PackerPath& root)
{
    // The listing already said each is a regular file; one that vanishes
    // before it is read is reported and left out by the compression step.
    lstFiles.reserve(vecFiles.size());
    for (DirEntry& file : vecFiles)
    {
        PackerFile item;
        CORVANE_CHECK(TakeRelativePath(item.strRel, file, root));
        item.strFull = std::move(file.strReal);
        item.bHasStat = file.bHasStat;
        item.bLink = file.bLink;
        item.stat = file.stat;
        lstFiles.push_back(std::move(item));
    }
    return true;
}

bool CollectOddEntries(std::vector<PackerOddEntry>& vecOut, std::vector<DirEntry>& vecOdd,
                       const PackerPath& root)
{
    for (DirEntry& odd : vecOdd)
    {
        PackerOddEntry item;
        item.eKind = odd.eOther;
        CORVANE_CHECK(TakeRelativePath(item.strRel, odd, root));
        item.strFull = std::move(odd.strReal);
        vecOut.push_back(std::move(item));
    }
    return true;
}

} // namespace

bool MakePackerPath(PackerPath& out, const char* pcszPath)
{
    CORVANE_CHECK(pcszPath && *pcszPath);
    CORVANE_CHECK(CorvaneUtil::IsAbsolutePath(pcszPath));
    std::string strPath = pcszPath;
    std::replace(strPath.begin(), strPath.end(), '\\', '/');
    std::string strReal = fs::u8path(strPath).lexically_normal().u8string();
    std::replace(strReal.begin(), strReal.end(), '\\', '/');
    while (strReal.size() > 1 && strReal.back() == '/' && !(strReal.size() == 3 && strReal[1] == ':'))
    {
        strReal.pop_back();
    }
    out.strReal = strReal;
    CorvaneUtil::ToNormalizePath(out.strNorm, strReal.c_str());
    return true;
}

bool PathCovers(const std::string& strDir, const std::string& strPath)
{
    if (strPath.compare(0, strDir.size(), strDir) != 0)
    {
        return false;
    }
    return strPath.size() == strDir.size() || (!strDir.empty() && strDir.back() == '/') ||
           strPath[strDir.size()] == '/';
}

bool GetFiles(std::vector<std::vector<PackerFile>>& vecLists, const PackEntry& entry, const PackerPath& root,
              const std::string& strSkipDir, uint32_t uThreads, PackerWalkExtras& extras)
{
    vecLists.clear();
    try
    {
        std::vector<WalkedDir> vecDirs;
        DirEntry top;
        top.strReal = entry.dir.strReal;
        top.strNorm = entry.dir.strNorm;
        if (!IsExcluded(top.strNorm, entry, strSkipDir))
        {
            CORVANE_CHECK(WalkDirectories(top, entry, strSkipDir, uThreads, vecDirs));
        }
        // Ties (names that differ only in case) by the real path: the order
        // the directories were walked in must not show.
        std::sort(vecDirs.begin(), vecDirs.end(),
                  [](const WalkedDir& a, const WalkedDir& b)
                  {
                      const int nCmp = a.dir.strNorm.compare(b.dir.strNorm);
                      return nCmp != 0 ? nCmp < 0 : a.dir.strReal < b.dir.strReal;
                  });
        for (WalkedDir& walked : vecDirs)
        {
            extras.vecDirs.push_back(walked.id);
            CORVANE_CHECK(CollectOddEntries(extras.vecOdd, walked.vecOdd, root));
            std::vector<PackerFile> lstFiles;
            CORVANE_CHECK(CollectDirFiles(lstFiles, walked.vecFiles, root));
            // Listed in this order already: the common prefix taken off keeps it.
            const auto byRel = [](const PackerFile& a, const PackerFile& b) { return a.strRel < b.strRel; };
            if (!std::is_sorted(lstFiles.begin(), lstFiles.end(), byRel))
            {
                std::sort(lstFiles.begin(), lstFiles.end(), byRel);
            }
            if (!lstFiles.empty())
            {
                vecLists.push_back(std::move(lstFiles));
            }
        }
    }
    catch (const std::bad_alloc&)
    {
        CORVANE_REPORT("std::bad_alloc");
        return false;
    }
    return true;
}

} // namespace NSCorvane
