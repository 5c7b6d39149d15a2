// SPDX-License-Identifier: MIT
// corvane info: what a store version holds.
#include "CorvaneStore.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace
{

const char kHelp[] = R"(usage: corvane info STORE [--version V]

Shows the store's last version and, for the chosen version, its package
information (release GUID and text, files and packages written for it, their
data size) and the number of files it holds.

  --version V   describe version V instead of the latest
  --config FILE read a remote store through its configuration
                file (cache and HTTP sources) instead of STORE
  --no-range    with --config: fetch whole packages into the cache, as a
                server without Range support makes it, instead of
                single file records by HTTP range
)";

// A fixed text field of the record, never read past its end.
std::string FieldText(const char* pcszField, size_t uFieldSize)
{
    return std::string(pcszField, strnlen(pcszField, uFieldSize));
}

uint32_t ListCount(NSCorvane::IStringList* pRawList, bool& bRead)
{
    StringListPtr pList(pRawList);
    bRead = pList != nullptr;
    return pList ? pList->Count() : 0;
}

int RunInfo(ToolContext& ctx, const ParsedArgs& args)
{
    StoreSource source;
    if (!ReadStoreSource("info", args, source))
    {
        return kExitUsage;
    }
    ReaderPtr pReader;
    if (!OpenStoreReader(ctx, source, pReader))
    {
        return kExitFailure;
    }
    uint32_t uLastVersion = pReader->GetWorkVersion();
    if (source.uVersion != NSCorvane::_INVALID_VER)
    {
        StoreSource latest = source;
        latest.uVersion = NSCorvane::_INVALID_VER;
        ReaderPtr pLatest;
        if (!OpenStoreReader(ctx, latest, pLatest))
        {
            return kExitFailure;
        }
        uLastVersion = pLatest->GetWorkVersion();
    }
    NSCorvane::CORVANE_PAK_INFO info;
    const int nInfo = pReader->ReadPakInfo(&info);
    if (nInfo == 1)
    {
        return FailInLibrary("the package information of version " +
                             std::to_string(pReader->GetWorkVersion()) + " is damaged");
    }
    bool bFilesRead = false;
    const uint32_t uFiles = ListCount(pReader->OpenFileList(), bFilesRead);
    if (!bFilesRead)
    {
        return FailInLibrary("cannot read the directory tree of version " +
                             std::to_string(pReader->GetWorkVersion()));
    }
    bool bPackagesRead = false;
    const uint32_t uPackages = ListCount(pReader->OpenDataList(), bPackagesRead);

    std::printf("store:              %s\n", source.strStoreDir.c_str());
    std::printf("last version:       %" PRIu32 "\n", uLastVersion);
    std::printf("version:            %" PRIu32 "\n", pReader->GetWorkVersion());
    std::printf("files:              %" PRIu32 "\n", uFiles);
    if (bPackagesRead)
    {
        std::printf("packages used:      %" PRIu32 "\n", uPackages);
    }
    if (nInfo == 2)
    {
        std::printf("package info:       absent\n");
    }
    else
    {
        std::printf("release guid:       %s\n",
                    FieldText(info.szReleaseGuid, sizeof(info.szReleaseGuid)).c_str());
        std::printf("release text:       %s\n",
                    FieldText(info.szReleaseText, sizeof(info.szReleaseText)).c_str());
        std::printf("files written:      %" PRIu32 "\n", info.uFileCount);
        std::printf("packages written:   %" PRIu32 "\n", info.uPackageCount);
        std::printf("data size:          %" PRIu64 "\n", info.uTotalDataSize);
        std::printf("option value:       %" PRIu32 "\n", info.uOptionValue);
    }
    return std::fflush(stdout) == 0 ? kExitOk : Fail("cannot write to standard output");
}

} // namespace

extern const CorvaneCommand g_cmdInfo;
const CorvaneCommand g_cmdInfo = {"info", "describe a store version", kHelp, StoreSourceOptions(), 1, 1,
                                  RunInfo};
