// SPDX-License-Identifier: MIT
// corvane ls: the directory listing of a store version.
#include "CorvaneStore.h"

#include <cstdio>
#include <set>

namespace
{

const char kHelp[] = R"(usage: corvane ls STORE [DIR] [--version V] [-r]

Lists a directory of a store version: its subdirectories (ending in '/') and
its files, as store paths. Without DIR the top directory is listed.

  --version V   read version V instead of the latest
  --config FILE read a remote store through its configuration
                file (cache and HTTP sources) instead of STORE
  --no-range    with --config: fetch whole packages into the cache, as a
                server without Range support makes it, instead of
                single file records by HTTP range
  -r            list every file below DIR instead
)";

// Copies a list into a sorted set; false when the reader gave no list.
bool CollectList(NSCorvane::IStringList* pRawList, std::set<std::string>& setOut)
{
    StringListPtr pList(pRawList);
    if (!pList)
    {
        return false;
    }
    for (uint32_t i = 0; i < pList->Count(); ++i)
    {
        if (const char* pcszEntry = pList->Get(i))
        {
            setOut.insert(pcszEntry);
        }
    }
    return true;
}

int RunLs(ToolContext& ctx, const ParsedArgs& args)
{
    StoreSource source;
    if (!ReadStoreSource("ls", args, source))
    {
        return kExitUsage;
    }
    const std::string strDir = args.Positional().size() > StoreArgCount(args)
                                   ? ToStorePath(args.Positional()[StoreArgCount(args)])
                                   : std::string();
    ReaderPtr pReader;
    if (!OpenStoreReader(ctx, source, pReader))
    {
        return kExitFailure;
    }
    // Everything below the directory: the recursive listing itself, and the
    // source of the subdirectory names of the plain one (the tree only holds
    // directories that have files somewhere below them).
    std::set<std::string> setBelow;
    if (!CollectList(pReader->OpenFileList(strDir.c_str(), true), setBelow))
    {
        return FailInLibrary("cannot read the directory tree of version " +
                             std::to_string(pReader->GetWorkVersion()));
    }
    if (setBelow.empty() && !strDir.empty())
    {
        return Fail("no directory '" + strDir + "' in version " + std::to_string(pReader->GetWorkVersion()));
    }
    if (args.Has("-r"))
    {
        for (const std::string& strPath : setBelow)
        {
            std::printf("%s\n", strPath.c_str());
        }
        return std::fflush(stdout) == 0 ? kExitOk : Fail("cannot write to standard output");
    }
    const std::string strPrefix = strDir.empty() ? std::string() : strDir + "/";
    std::set<std::string> setSubDirs;
    for (const std::string& strPath : setBelow)
    {
        const size_t uSlash = strPath.find('/', strPrefix.size());
        if (uSlash != std::string::npos)
        {
            setSubDirs.insert(strPath.substr(0, uSlash + 1));
        }
    }
    std::set<std::string> setFiles;
    if (!CollectList(pReader->OpenFileList(strDir.c_str(), false), setFiles))
    {
        return FailInLibrary("cannot read the directory tree of version " +
                             std::to_string(pReader->GetWorkVersion()));
    }
    for (const std::string& strSubDir : setSubDirs)
    {
        std::printf("%s\n", strSubDir.c_str());
    }
    for (const std::string& strPath : setFiles)
    {
        std::printf("%s\n", strPath.c_str());
    }
    return std::fflush(stdout) == 0 ? kExitOk : Fail("cannot write to standard output");
}

std::vector<OptionSpec> LsOptions()
{
    std::vector<OptionSpec> vecOptions = StoreSourceOptions();
    vecOptions.push_back({"-r", false, false});
    return vecOptions;
}

} // namespace

extern const CorvaneCommand g_cmdLs;
const CorvaneCommand g_cmdLs = {"ls", "list a directory of a store version", kHelp, LsOptions(), 1, 2, RunLs};
