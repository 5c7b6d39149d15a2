// SPDX-License-Identifier: MIT
// corvane verify: every data package and every file of a store version, or
// with --tree the version against a directory.
#include "CorvaneProgress.h"
#include "CorvaneStore.h"
#include "VerifyTree.h"

#include <cinttypes>
#include <cstdio>
#include <fstream>
#include <vector>

namespace
{

const char kHelp[] = R"(usage: corvane verify STORE|--config FILE [--version V] [--tree DIR]
                      [--trust KEYFILE.pub]...

Checks a store version: every data package it uses (header, length and
content hash), and every file it holds (decoded content against its recorded
hash and size). Prints one line per problem; exit status 1 when there is any.

With --tree DIR, proves instead that the version holds exactly the files of
DIR, as pack would take them from it: each file's size and content hash
against the version's records, so packages are read (or fetched) only for
a file the version records no size or hash for. Names are compared without
regard to ASCII case; times do not count. Prints one line per file that is
not the same:
  differs: PATH   in both, other content or size
  missing: PATH   in the tree, not in the version
  extra: PATH     in the version, not in the tree
and exit status 1; or "version V equals DIR: N files" and exit status 0.
Links to directories are followed as pack follows them (each directory once);
a link to a file counts as that file. What is passed over (pipes, dangling
links, a directory reached twice, the store inside the tree) is named on
stderr.

  --trust KEYFILE.pub
                also check the version's signed manifest: signed by this
                key (repeatable: any of them), unexpired, and naming exactly
                the version's files, each with its content's SHA-256; with
                the latest version also the latest-version signature
  --version V   check version V instead of the latest
  --tree DIR    compare the version with the directory DIR
  --config FILE read a remote store through its configuration
                file (cache and HTTP sources) instead of STORE
  --no-range    with --config: fetch whole packages into the cache, as a
                server without Range support makes it, instead of
                single file records by HTTP range
)";

class ProblemList
{
public:
    void Add(const std::string& strText)
    {
        std::printf("%s\n", strText.c_str());
        ++m_uCount;
    }
    uint32_t Count() const { return m_uCount; }

private:
    uint32_t m_uCount = 0;
};

std::vector<std::string> ToVector(NSCorvane::IStringList* pRawList, bool& bRead)
{
    StringListPtr pList(pRawList);
    std::vector<std::string> vecOut;
    bRead = pList != nullptr;
    for (uint32_t i = 0; pList && i < pList->Count(); ++i)
    {
        const char* pcszEntry = pList->Get(i);
        vecOut.emplace_back(pcszEntry ? pcszEntry : "");
    }
    return vecOut;
}

bool IsDecimal(const std::string& strText)
{
    return !strText.empty() && strText.size() <= 10 &&
           strText.find_first_not_of("0123456789") == std::string::npos;
}

// Only "dat/v<V>/<N / 10>/<N>.dat" is a package path. The list comes from the
// store, and the library opens (and on a failed check deletes) what it names,
// so nothing else is handed on.
bool IsPackagePath(const std::string& strPath)
{
    uint32_t uVer = 0;
    uint32_t uDir = 0;
    uint32_t uPackage = 0;
    if (strPath.compare(0, 5, "dat/v") != 0)
    {
        return false;
    }
    const size_t uSlash1 = strPath.find('/', 5);
    const size_t uSlash2 = uSlash1 == std::string::npos ? uSlash1 : strPath.find('/', uSlash1 + 1);
    if (uSlash2 == std::string::npos || strPath.size() < uSlash2 + 6 ||
        strPath.compare(strPath.size() - 4, 4, ".dat") != 0)
    {
        return false;
    }
    const std::string strVer = strPath.substr(5, uSlash1 - 5);
    const std::string strDir = strPath.substr(uSlash1 + 1, uSlash2 - uSlash1 - 1);
    const std::string strNum = strPath.substr(uSlash2 + 1, strPath.size() - 4 - uSlash2 - 1);
    return IsDecimal(strVer) && IsDecimal(strDir) && IsDecimal(strNum) && ParseUInt32(strVer, uVer) &&
           ParseUInt32(strDir, uDir) && ParseUInt32(strNum, uPackage) && uDir == uPackage / 10 &&
           std::to_string(uVer) == strVer && std::to_string(uPackage) == strNum &&
           std::to_string(uDir) == strDir;
}

void VerifyFiles(NSCorvane::IPemCorvaneReader& reader, CorvaneLibrary& library,
                 const std::vector<std::string>& vecFiles, CorvaneProgress& progress, ProblemList& problems)
{
    size_t uNoInfo = 0;
    for (size_t i = 0; i < vecFiles.size(); ++i)
    {
        const std::string& strPath = vecFiles[i];
        progress.Show("verify: file " + std::to_string(i + 1) + "/" + std::to_string(vecFiles.size()));
        if (!reader.HasFile(strPath.c_str()))
        {
            problems.Add("file " + strPath + ": in the directory tree but not in the index");
            continue;
        }
        FilePtr pFile(reader.OpenFile(strPath.c_str(), -1));
        const void* pData = pFile ? pFile->GetBuffer() : nullptr;
        // A large file is decoded as it is read, its content checked by the
        // library on the way: read through, it passed.
        const bool bRead = pFile && (pData || ForEachPiece(*pFile, [](const void*, size_t) { return true; }));
        if (!bRead)
        {
            // A signed store says why: the file's content differs from its manifest.
            const std::string strWhy = library.TakeLastFailure();
            problems.Add("file " + strPath + ": " + (strWhy.empty() ? "cannot be read or decoded" : strWhy));
            continue;
        }
        if (pData && reader.CalcContextHash(pData, pFile->Size()) != reader.GetFileHash(strPath.c_str()))
        {
            problems.Add("file " + strPath + ": content does not match its recorded hash");
            continue;
        }
        NSCorvane::CorvaneFileInfo info{};
        if (!reader.GetFileInfo(strPath.c_str(), &info))
        {
            ++uNoInfo;
        }
        else if (info.uFileSize != pFile->Size())
        {
            problems.Add("file " + strPath + ": " + std::to_string(pFile->Size()) + " bytes, recorded " +
                         std::to_string(info.uFileSize));
        }
    }
    // The builder writes file information for every file: none at all means it
    // is missing or damaged, some missing means it does not match the tree.
    if (uNoInfo && uNoInfo == vecFiles.size())
    {
        problems.Add("file information: missing or damaged");
    }
    else if (uNoInfo)
    {
        problems.Add("file information: " + std::to_string(uNoInfo) + " files have no record");
    }
}

