// SPDX-License-Identifier: MIT
#include "VerifyTree.h"

#include "CorvaneProgress.h"
#include "TreeWalk.h"
#include "platform/ToolPlatform.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>

namespace
{

enum class Outcome
{
    kSame,
    kDiffers,
    kUnreadable, // the reason is printed already
};

struct Counts
{
    size_t uDiffers = 0;
    size_t uMissing = 0;
    size_t uExtra = 0;
    size_t uUnreadable = 0;
};

void Note(const std::string& strText)
{
    std::fprintf(stderr, "corvane: %s\n", strText.c_str());
}

// The store path without regard to case: ASCII only, whatever the locale.
std::string CaseKey(const std::string& strPath)
{
    std::string strKey = strPath;
    for (char& c : strKey)
    {
        if (c >= 'A' && c <= 'Z')
        {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return strKey;
}

// Byte for byte against the content read through the reader: for a file whose
// size or hash the version does not record.
Outcome CompareByContent(NSCorvane::IPemCorvaneReader& reader, const std::string& strStore,
                         const std::vector<unsigned char>& vecTree)
{
    FilePtr pFile(reader.OpenFile(strStore.c_str(), -1));
    if (!pFile)
    {
        Note("cannot read " + strStore + " from the store");
        return Outcome::kUnreadable;
    }
    if (pFile->Size() != vecTree.size())
    {
        return Outcome::kDiffers;
    }
    size_t uAt = 0;
    bool bSame = true;
    const bool bRead =
        ForEachPiece(*pFile,
                     [&](const void* pPiece, size_t uPiece)
                     {
                         bSame = bSame && (uPiece == 0 || std::memcmp(pPiece, &vecTree[uAt], uPiece) == 0);
                         uAt += uPiece;
                         return true;
                     });
    if (!bRead)
    {
        Note("cannot read " + strStore + " from the store");
        return Outcome::kUnreadable;
    }
    return bSame ? Outcome::kSame : Outcome::kDiffers;
}

Outcome CompareFile(NSCorvane::IPemCorvaneReader& reader, const std::string& strStore, const TreeFile& file)
{
    NSCorvane::CorvaneFileInfo info{};
    const bool bInfo = reader.GetFileInfo(strStore.c_str(), &info);
    const uint64_t uHash = reader.GetFileHash(strStore.c_str());
    // Sizes first: a file of another size is not read at all.
    if (bInfo && info.uFileSize != file.uSize)
    {
        return Outcome::kDiffers;
    }
    std::vector<unsigned char> vecData;
    std::string strError;
    if (!CorvaneToolPlatform::ReadWholeFile(file.strFull, vecData, strError))
    {
        Note("cannot read " + file.strRel + ": " + strError);
        return Outcome::kUnreadable;
    }
    // 0 is what the reader gives for no hash.
    if (!bInfo || uHash == 0)
    {
        return CompareByContent(reader, strStore, vecData);
    }
    // The size read counts, not the one listed: the file may have changed since.
    if (vecData.size() != info.uFileSize)
    {
        return Outcome::kDiffers;
    }
    return reader.CalcContextHash(vecData.data(), static_cast<uint32_t>(vecData.size())) == uHash
               ? Outcome::kSame
               : Outcome::kDiffers;
}

// Directories pack would leave out of the tree: the store, when it lies inside.
std::vector<CorvaneToolPlatform::TreeDirId> LeftOut(const StoreSource& source)
{
    std::vector<CorvaneToolPlatform::TreeDirId> vecOut;
    std::vector<CorvaneToolPlatform::TreeItem> vecItems;
    CorvaneToolPlatform::TreeDirId id;
    std::string strError;
    if (!source.strStoreDir.empty() &&
        CorvaneToolPlatform::ListTreeDirectory(source.strStoreDir, vecItems, id, strError))
    {
        vecOut.push_back(id);
    }
    return vecOut;
}

} // namespace

int RunVerifyTree(ToolContext& ctx, const StoreSource& source, const std::string& strTree)
{
    if (!CorvaneToolPlatform::IsDirectory(strTree))
    {
        return Fail("tree '" + strTree + "' is not a directory");
    }
    ReaderPtr pReader;
    if (!OpenStoreReader(ctx, source, pReader))
    {
        return kExitFailure;
    }
    const uint32_t uVersion = pReader->GetWorkVersion();
    StringListPtr pList(pReader->OpenFileList());
    if (!pList)
    {
        return FailInLibrary("the directory tree of version " + std::to_string(uVersion) + " cannot be read");
    }
    // Store path without regard to case -> the store path as the version holds it.
    std::map<std::string, std::string> mapStore;
    for (uint32_t i = 0; i < pList->Count(); ++i)
    {
        const char* pcszPath = pList->Get(i);
        mapStore.emplace(CaseKey(pcszPath ? pcszPath : ""), pcszPath ? pcszPath : "");
    }
    pList.reset();

    TreeWalk walk;
    const bool bWalked = WalkTree(strTree, LeftOut(source), walk);
    for (const std::string& strNote : walk.vecNotes)
    {
        Note("note: " + strNote);
    }
    for (const std::string& strError : walk.vecErrors)
    {
        Note(strError);
    }
    if (!bWalked)
    {
        return kExitFailure;
    }

    Counts counts;
    counts.uUnreadable = walk.vecErrors.size();
    std::vector<std::pair<std::string, std::string>> vecLines; // key, line
    std::set<std::string> setMatched;
    CorvaneProgress progress;
    for (size_t i = 0; i < walk.vecFiles.size(); ++i)
    {
        const TreeFile& file = walk.vecFiles[i];
        progress.Show("verify: file " + std::to_string(i + 1) + "/" + std::to_string(walk.vecFiles.size()));
        const std::string strKey = CaseKey(file.strStore);
        if (i > 0 && walk.vecFiles[i - 1].strStore == file.strStore)
        {
            // pack refuses such a tree: it cannot say which file the store path holds.
            Note(walk.vecFiles[i - 1].strRel + " and " + file.strRel + " share the store path " +
                 file.strStore);
            ++counts.uUnreadable;
        }
        const auto found = mapStore.find(strKey);
        if (found == mapStore.end())
        {
            vecLines.emplace_back(strKey, "missing: " + file.strRel);
            ++counts.uMissing;
            continue;
        }
        setMatched.insert(strKey);
        switch (CompareFile(*pReader, found->second, file))
        {
        case Outcome::kSame:
            break;
        case Outcome::kDiffers:
            vecLines.emplace_back(strKey, "differs: " + file.strRel);
            ++counts.uDiffers;
            break;
        case Outcome::kUnreadable:
            ++counts.uUnreadable;
            break;
        }
    }
    progress.Clear();
    for (const auto& stored : mapStore)
    {
        if (!setMatched.count(stored.first))
        {
            vecLines.emplace_back(stored.first, "extra: " + stored.second);
            ++counts.uExtra;
        }
    }
    std::stable_sort(vecLines.begin(), vecLines.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& line : vecLines)
    {
        std::printf("%s\n", line.second.c_str());
    }
    std::fflush(stdout);

    const std::string strVersion = "version " + std::to_string(uVersion);
    if (!vecLines.empty())
    {
        return Fail(strVersion + " differs from " + strTree + ": " + std::to_string(counts.uDiffers) +
                    " differ, " + std::to_string(counts.uMissing) + " missing from the store, " +
                    std::to_string(counts.uExtra) + " extra");
    }
    if (counts.uUnreadable)
    {
        return Fail("cannot prove " + strVersion + " equals " + strTree + ": " +
                    std::to_string(counts.uUnreadable) + " entries could not be read or compared");
    }
    std::printf("%s equals %s: %zu files\n", strVersion.c_str(), strTree.c_str(), walk.vecFiles.size());
    return kExitOk;
}
