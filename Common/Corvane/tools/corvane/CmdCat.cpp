// SPDX-License-Identifier: MIT
// corvane cat: one file's content to standard output.
#include "CorvaneStore.h"
#include "platform/ToolPlatform.h"

#include <cstdio>

namespace
{

const char kHelp[] = R"(usage: corvane cat STORE|--config FILE PATH [--version V] [--no-range]

Writes the content of the file PATH of a store version to standard output.
The content is checked against its recorded hash first; nothing is written
when it does not match.

  --version V   read version V instead of the latest
  --config FILE read a remote store through its configuration
                file (cache and HTTP sources) instead of STORE
  --no-range    with --config: fetch whole packages into the cache, as a
                server without Range support makes it, instead of
                single file records by HTTP range
)";

int RunCat(ToolContext& ctx, const ParsedArgs& args)
{
    StoreSource source;
    if (!ReadStoreSource("cat", args, source))
    {
        return kExitUsage;
    }
    const std::string strPath = ToStorePath(args.Positional()[StoreArgCount(args)]);
    if (strPath.empty())
    {
        return FailUsage("cat", "PATH names no file");
    }
    ReaderPtr pReader;
    if (!OpenStoreReader(ctx, source, pReader))
    {
        return kExitFailure;
    }
    if (!pReader->HasFile(strPath.c_str()))
    {
        return Fail("no file '" + strPath + "' in version " + std::to_string(pReader->GetWorkVersion()));
    }
    FilePtr pFile(pReader->OpenFile(strPath.c_str(), -1));
    if (!pFile)
    {
        return FailInLibrary("cannot read '" + strPath + "'");
    }
    const uint32_t uSize = pFile->Size();
    const void* pData = pFile->GetBuffer();
    if (uSize && !pData)
    {
        return FailInLibrary("cannot read '" + strPath + "'");
    }
    // The reader does not re-check what it decoded; a wrong file must not reach
    // a pipe that installs it somewhere.
    if (pReader->CalcContextHash(pData, uSize) != pReader->GetFileHash(strPath.c_str()))
    {
        return Fail("content of '" + strPath + "' does not match its recorded hash");
    }
    CorvaneToolPlatform::SetStdoutBinary();
    if ((uSize && std::fwrite(pData, 1, uSize, stdout) != uSize) || std::fflush(stdout) != 0)
    {
        return Fail("cannot write to standard output");
    }
    return kExitOk;
}

std::vector<OptionSpec> CatOptions()
{
    return StoreSourceOptions();
}

} // namespace

extern const CorvaneCommand g_cmdCat;
const CorvaneCommand g_cmdCat = {
    "cat", "write a file's content to standard output", kHelp, CatOptions(), 2, 2, RunCat};