void VerifyPackages(NSCorvane::IPemCorvaneReader& reader, const std::vector<std::string>& vecPackages,
                    CorvaneProgress& progress, ProblemList& problems)
{
    for (size_t i = 0; i < vecPackages.size(); ++i)
    {
        const std::string& strPackage = vecPackages[i];
        progress.Show("verify: package " + std::to_string(i + 1) + "/" + std::to_string(vecPackages.size()));
        if (!IsPackagePath(strPackage))
        {
            problems.Add("package list: '" + strPackage + "' is not a package path");
            continue;
        }
        if (!reader.SyncDownloadDataFile(strPackage.c_str()))
        {
            problems.Add("package " + strPackage + ": missing, or its header, length or hash is wrong");
        }
    }
}

int RunVerify(ToolContext& ctx, const ParsedArgs& args)
{
    StoreSource source;
    if (!ReadStoreSource("verify", args, source))
    {
        return kExitUsage;
    }
    if (args.Has("--tree"))
    {
        const std::string strTree = args.Value("--tree");
        if (strTree.empty())
        {
            return FailUsage("verify", "--tree needs a directory");
        }
        return RunVerifyTree(ctx, source, strTree);
    }
    for (const std::string& strKeyFile : args.Values("--trust"))
    {
        std::ifstream file(strKeyFile, std::ios::binary);
        std::string strLine;
        if (!file || !std::getline(file, strLine) || strLine.empty())
        {
            return Fail("--trust: cannot read a public key from '" + strKeyFile + "'");
        }
        source.strTrustedKeys += strLine + "\n";
    }
    ReaderPtr pReader;
    if (!OpenStoreReader(ctx, source, pReader))
    {
        return kExitFailure;
    }
    const uint32_t uVersion = pReader->GetWorkVersion();
    if (!source.strTrustedKeys.empty())
    {
        NSCorvane::CORVANE_TRUST_STATE state;
        if (!ctx.Library()->GetTrustState(pReader.get(), &state) || !state.uVerified)
        {
            return Fail("version " + std::to_string(uVersion) + " was opened without its signature checked");
        }
        std::printf("version %" PRIu32 ": manifest signed by key %s, valid until %" PRId64 " (unix time)\n",
                    uVersion, state.szKeyId, state.nExpires);
    }
    ProblemList problems;
    CorvaneProgress progress;

    NSCorvane::CORVANE_PAK_INFO info;
    const int nInfo = pReader->ReadPakInfo(&info);
    if (nInfo == 1)
    {
        problems.Add("package information: damaged");
    }
    else if (nInfo == 0 && info.uStoreVersion != uVersion)
    {
        problems.Add("package information: names version " + std::to_string(info.uStoreVersion));
    }

    bool bFilesRead = false;
    const std::vector<std::string> vecFiles = ToVector(pReader->OpenFileList(), bFilesRead);
    if (!bFilesRead)
    {
        problems.Add("directory tree: cannot be read");
    }
    bool bPackagesRead = false;
    const std::vector<std::string> vecPackages = ToVector(pReader->OpenDataList(), bPackagesRead);
    if (!bPackagesRead)
    {
        problems.Add("package list: cannot be read");
    }
    for (const auto& [pList, pcszName] :
         {std::make_pair(pReader->OpenPatchFileList(), "changed-file list"),
          std::make_pair(pReader->OpenPatchDataList(), "changed-package list")})
    {
        if (!pList)
        {
            problems.Add(std::string(pcszName) + ": cannot be read");
            continue;
        }
        pList->Release();
    }
    // Files first: their check only reads, and names the files a damaged
    // package takes with it.
    VerifyFiles(*pReader, *ctx.Library(), vecFiles, progress, problems);
    VerifyPackages(*pReader, vecPackages, progress, problems);
    progress.Clear();

    std::printf("version %" PRIu32 ": %zu files, %zu packages checked, %" PRIu32 " problem%s\n", uVersion,
                vecFiles.size(), vecPackages.size(), problems.Count(), problems.Count() == 1 ? "" : "s");
    std::fflush(stdout);
    if (problems.Count())
    {
        return FailInLibrary("version " + std::to_string(uVersion) + " of '" + source.strStoreDir +
                             "' has problems");
    }
    return kExitOk;
}

std::vector<OptionSpec> VerifyOptions()
{
    std::vector<OptionSpec> vecOptions = StoreSourceOptions();
    vecOptions.push_back({"--tree", true, false});
    vecOptions.push_back({"--trust", true, true});
    return vecOptions;
}

} // namespace

extern const CorvaneCommand g_cmdVerify;
const CorvaneCommand g_cmdVerify = {
    "verify", "check a store version, or compare it with a directory", kHelp, VerifyOptions(), 1, 1,
    RunVerify};
