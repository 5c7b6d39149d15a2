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
    CorvaneToolPlatform::SetStdoutBinary();
    if (const void* pData = pFile->GetBuffer())
    {
        // Checked again here, before a byte reaches a pipe that may install it.
        if (pReader->CalcContextHash(pData, uSize) != pReader->GetFileHash(strPath.c_str()))
        {
            return Fail("content of '" + strPath + "' does not match its recorded hash");
        }
    }
    // A large file comes decoded piece by piece and is checked by the library
    // before its last piece: a wrong one ends short, with this failure.
    bool bWriteFailed = false;
    const bool bWhole = ForEachPiece(*pFile,
                                     [&](const void* pPiece, size_t uPiece)
                                     {
                                         bWriteFailed =
                                             uPiece && std::fwrite(pPiece, 1, uPiece, stdout) != uPiece;
                                         return !bWriteFailed;
                                     });
    if (bWriteFailed || std::fflush(stdout) != 0)
    {
        return Fail("cannot write to standard output");
    }
    if (!bWhole)
    {
        return FailInLibrary("cannot read '" + strPath + "'");
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
