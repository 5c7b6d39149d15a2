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

// The entries of one directory of the wanted kind, sorted by normalised path so
// the walk, and with it the store, does not depend on the file system's order.
// Unreadable directories and entries are skipped.
std::vector<DirEntry> ListEntries(const std::string& strDir, bool bWantFiles)
{
    std::vector<DirEntry> vec;
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
        bool bWanted = false;
        if (bWantFiles)
        {
            // A link to a file is not a file of the tree.
            bWanted = !bLink && it->is_regular_file(errEntry);
        }
        else
        {
            bWanted = it->is_directory(errEntry); // follows links
        }
        if (errEntry || !bWanted)
        {
            continue;
        }
        DirEntry entry;
        entry.strReal = it->path().u8string();
        entry.bLink = bLink;
        CorvaneUtil::ToNormalizePath(entry.strNorm, entry.strReal.c_str());
        vec.push_back(std::move(entry));
    }
    std::sort(vec.begin(), vec.end(),
              [](const DirEntry& a, const DirEntry& b) { return a.strNorm < b.strNorm; });
    return vec;
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

void WalkDirectories(const DirEntry& dir, const PackEntry& entry, const std::string& strSkipDir,
                     std::set<CorvanePlatform::FileIdentity>& setVisited, std::vector<DirEntry>& vecDirs)
{
    for (const DirEntry& sub : ListEntries(dir.strReal, false))
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
        vecDirs.push_back(sub);
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

bool CollectDirFiles(std::vector<PackerFile>& lstFiles, const std::string& strDir, const PackerPath& root)
{
    for (const DirEntry& file : ListEntries(strDir, true))
    {
        if (!CorvaneUtil::SysExisted(file.strReal.c_str()))
        {
            CORVANE_REPORT(("UnValid file:" + file.strReal).c_str());
            continue;
        }
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
        std::vector<DirEntry> vecDirs;
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
            vecDirs.push_back(top);
            WalkDirectories(top, entry, strSkipDir, setVisited, vecDirs);
        }
        std::sort(vecDirs.begin(), vecDirs.end(),
                  [](const DirEntry& a, const DirEntry& b) { return a.strNorm < b.strNorm; });
        for (const DirEntry& dir : vecDirs)
        {
            std::vector<PackerFile> lstFiles;
            CORVANE_CHECK(CollectDirFiles(lstFiles, dir.strReal, root));
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
