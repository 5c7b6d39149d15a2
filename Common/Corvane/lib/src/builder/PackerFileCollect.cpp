// SPDX-License-Identifier: MIT
#include "builder/PackerFileCollect.h"

#include "common/CorvaneCheck.h"
#include "common/CorvanePath.h"
#include "fs/CorvaneFiles.h"
#include "platform/PlatformFileIdentity.h"

#include <algorithm>
#include <filesystem>
#include <new>
#include <system_error>

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
};

// The subdirectories and the files of one directory, each sorted by normalised
// path so the walk, and with it the store, does not depend on the file
// system's order. One listing gives both: listing every directory twice cost
// a second round of opens and reads per directory. Unreadable directories and
// entries are skipped.
struct DirListing
{
    std::vector<DirEntry> vecDirs;
    std::vector<DirEntry> vecFiles;
};

DirListing ListEntries(const std::string& strDir)
{
    DirListing listing;
    std::error_code err;
    fs::directory_iterator it(fs::u8path(strDir), fs::directory_options::skip_permission_denied, err);
    for (; !err && it != fs::directory_iterator(); it.increment(err))
    {
        std::error_code errEntry;
        const bool bLink = it->is_symlink(errEntry);
        if (errEntry)
        {
            continue;
        }
        // A link to a file is not a file of the tree; a link to a directory is
        // a directory of it (is_directory follows links).
        bool bFile = !bLink && it->is_regular_file(errEntry);
        if (errEntry)
        {
            bFile = false;
            errEntry.clear();
        }
        const bool bDir = !bFile && it->is_directory(errEntry) && !errEntry;
        if (!bFile && !bDir)
        {
            continue;
        }
        DirEntry entry;
        entry.strReal = it->path().u8string();
        entry.bLink = bLink;
        CorvaneUtil::ToNormalizePath(entry.strNorm, entry.strReal.c_str());
        (bFile ? listing.vecFiles : listing.vecDirs).push_back(std::move(entry));
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

void WalkDirectories(const DirEntry& dir, const PackEntry& entry, const std::string& strSkipDir,
                     std::set<CorvanePlatform::FileIdentity>& setVisited, std::vector<WalkedDir>& vecDirs)
{
    DirListing listing = ListEntries(dir.strReal);
    vecDirs.push_back(WalkedDir{dir, std::move(listing.vecFiles)});
    for (const DirEntry& sub : listing.vecDirs)
    {
        if (IsExcluded(sub.strNorm, entry, strSkipDir))
        {
            continue;
        }
        CorvanePlatform::FileIdentity id;
        if (!CorvanePlatform::GetFileIdentity(sub.strReal.c_str(), &id) || !setVisited.insert(id).second)
        {
            continue; // unreadable, or a directory already walked by another way
        }
        // A linked directory belongs to the tree whole: taking only its
        // subdirectories would publish part of it. The identity check above
        // keeps a link to an ancestor from looping.
        WalkDirectories(sub, entry, strSkipDir, setVisited, vecDirs);
    }
}

bool ToRelativePath(std::string& strOut, const std::string& strReal, const PackerPath& root)
{
    const std::string strPrefix =
        (!root.strReal.empty() && root.strReal.back() == '/') ? root.strReal : root.strReal + "/";
    CORVANE_CHECK(strReal.size() > strPrefix.size());
    CORVANE_CHECK(0 == strReal.compare(0, strPrefix.size(), strPrefix));
    CorvaneUtil::ToNormalizePath(strOut, strReal.c_str() + strPrefix.size());
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
        CORVANE_CHECK(ToRelativePath(item.strRel, file.strReal, root));
        item.strFull = file.strReal;
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
              const std::string& strSkipDir)
{
    vecLists.clear();
    try
    {
        std::vector<WalkedDir> vecDirs;
        DirEntry top;
        top.strReal = entry.dir.strReal;
        top.strNorm = entry.dir.strNorm;
        std::set<CorvanePlatform::FileIdentity> setVisited;
        CorvanePlatform::FileIdentity id;
        if (CorvanePlatform::GetFileIdentity(top.strReal.c_str(), &id))
        {
            setVisited.insert(id);
        }
        if (!IsExcluded(top.strNorm, entry, strSkipDir))
        {
            WalkDirectories(top, entry, strSkipDir, setVisited, vecDirs);
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
