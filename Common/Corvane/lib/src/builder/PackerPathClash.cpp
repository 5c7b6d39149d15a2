// SPDX-License-Identifier: MIT
#include "builder/PackerPathClash.h"

#include "common/CorvaneCheck.h"
#include "platform/PlatformFile.h"

#include <string_view>

namespace NSCorvane
{

namespace
{

// Clashes reported by name at most; the rest are counted.
constexpr size_t kMaxNamedClashes = 20;

// One place for every record of the check, so that a reader of the log can
// tell them apart from the failures they cause.
void ReportClash(const std::string& strText)
{
    CORVANE_REPORT(strText.c_str());
}

std::string_view DirectoryOf(const std::string& strRel)
{
    const size_t uSlash = strRel.rfind('/');
    return uSlash == std::string::npos ? std::string_view() : std::string_view(strRel).substr(0, uSlash);
}

class ClashReport
{
public:
    explicit ClashReport(const std::string& strRootReal)
        : m_uPrefix(strRootReal.empty() || strRootReal.back() == '/' ? strRootReal.size()
                                                                     : strRootReal.size() + 1)
    {
    }
    void Add(const PackerFile& first, const PackerFile& second)
    {
        if (++m_uCount <= kMaxNamedClashes)
        {
            // In byte order: the order the directory listed them in must not show.
            std::string strLow = Relative(first);
            std::string strHigh = Relative(second);
            if (strHigh < strLow)
            {
                strLow.swap(strHigh);
            }
            ReportClash("'" + strLow + "' and '" + strHigh + "' are one store path '" + first.strRel +
                        "': store paths are case-insensitive");
        }
    }
    bool Finish() const
    {
        if (m_uCount > kMaxNamedClashes)
        {
            ReportClash(std::to_string(m_uCount - kMaxNamedClashes) +
                        " more files share a store path with another file");
        }
        return m_uCount == 0;
    }

private:
    std::string Relative(const PackerFile& file) const
    {
        return file.strFull.size() > m_uPrefix ? file.strFull.substr(m_uPrefix) : file.strFull;
    }

    size_t m_uPrefix;
    size_t m_uCount = 0;
};

// Both lists sorted by store path: equal paths met by one merge.
void CompareSortedLists(const std::vector<PackerFile>& vecA, const std::vector<PackerFile>& vecB,
                        ClashReport& report)
{
    size_t i = 0;
    size_t j = 0;
    while (i < vecA.size() && j < vecB.size())
    {
        const int nCmp = vecA[i].strRel.compare(vecB[j].strRel);
        if (nCmp == 0)
        {
            report.Add(vecA[i], vecB[j]);
        }
        i += nCmp <= 0 ? 1 : 0;
        j += nCmp >= 0 ? 1 : 0;
    }
}

} // namespace

bool IsRegularFile(const std::string& strPath)
{
    CorvanePlatform::FileStat stat;
    return CorvanePlatform::PathStat(strPath.c_str(), &stat) && stat.bRegular;
}

bool CheckStorePathClashes(const std::vector<std::vector<PackerFile>>& vecLists,
                           const std::string& strRootReal)
{
    ClashReport report(strRootReal);
    for (size_t uList = 0; uList < vecLists.size(); ++uList)
    {
        const std::vector<PackerFile>& vecFiles = vecLists[uList];
        for (size_t i = 1; i < vecFiles.size(); ++i)
        {
            if (vecFiles[i].strRel == vecFiles[i - 1].strRel)
            {
                report.Add(vecFiles[i - 1], vecFiles[i]);
            }
        }
        // Directories whose names differ only in case list their files one
        // after the other: "Sub/a" meets "sub/a" there.
        if (vecFiles.empty())
        {
            continue;
        }
        const std::string_view svDir = DirectoryOf(vecFiles.front().strRel);
        for (size_t uNext = uList + 1; uNext < vecLists.size() && !vecLists[uNext].empty() &&
                                       DirectoryOf(vecLists[uNext].front().strRel) == svDir;
             ++uNext)
        {
            CompareSortedLists(vecFiles, vecLists[uNext], report);
        }
    }
    return report.Finish();
}

} // namespace NSCorvane
