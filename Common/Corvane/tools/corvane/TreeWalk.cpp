// SPDX-License-Identifier: MIT
#include "TreeWalk.h"

#include "CorvaneStore.h"

#include <algorithm>
#include <map>

namespace
{

struct PendingDir
{
    std::string strRel;
    std::string strFull;
};

std::string Join(const std::string& strDir, const std::string& strName)
{
    if (strDir.empty())
    {
        return strName;
    }
    return strDir.back() == '/' ? strDir + strName : strDir + "/" + strName;
}

std::string Shown(const std::string& strRel)
{
    return strRel.empty() ? std::string(".") : strRel;
}

} // namespace

bool WalkTree(const std::string& strRoot, const std::vector<CorvaneToolPlatform::TreeDirId>& vecLeaveOut,
              TreeWalk& walk)
{
    using CorvaneToolPlatform::TreeItem;
    using CorvaneToolPlatform::TreeItemKind;
    std::map<CorvaneToolPlatform::TreeDirId, std::string> mapWalked; // identity -> first path
    std::vector<PendingDir> vecLevel{{std::string(), strRoot}};
    while (!vecLevel.empty())
    {
        std::vector<PendingDir> vecNext;
        for (const PendingDir& dir : vecLevel)
        {
            std::vector<TreeItem> vecItems;
            CorvaneToolPlatform::TreeDirId id;
            std::string strError;
            if (!CorvaneToolPlatform::ListTreeDirectory(dir.strFull, vecItems, id, strError))
            {
                walk.vecErrors.push_back("cannot list directory " + Shown(dir.strRel) + ": " + strError);
                if (dir.strRel.empty())
                {
                    return false;
                }
                continue;
            }
            if (std::find_if(vecLeaveOut.begin(), vecLeaveOut.end(),
                             [&id](const CorvaneToolPlatform::TreeDirId& other)
                             { return !(id < other) && !(other < id); }) != vecLeaveOut.end())
            {
                walk.vecNotes.push_back(Shown(dir.strRel) + ": the store itself, left out as pack does");
                continue;
            }
            const auto inserted = mapWalked.emplace(id, dir.strRel);
            if (!inserted.second)
            {
                walk.vecNotes.push_back(Shown(dir.strRel) + ": the same directory as " +
                                        Shown(inserted.first->second) + ", walked once as pack does");
                continue;
            }
            // Store-path order, as pack walks; names that differ only in case by spelling.
            std::vector<std::pair<std::string, TreeItem*>> vecSorted;
            for (TreeItem& item : vecItems)
            {
                vecSorted.emplace_back(ToStorePath(item.strName), &item);
            }
            std::sort(vecSorted.begin(), vecSorted.end(),
                      [](const auto& a, const auto& b) {
                          return a.first != b.first ? a.first < b.first
                                                    : a.second->strName < b.second->strName;
                      });
            for (const auto& sorted : vecSorted)
            {
                const TreeItem& item = *sorted.second;
                const std::string strRel = Join(dir.strRel, item.strName);
                switch (item.kind)
                {
                case TreeItemKind::kFile:
                    walk.vecFiles.push_back(TreeFile{ToStorePath(strRel), strRel,
                                                     Join(dir.strFull, item.strName), item.uSize,
                                                     item.bLink});
                    break;
                case TreeItemKind::kDirectory:
                    vecNext.push_back(PendingDir{strRel, Join(dir.strFull, item.strName)});
                    break;
                case TreeItemKind::kOther:
                    walk.vecNotes.push_back(
                        strRel + (item.bLink ? ": a link to nothing" : ": not a file or directory") +
                        ", which pack refuses (or leaves out with --skip-special)");
                    break;
                }
            }
        }
        vecLevel = std::move(vecNext);
    }
    std::sort(walk.vecFiles.begin(), walk.vecFiles.end(),
              [](const TreeFile& a, const TreeFile& b)
              { return a.strStore != b.strStore ? a.strStore < b.strStore : a.strRel < b.strRel; });
    return true;
}
