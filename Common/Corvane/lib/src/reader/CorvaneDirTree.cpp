// SPDX-License-Identifier: MIT
#include "reader/CorvaneDirTree.h"

#include "common/CorvaneCheck.h"
#include "common/CorvanePath.h"
#include "format/CorvaneHash.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <string_view>

namespace NSCorvaneReader
{

namespace
{

std::string JoinDirName(const std::string& strDirPath, const std::string& strName)
{
    if (strDirPath.empty())
    {
        return strName;
    }
    // One allocation per path: a whole-tree listing makes one per file.
    std::string strPath;
    strPath.reserve(strDirPath.size() + 1 + strName.size());
    strPath.append(strDirPath).append(1, '/').append(strName);
    return strPath;
}

} // namespace

bool IsSafeDirEntryName(const std::string& strName)
{
    return CorvaneUtil::IsSafeRelativePath(strName) && strName != "." &&
           strName.find_first_of("/\\") == std::string::npos;
}

bool ParseDirLineHash(const std::string& strLine, uint64_t* puHash)
{
    const size_t uTab = strLine.find('\t');
    const char* pBegin = strLine.data();
    const char* pEnd = pBegin + (uTab == std::string::npos ? strLine.size() : uTab);
    // Digits only: from_chars takes no sign and no blanks, and says so on overflow.
    uint64_t uValue = 0;
    const std::from_chars_result result = std::from_chars(pBegin, pEnd, uValue, 10);
    if (pBegin == pEnd || result.ec != std::errc() || result.ptr != pEnd)
    {
        return false;
    }
    *puHash = uValue;
    return true;
}

bool BuildDirHashLineMap(const std::vector<std::string>& vecLine, std::vector<DirHashLine>& vecDirHashLine)
{
    vecDirHashLine.clear();
    bool bHasLastDirHash = false;
    uint64_t uLastDirHash = 0;
    for (size_t i = 0; i < vecLine.size(); ++i)
    {
        uint64_t uDirHash = 0;
        if (!ParseDirLineHash(vecLine[i], &uDirHash))
        {
            continue;
        }
        CORVANE_CHECK(!bHasLastDirHash || uLastDirHash < uDirHash);
        vecDirHashLine.emplace_back(uDirHash, i);
        uLastDirHash = uDirHash;
        bHasLastDirHash = true;
    }
    return true;
}

bool FindDirLine(const std::vector<DirHashLine>& vecDirHashLine, uint64_t uKey, uint64_t* puLine)
{
    auto it =
        std::lower_bound(vecDirHashLine.begin(), vecDirHashLine.end(), uKey,
                         [](const DirHashLine& entry, uint64_t uValue) { return entry.first < uValue; });
    if (it == vecDirHashLine.end() || it->first != uKey)
    {
        return false;
    }
    *puLine = it->second;
    return true;
}

bool ParseDirEntries(const std::string& strLine, const std::string& strDirPath,
                     std::vector<std::string>* pFiles, std::vector<std::string>* pSubDirs)
{
    // Views and one reused name: a whole-tree listing parses every line once.
    const std::string_view svLine(strLine);
    std::string strName;
    size_t uPos = svLine.find('\t');
    while (uPos != std::string_view::npos)
    {
        const size_t uStart = uPos + 1;
        const size_t uNext = svLine.find('\t', uStart);
        const std::string_view svToken =
            svLine.substr(uStart, uNext == std::string_view::npos ? std::string_view::npos : uNext - uStart);
        uPos = uNext;
        if (svToken.size() <= 2)
        {
            continue;
        }
        const bool bFile = svToken.compare(0, 2, "F:") == 0;
        if (!bFile && svToken.compare(0, 2, "D:") != 0)
        {
            continue;
        }
        strName.assign(svToken.substr(2));
        // A name is one component; anything that could climb out of the
        // directory it is listed in is refused, and said so in the log.
        if (!IsSafeDirEntryName(strName))
        {
            CORVANE_REPORT("IsSafeDirEntryName(strName)");
            continue;
        }
        if (bFile && pFiles)
        {
            pFiles->push_back(JoinDirName(strDirPath, strName));
        }
        else if (!bFile && pSubDirs)
        {
            pSubDirs->push_back(JoinDirName(strDirPath, strName));
        }
    }
    return true;
}

namespace
{

// Whether strPath sorts before every path below strDir, that is before strDir + "/".
bool BeforeDirectory(const std::string& strPath, const std::string& strDir)
{
    const int nCmp = strPath.compare(0, strDir.size(), strDir);
    if (nCmp != 0 || strPath.size() == strDir.size())
    {
        return nCmp <= 0;
    }
    return static_cast<unsigned char>(strPath[strDir.size()]) < static_cast<unsigned char>('/');
}

// Whether everything below strA sorts before everything below strB, that is
// strA + "/" before strB + "/".
bool DirectoryBefore(const std::string& strA, const std::string& strB)
{
    const size_t uCommon = std::min(strA.size(), strB.size());
    const int nCmp = strA.compare(0, uCommon, strB, 0, uCommon);
    if (nCmp != 0 || strA.size() == strB.size())
    {
        return nCmp < 0;
    }
    // One is a prefix of the other: the other's next byte meets the '/'.
    return strA.size() < strB.size()
               ? static_cast<unsigned char>(strB[uCommon]) > static_cast<unsigned char>('/')
               : static_cast<unsigned char>(strA[uCommon]) < static_cast<unsigned char>('/');
}

} // namespace

namespace
{

// No file system opens a longer path. A tree nested deeper is damaged or
// hostile, and listing it would hand out paths whose total grows with the
// square of its depth.
constexpr size_t kMaxListedPath = 32767;

// One directory on the walk's stack: its entries (names only), what is done of
// them, and its key so far, from which each subdirectory's key is one name away.
struct DirFrame
{
    NormalizedNameHashStream hash;
    size_t uPathLen = 0;
    std::vector<std::string> vecFile;
    std::vector<std::string> vecSubDir;
    size_t uNextFile = 0;
    size_t uNextSubDir = 0;
};

// Parses the directory's line into a new frame on top of the stack, unless the
// line was seen already (a repeated entry or a cycle).
bool PushDirFrame(const std::vector<std::string>& vecLine, const std::vector<DirHashLine>& vecDirHashLine,
                  const NormalizedNameHashStream& hash, size_t uPathLen, std::vector<DirFrame>& vecStack,
                  std::vector<uint8_t>& vecVisitedLine)
{
    uint64_t uLine = 0;
    CORVANE_CHECK(FindDirLine(vecDirHashLine, hash.Value(), &uLine));
    CORVANE_CHECK(uLine < vecLine.size());
    // Keys and lines are one to one: a line seen is its directory seen.
    if (vecVisitedLine[uLine])
    {
        return true;
    }
    vecVisitedLine[uLine] = 1;
    DirFrame frame;
    frame.hash = hash;
    frame.uPathLen = uPathLen;
    CORVANE_CHECK(ParseDirEntries(vecLine[uLine], std::string(), &frame.vecFile, &frame.vecSubDir));
    // Files and the trees of subdirectories interleaved in byte order, so that
    // a tree whose lines list their names in order comes out sorted.
    std::sort(frame.vecSubDir.begin(), frame.vecSubDir.end(), DirectoryBefore);
    vecStack.push_back(std::move(frame));
    return true;
}

} // namespace

bool CollectDirFilesRecursive(const std::vector<std::string>& vecLine,
                              const std::vector<DirHashLine>& vecDirHashLine, const std::string& strDirPath,
                              std::vector<std::string>& vecFilePath, std::vector<uint8_t>& vecVisitedLine)
{
    if (vecVisitedLine.size() != vecLine.size())
    {
        vecVisitedLine.assign(vecLine.size(), 0);
    }
    // An explicit stack and one path that grows and shrinks with it: a tree
    // nested as deep as its size allows costs memory and time in proportion to
    // its size, not to the square of its depth, and never the call stack.
    std::string strPath = strDirPath;
    std::vector<DirFrame> vecStack;
    NormalizedNameHashStream rootHash;
    rootHash.Feed(strDirPath);
    CORVANE_CHECK(PushDirFrame(vecLine, vecDirHashLine, rootHash, strPath.size(), vecStack, vecVisitedLine));
    while (!vecStack.empty())
    {
        DirFrame& frame = vecStack.back();
        strPath.resize(frame.uPathLen);
        if (frame.uNextSubDir == frame.vecSubDir.size())
        {
            for (; frame.uNextFile < frame.vecFile.size(); ++frame.uNextFile)
            {
                vecFilePath.push_back(JoinDirName(strPath, frame.vecFile[frame.uNextFile]));
            }
            vecStack.pop_back();
            continue;
        }
        const std::string& strSubDir = frame.vecSubDir[frame.uNextSubDir++];
        for (; frame.uNextFile < frame.vecFile.size() &&
               BeforeDirectory(frame.vecFile[frame.uNextFile], strSubDir);
             ++frame.uNextFile)
        {
            vecFilePath.push_back(JoinDirName(strPath, frame.vecFile[frame.uNextFile]));
        }
        if (strPath.size() + 1 + strSubDir.size() > kMaxListedPath)
        {
            CORVANE_REPORT("directory tree nested beyond the longest path a file system opens");
            return false;
        }
        NormalizedNameHashStream subHash = frame.hash;
        if (!strPath.empty())
        {
            strPath.append(1, '/');
            subHash.Feed("/");
        }
        strPath.append(strSubDir);
        subHash.Feed(strSubDir);
        // frame is not used past this point: the push may move it.
        CORVANE_CHECK(
            PushDirFrame(vecLine, vecDirHashLine, subHash, strPath.size(), vecStack, vecVisitedLine));
    }
    return true;
}

void SortUniquePaths(std::vector<std::string>& vecPath)
{
    // One sort at the end costs less than a tree of strings kept in order, and
    // a whole-tree listing usually comes in order already.
    if (!std::is_sorted(vecPath.begin(), vecPath.end()))
    {
        std::sort(vecPath.begin(), vecPath.end());
    }
    vecPath.erase(std::unique(vecPath.begin(), vecPath.end()), vecPath.end());
}

} // namespace NSCorvaneReader
