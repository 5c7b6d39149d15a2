// SPDX-License-Identifier: MIT
#include "builder/PackerFileCollect.h"

#include "builder/BuilderJobs.h"
#include "common/CorvaneCheck.h"
#include "common/CorvanePath.h"
#include "fs/CorvaneFiles.h"
#include "platform/PlatformDirectory.h"

#include <algorithm>
#include <filesystem>
#include <new>
#include <set>

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
    std::vector<DirEntry> vecFiles;
};

std::string WithSeparator(const std::string& strDir)
{
    return (!strDir.empty() && strDir.back() == '/') ? strDir : strDir + "/";
}

DirListing ListEntries(const DirEntry& dir)
{
    DirListing listing;
    CorvanePlatform::DirectoryListing items;
    if (!CorvanePlatform::ListDirectory(dir.strReal.c_str(), &items))
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
        // A link to a file is not a file of the tree (the listing leaves it
        // out); a link to a directory is a directory of it.
        DirEntry entry;
        entry.strReal = strPrefix + item.strName;
        entry.bLink = item.bLink;
        entry.bHasStat = item.bHasStat;
        entry.stat = item.stat;
        CorvaneUtil::ToNormalizePath(strNormName, item.strName.c_str());
        entry.strNorm = strNormPrefix + strNormName;
        (item.bFile ? listing.vecFiles : listing.vecDirs).push_back(std::move(entry));
    }
    const auto byNorm = [](const DirEntry& a, const DirEntry& b) { return a.strNorm < b.strNorm; };
    std::sort(listing.vecDirs.begin(), listing.vecDirs.end(), byNorm);
    std::sort(listing.vecFiles.begin(), listing.vecFiles.end(), byNorm);
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
    std::vector<DirEntry> vecFiles;
};

// Level by level: the directories of one depth are listed on several threads
// (listing is mostly waiting on system calls, and the walk used to hold up the
// whole build on one thread), then taken in sorted order, so which path a
// directory reached twice is walked under does not depend on timing.
bool WalkDirectories(const DirEntry& top, const PackEntry& entry, const std::string& strSkipDir,
                     uint32_t uThreads, std::vector<WalkedDir>& vecDirs)
{
    std::set<CorvanePlatform::FileIdentity> setVisited;
    std::vector<DirEntry> vecLevel{top};
    while (!vecLevel.empty())
    {
        std::vector<DirListing> vecListed(vecLevel.size());
        // A listing that failed (out of memory) must fail the build, not leave
        // the directory out.
        const bool bListed = RunJobs(vecLevel.size(), uThreads,
                                     [&](size_t i)
                                     {
                                         vecListed[i] = ListEntries(vecLevel[i]);
                                         return true;
                                     });
        CORVANE_CHECK(bListed);
        std::vector<DirEntry> vecNext;
        for (size_t i = 0; i < vecLevel.size(); ++i)
        {
            DirListing& listed = vecListed[i];
            // Unreadable, or a directory already walked by another way. A
            // linked directory belongs to the tree whole; the identity check
            // keeps a link to an ancestor from looping.
            if (!listed.bListed || !setVisited.insert(listed.id).second)
            {
                continue;
            }
            vecDirs.push_back(WalkedDir{std::move(vecLevel[i]), std::move(listed.vecFiles)});
            for (DirEntry& sub : listed.vecDirs)
            {
                if (!IsExcluded(sub.strNorm, entry, strSkipDir))
                {
                    vecNext.push_back(std::move(sub));
                }
            }
        }
        vecLevel = std::move(vecNext);
    }
    return true;
}

bool ToRelativePath(std::string& strOut, const DirEntry& file, const PackerPath& root)
{
    const std::string& strRoot = root.strReal;
    const size_t uPrefix = (!strRoot.empty() && strRoot.back() == '/') ? strRoot.size() : strRoot.size() + 1;
    CORVANE_CHECK(file.strReal.size() > uPrefix);
    CORVANE_CHECK(0 == file.strReal.compare(0, strRoot.size(), strRoot));
    CORVANE_CHECK(uPrefix == strRoot.size() || file.strReal[strRoot.size()] == '/');
    // The normalised path is the real one character by character.
    CORVANE_CHECK(file.strNorm.size() == file.strReal.size());
    strOut.assign(file.strNorm, uPrefix, std::string::npos);
    return true;
}

bool CollectDirFiles(std::vector<PackerFile>& lstFiles, const std::vector<DirEntry>& vecFiles,
                     const PackerPath& root)
{
    // The listing already said each is a regular file; one that vanishes
    // before it is read is reported and left out by the compression step.
    for (const DirEntry& file : vecFiles)
    {
        PackerFile item;
        CORVANE_CHECK(ToRelativePath(item.strRel, file, root));
        item.strFull = file.strReal;
        item.bHasStat = file.bHasStat;
        item.stat = file.stat;
        lstFiles.push_back(std::move(item));
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
              const std::string& strSkipDir, uint32_t uThreads)
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
        std::sort(vecDirs.begin(), vecDirs.end(),
                  [](const WalkedDir& a, const WalkedDir& b) { return a.dir.strNorm < b.dir.strNorm; });
        for (const WalkedDir& walked : vecDirs)
        {
            std::vector<PackerFile> lstFiles;
            CORVANE_CHECK(CollectDirFiles(lstFiles, walked.vecFiles, root));
            std::sort(lstFiles.begin(), lstFiles.end(),
                      [](const PackerFile& a, const PackerFile& b) { return a.strRel < b.strRel; });
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
