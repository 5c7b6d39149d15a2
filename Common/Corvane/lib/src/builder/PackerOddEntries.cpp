// SPDX-License-Identifier: MIT
#include "builder/PackerOddEntries.h"

#include "common/CorvaneCheck.h"
#include "platform/PlatformFileIdentity.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <unordered_set>

namespace fs = std::filesystem;

namespace NSCorvane
{

namespace
{

const char* OddReason(CorvanePlatform::OtherKind eKind)
{
    switch (eKind)
    {
    case CorvanePlatform::OtherKind::DanglingLink:
        return "a symbolic link to nothing";
    case CorvanePlatform::OtherKind::OtherLink:
        return "a symbolic link to neither a file nor a directory";
    case CorvanePlatform::OtherKind::Pipe:
        return "a named pipe";
    case CorvanePlatform::OtherKind::Socket:
        return "a socket";
    case CorvanePlatform::OtherKind::Device:
        return "a device";
    default:
        return "not a regular file";
    }
}

using IdentitySet = std::unordered_set<CorvanePlatform::FileIdentity, CorvanePlatform::FileIdentityHash>;

// Empty when the link's target is a file in a walked directory, else why not.
std::string CheckLinkTarget(const PackerFile& file, const IdentitySet& setDirs)
{
    std::error_code err;
    const fs::path target = fs::canonical(fs::u8path(file.strFull), err);
    if (err)
    {
        return "a symbolic link to nothing";
    }
    if (!fs::is_regular_file(target, err) || err)
    {
        return "a symbolic link to neither a file nor a directory";
    }
    CorvanePlatform::FileIdentity idDir;
    if (!CorvanePlatform::GetFileIdentity(target.parent_path().u8string().c_str(), &idDir) ||
        !setDirs.count(idDir))
    {
        return "a symbolic link to a file outside the packed tree (" + target.u8string() + ")";
    }
    return std::string();
}

} // namespace

bool ScreenSpecialEntries(std::vector<std::vector<PackerFile>>& vecLists, const PackerWalkExtras& extras,
                          std::vector<PackerRefusal>& vecRefused, uint32_t* puLinks)
{
    CORVANE_CHECK(puLinks);
    *puLinks = 0;
    for (const PackerOddEntry& odd : extras.vecOdd)
    {
        vecRefused.push_back(PackerRefusal{odd.strRel, odd.strFull, OddReason(odd.eKind)});
    }
    IdentitySet setDirs(extras.vecDirs.begin(), extras.vecDirs.end());
    for (std::vector<PackerFile>& lst : vecLists)
    {
        const auto itEnd = std::remove_if(
            lst.begin(), lst.end(),
            [&](const PackerFile& file)
            {
                if (!file.bLink)
                {
                    return false;
                }
                std::string strWhy = CheckLinkTarget(file, setDirs);
                if (strWhy.empty())
                {
                    ++*puLinks;
                    return false;
                }
                vecRefused.push_back(PackerRefusal{file.strRel, file.strFull, std::move(strWhy)});
                return true;
            });
        lst.erase(itEnd, lst.end());
    }
    vecLists.erase(std::remove_if(vecLists.begin(), vecLists.end(),
                                  [](const std::vector<PackerFile>& lst) { return lst.empty(); }),
                   vecLists.end());
    std::sort(vecRefused.begin(), vecRefused.end(),
              [](const PackerRefusal& a, const PackerRefusal& b) { return a.strRel < b.strRel; });
    return true;
}

} // namespace NSCorvane
