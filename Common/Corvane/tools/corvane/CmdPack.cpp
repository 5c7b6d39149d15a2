// SPDX-License-Identifier: MIT
// corvane pack: builds one new version of a store from a directory tree.
#include "CorvaneProgress.h"
#include "CorvaneSign.h"
#include "CorvaneStore.h"
#include "platform/ToolPlatform.h"

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <system_error>
#include <thread>
#include <vector>

namespace
{

const char kHelp[] = R"(usage: corvane pack --root DIR --store DIR --version N [options]

Builds version N of the store in --store from the tree below --root. Files
whose content did not change since the store's last version are not stored
again. Without --push and --file the whole root is packed.

  --root DIR            source tree
  --store DIR           store directory (created when missing)
  --version N           version to build; greater than the store's last version
  --push DIR            pack this directory below the root (repeatable)
  --file PATH           pack this single file below the root (repeatable)
  --block DIR           leave this directory below a pushed one out (repeatable)
  --level L             compression level 0..10 (default 9)
  --threads T           compression threads (default: the processor count)
  --package-size BYTES  target data size of one package (default 10485760)
  --release-text TEXT   release text of the version (at most 255 bytes)
  --rehash              read and hash every file, trusting no cached file stat
  --skip-special        leave out, with a warning each, entries that cannot be
                        packed (pipes, sockets, devices, links to nothing or
                        out of the tree) instead of failing
  --sign KEYFILE        sign the new version with this secret key (see
                        corvane sign; --expires DAYS as there)
  --expires DAYS        with --sign: days the manifest stays valid (default 365)
  --verbose             list every file added, changed, removed or read and
                        found unchanged

Relative --push, --file and --block paths are taken below the root.
A file counts as unchanged without being read only when its size, write time,
change time and identity (device and inode) are those the last build saw.
A symbolic link to a file inside the tree is packed as that file's content
(Windows installs get a copy); any other entry that is neither a file nor a
directory fails the pack, naming it.
Prints: files, files stored anew, packages written, bytes in (all files of
the version), bytes out (data stored in new packages), seconds, then what
the version changed: files added, changed, removed and unchanged (by file
stat, without reading, or by content hash), and links packed as files.

On Linux, pack starts itself once more with the C library's allocator set to
use transparent huge pages and to grow its heap 64 MiB at a time, which saves
a page fault per fresh 4 KiB of heap; CORVANE_HEAP_PAGES set to anything in
the environment turns that off.
)";

struct PackRequest
{
    std::string strRoot;
    std::string strStore;
    std::vector<std::string> vecPush;
    std::vector<std::string> vecFiles;
    std::vector<std::string> vecBlock;
    NSCorvane::CORVANE_PAK_OPTION option;
    uint32_t uFlags = 0;
    bool bVerbose = false;
};

// What the packer noted during the build: skipped entries are warned of at
// once, the rest is kept for --verbose.
struct PackNotes
{
    bool bVerbose = false;
    std::vector<std::pair<uint32_t, std::string>> vecNotes;
};

void OnPackNote(void* pvContext, uint32_t uNote, const char* pcszPath, const char* pcszDetail)
{
    auto* pNotes = static_cast<PackNotes*>(pvContext);
    if (NSCorvane::CPN_SKIPPED == uNote)
    {
        std::fprintf(stderr, "corvane: warning: skipped %s: %s\n", pcszPath, pcszDetail);
        return;
    }
    if (pNotes->bVerbose)
    {
        pNotes->vecNotes.emplace_back(uNote, pcszPath);
    }
}

void PrintNotes(std::vector<std::pair<uint32_t, std::string>>& vecNotes)
{
    std::sort(vecNotes.begin(), vecNotes.end());
    for (const auto& note : vecNotes)
    {
        const char* pcszWhat = NSCorvane::CPN_ADDED == note.first          ? "added    "
                               : NSCorvane::CPN_CHANGED == note.first      ? "changed  "
                               : NSCorvane::CPN_REMOVED == note.first      ? "removed  "
                               : NSCorvane::CPN_SAME_BY_HASH == note.first ? "same     "
                                                                           : "link     ";
        std::printf("%s%s\n", pcszWhat, note.second.c_str());
    }
}

bool IsBelow(const std::string& strPath, const std::string& strRoot)
{
    if (strPath == strRoot)
    {
        return true;
    }
    const std::string strPrefix = strRoot.back() == '/' ? strRoot : strRoot + "/";
    return strPath.compare(0, strPrefix.size(), strPrefix) == 0;
}

// An absolute, canonical path below the root for a --push/--file/--block
// argument; relative ones are taken below the root. kExitOk or the exit code
// after printing why.
int ResolveBelowRoot(const std::string& strRoot, const std::string& strOption, const std::string& strArg,
                     bool bMustExist, std::string& strOut)
{
    const std::string strJoined = CorvaneToolPlatform::IsAbsolute(strArg)
                                      ? strArg
                                      : (strRoot.back() == '/' ? strRoot : strRoot + "/") + strArg;
    if (!CorvaneToolPlatform::CanonicalPath(strJoined, strOut))
    {
        if (bMustExist)
        {
            return Fail(strOption + " '" + strArg + "' does not exist");
        }
        strOut = strJoined; // a blocked directory that does not exist blocks nothing
    }
    if (!IsBelow(strOut, strRoot))
    {
        return FailUsage("pack", strOption + " '" + strArg + "' is not below the root " + strRoot);
    }
    return kExitOk;
}

int ReadNumbers(const ParsedArgs& args, NSCorvane::CORVANE_PAK_OPTION& option)
{
    const std::string strVersion = args.Value("--version");
    if (!ParseUInt32(strVersion, option.nToVersion) || option.nToVersion == NSCorvane::_INVALID_VER)
    {
        return FailUsage("pack", "--version needs a version number, not '" + strVersion + "'");
    }
    if (args.Has("--level"))
    {
        uint32_t uLevel = 0;
        if (!ParseUInt32(args.Value("--level"), uLevel) || uLevel > 10)
        {
            return FailUsage("pack", "--level needs a level 0..10, not '" + args.Value("--level") + "'");
        }
        option.nCompressLevel = static_cast<int32_t>(uLevel);
    }
    const unsigned uCores = std::thread::hardware_concurrency();
    option.nTreadCount = uCores ? uCores : 1;
    if (args.Has("--threads"))
    {
        if (!ParseUInt32(args.Value("--threads"), option.nTreadCount) || option.nTreadCount > 256)
        {
            return FailUsage("pack", "--threads needs a count 0..256, not '" + args.Value("--threads") + "'");
        }
        // Compression needs at least one worker.
        option.nTreadCount = option.nTreadCount ? option.nTreadCount : 1;
    }
    if (args.Has("--package-size"))
    {
        if (!ParseUInt32(args.Value("--package-size"), option.nPackageSizeLimit) || !option.nPackageSizeLimit)
        {
            return FailUsage("pack", "--package-size needs a byte count 1..4294967295, not '" +
                                         args.Value("--package-size") + "'");
        }
    }
    const std::string strText = args.Value("--release-text");
    if (strText.size() >= sizeof(option.szReleaseText))
    {
        // Cut text would end a release note mid-word, or mid-character.
        return FailUsage("pack", "--release-text is longer than " +
                                     std::to_string(sizeof(option.szReleaseText) - 1) + " bytes");
    }
    std::memcpy(option.szReleaseText, strText.c_str(), strText.size() + 1);
    return kExitOk;
}

int ReadRequest(const ParsedArgs& args, PackRequest& request)
{
    for (const char* pcszRequired : {"--root", "--store", "--version"})
    {
        if (!args.Has(pcszRequired) || args.Value(pcszRequired).empty())
        {
            return FailUsage("pack", std::string("missing ") + pcszRequired);
        }
    }
    if (args.Has("--block") && !args.Has("--push") && args.Has("--file"))
    {
        return FailUsage("pack", "--block needs a --push directory to block from");
    }
    if (const int nExit = ReadNumbers(args, request.option))
    {
        return nExit;
    }
    request.uFlags = (args.Has("--rehash") ? NSCorvane::CORVANE_PACK_REHASH : 0u) |
                     (args.Has("--skip-special") ? NSCorvane::CORVANE_PACK_SKIP_SPECIAL : 0u);
    request.bVerbose = args.Has("--verbose");
    const std::string strRoot = args.Value("--root");
    if (!CorvaneToolPlatform::IsDirectory(strRoot) ||
        !CorvaneToolPlatform::CanonicalPath(strRoot, request.strRoot))
    {
        return Fail("root '" + strRoot + "' is not a directory");
    }
    request.strStore = CorvaneToolPlatform::AbsolutePath(args.Value("--store"));
    if (CorvaneToolPlatform::CanonicalPath(request.strStore, request.strStore) &&
        !CorvaneToolPlatform::IsDirectory(request.strStore))
    {
        return Fail("store '" + args.Value("--store") + "' is not a directory");
    }
    if (IsBelow(request.strStore, request.strRoot))
    {
        // The next build would pack the store into itself.
        return FailUsage("pack", "the store must not lie inside the root");
    }
    struct Group
    {
        const char* pcszOption;
        std::vector<std::string>* pvecOut;
        bool bMustExist;
        bool (*pfnKind)(const std::string&);
        const char* pcszKind;
    };
    const Group groups[] = {
        {"--push", &request.vecPush, true, &CorvaneToolPlatform::IsDirectory, "a directory"},
        {"--file", &request.vecFiles, true, &CorvaneToolPlatform::IsRegularFile, "a regular file"},
        {"--block", &request.vecBlock, false, nullptr, nullptr},
    };
    for (const Group& group : groups)
    {
        for (const std::string& strArg : args.Values(group.pcszOption))
        {
            std::string strPath;
            if (const int nExit =
                    ResolveBelowRoot(request.strRoot, group.pcszOption, strArg, group.bMustExist, strPath))
            {
                return nExit;
            }
            if (group.pfnKind && !group.pfnKind(strPath))
            {
                return Fail(std::string(group.pcszOption) + " '" + strArg + "' is not " + group.pcszKind);
            }
            group.pvecOut->push_back(strPath);
        }
    }
    if (request.vecPush.empty() && request.vecFiles.empty())
    {
        request.vecPush.push_back(request.strRoot);
    }
    return kExitOk;
}

// The store's last version, or _INVALID_VER when it has none that reads.
uint32_t LastVersion(CorvaneLibrary& library, const std::string& strStore)
{
    if (!CorvaneToolPlatform::IsDirectory(strStore))
    {
        return NSCorvane::_INVALID_VER;
    }
    NSCorvane::IPemCorvaneReader* pRaw = nullptr;
    if (!library.NewReader(strStore, NSCorvane::_INVALID_VER, &pRaw) || !pRaw)
    {
        return NSCorvane::_INVALID_VER;
    }
    ReaderPtr pReader(pRaw);
    return pReader->GetWorkVersion();
}

// Builds the version; pPacker keeps the packer for the caller to release.
bool Build(CorvaneLibrary& library, const PackRequest& request, PackerPtr& pPacker, PackNotes& notes)
{
    NSCorvane::IPemCorvanePacker* pRaw = nullptr;
    if (!library.NewPacker(&pRaw) || !pRaw)
    {
        return false;
    }
    pPacker.reset(pRaw);
    // Notes only when something is to be said of them: a first build's list of
    // every file added is not kept for nothing.
    const bool bNotes = request.bVerbose || (request.uFlags & NSCorvane::CORVANE_PACK_SKIP_SPECIAL);
    if ((request.uFlags && !library.SetPackerFlags(pPacker.get(), request.uFlags)) ||
        (bNotes && !library.SetPackerNotes(pPacker.get(), &OnPackNote, &notes)))
    {
        return false;
    }
    if (!pPacker->SetEnv(request.strRoot.c_str(), request.strStore.c_str(), &request.option))
    {
        return false;
    }
    for (const std::string& strDir : request.vecPush)
    {
        if (!pPacker->Push(strDir.c_str()))
        {
            return false;
        }
    }
    for (const std::string& strFile : request.vecFiles)
    {
        if (!pPacker->PushFile(strFile.c_str()))
        {
            return false;
        }
    }
    for (const std::string& strDir : request.vecBlock)
    {
        if (!pPacker->Block(strDir.c_str()))
        {
            return false;
        }
    }
    return pPacker->Do();
}

uint32_t ListCount(NSCorvane::IStringList* pRawList)
{
    StringListPtr pList(pRawList);
    return pList ? pList->Count() : 0;
}

// The size of every file of the list, summed on two threads.
uint64_t SumFileSizes(NSCorvane::IPemCorvaneReader& reader, NSCorvane::IStringList& files)
{
    const uint32_t uCount = files.Count();
    std::vector<const char*> vecPath(uCount);
    for (uint32_t i = 0; i < uCount; ++i)
    {
        vecPath[i] = files.Get(i);
    }
    const auto fnSum = [&reader, &vecPath](size_t uBegin, size_t uEnd)
    {
        uint64_t uSum = 0;
        for (size_t i = uBegin; i < uEnd; ++i)
        {
            NSCorvane::CorvaneFileInfo info{};
            if (reader.GetFileInfo(vecPath[i], &info))
            {
                uSum += info.uFileSize;
            }
        }
        return uSum;
    };
    const size_t uHalf = vecPath.size() / 2;
    uint64_t uFirst = 0;
    try
    {
        std::thread first([&] { uFirst = fnSum(0, uHalf); });
        const uint64_t uSecond = fnSum(uHalf, vecPath.size());
        first.join();
        return uFirst + uSecond;
    }
    catch (const std::system_error&)
    {
        return fnSum(0, vecPath.size());
    }
}

// Prints the summary of the new version and ends the process; the reader and
// its lists are left to the exit too.
[[noreturn]] void PrintSummaryAndExit(ToolContext& ctx, const PackRequest& request, double dSeconds,
                                      const NSCorvane::CORVANE_PACK_SUMMARY& summary, PackNotes& notes)
{
    PrintNotes(notes.vecNotes);
    StoreSource source;
    source.strStoreDir = request.strStore;
    source.uVersion = request.option.nToVersion;
    ReaderPtr pReader;
    if (!OpenStoreReader(ctx, source, pReader))
    {
        ExitLeavingMemory(kExitFailure);
    }
    // The reader's file table loads while the tree is read: the two are
    // allowed side by side, and the summary is part of every build's time.
    std::thread loader;
    try
    {
        loader = std::thread(
            [&pReader]
            {
                NSCorvane::CorvaneFileInfo info{};
                pReader->GetFileInfo("", &info);
            });
    }
    catch (const std::system_error&)
    {
        // The sums below load it then.
    }
    StringListPtr pFiles(pReader->OpenFileList());
    if (loader.joinable())
    {
        loader.join();
    }
    if (!pFiles)
    {
        ExitLeavingMemory(FailInLibrary("version " + std::to_string(source.uVersion) +
                                        " was written but its tree does not read"));
    }
    const uint64_t uBytesIn = SumFileSizes(*pReader, *pFiles);
    NSCorvane::CORVANE_PAK_INFO info;
    const uint64_t uBytesOut = pReader->ReadPakInfo(&info) == 0 ? info.uTotalDataSize : 0;
    std::printf("version:          %" PRIu32 "\n", source.uVersion);
    std::printf("files:            %" PRIu32 "\n", pFiles->Count());
    std::printf("stored anew:      %" PRIu32 "\n", ListCount(pReader->OpenPatchFileList()));
    std::printf("packages written: %" PRIu32 "\n", ListCount(pReader->OpenPatchDataList()));
    std::printf("bytes in:         %" PRIu64 "\n", uBytesIn);
    std::printf("bytes out:        %" PRIu64 "\n", uBytesOut);
    std::printf("seconds:          %.2f\n", dSeconds);
    std::printf("added:            %" PRIu32 "\n", summary.uAdded);
    std::printf("changed:          %" PRIu32 "\n", summary.uChanged);
    std::printf("removed:          %" PRIu32 "\n", summary.uRemoved);
    std::printf("unchanged:        %" PRIu32 " (%" PRIu32 " by file stat, %" PRIu32 " by content hash)\n",
                summary.uSameByStat + summary.uSameByHash, summary.uSameByStat, summary.uSameByHash);
    if (summary.uLinksAsFiles)
    {
        std::printf("links as files:   %" PRIu32
                    " (installed as copies: Windows working paths hold no links)\n",
                    summary.uLinksAsFiles);
    }
    if (summary.uSkipped)
    {
        std::printf("skipped:          %" PRIu32 "\n", summary.uSkipped);
    }
    ExitLeavingMemory(std::fflush(stdout) == 0 ? kExitOk : Fail("cannot write to standard output"));
}

int RunPack(ToolContext& ctx, const ParsedArgs& args)
{
    PackRequest request;
    if (const int nExit = ReadRequest(args, request))
    {
        return nExit;
    }
    SignRequest sign;
    sign.strStore = request.strStore;
    sign.strKeyFile = args.Value("--sign");
    sign.uVersion = request.option.nToVersion;
    if (args.Has("--sign") && sign.strKeyFile.empty())
    {
        return FailUsage("pack", "--sign needs a key file");
    }
    if (!ReadSignDays(args, sign) || (args.Has("--expires") && !args.Has("--sign")))
    {
        return FailUsage("pack", "--expires needs --sign and a number of days from 1 to 36500");
    }
    CorvaneLibrary* pLibrary = ctx.Library();
    if (!pLibrary)
    {
        return kExitFailure;
    }
    if (!pLibrary->HasPacker())
    {
        return Fail("the store library beside corvane cannot build stores");
    }
    // A key that cannot be read must not leave an unsigned version behind.
    if (!sign.strKeyFile.empty() && !CorvaneToolPlatform::IsRegularFile(sign.strKeyFile))
    {
        return Fail("--sign: no key file '" + sign.strKeyFile + "'");
    }
    CorvaneProgress progress;
    progress.Tick("packing version " + std::to_string(request.option.nToVersion) + "...");
    const auto tStart = std::chrono::steady_clock::now();
    PackerPtr pPacker;
    PackNotes notes;
    notes.bVerbose = request.bVerbose;
    if (!pLibrary->HasPackerExtras())
    {
        return Fail(
            "the store library beside corvane is older than corvane: it cannot say what a build changed");
    }
    const bool bBuilt = Build(*pLibrary, request, pPacker, notes);
    const double dSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - tStart).count();
    progress.Clear();
    if (!bBuilt)
    {
        pPacker.reset();
        // Asked only now: on success the store need not be opened one more time.
        const uint32_t uLast = LastVersion(*pLibrary, request.strStore);
        if (uLast != NSCorvane::_INVALID_VER && request.option.nToVersion <= uLast)
        {
            return Fail("version " + std::to_string(request.option.nToVersion) +
                        " is not greater than the store's last version " + std::to_string(uLast));
        }
        // Why, as the library recorded it: the system's reason, or the first
        // failed check's own words (a file it cannot store, a path it refuses).
        const std::string strKept = uLast == NSCorvane::_INVALID_VER
                                        ? std::string("the store has no new version")
                                        : "the store stays at version " + std::to_string(uLast);
        return FailInLibrary("packing version " + std::to_string(request.option.nToVersion) + " failed; " +
                                 strKept,
                             LoggedReasons::Print);
    }
    // The version is published and synced: the packer has nothing left to do
    // but free its memory and stop its idle threads. The process ends after
    // the summary without releasing it, and the system takes all of that back
    // at once; freeing a large tree's paths and maps one by one took a tenth
    // of an unchanged build.
    NSCorvane::CORVANE_PACK_SUMMARY summary;
    if (!pLibrary->GetPackSummary(pPacker.get(), &summary))
    {
        return FailInLibrary("version " + std::to_string(request.option.nToVersion) +
                             " was written but its summary cannot be read");
    }
    if (!sign.strKeyFile.empty() && SignStore(ctx, sign) != kExitOk)
    {
        return Fail("version " + std::to_string(request.option.nToVersion) +
                    " was written but not signed; sign it with corvane sign");
    }
    PrintSummaryAndExit(ctx, request, dSeconds, summary, notes);
}

std::vector<OptionSpec> PackOptions()
{
    return {
        {"--root", true, false},         {"--store", true, false},   {"--version", true, false},
        {"--push", true, true},          {"--file", true, true},     {"--block", true, true},
        {"--level", true, false},        {"--threads", true, false}, {"--package-size", true, false},
        {"--release-text", true, false}, {"--rehash", false, false}, {"--skip-special", false, false},
        {"--verbose", false, false},     {"--sign", true, false},    {"--expires", true, false},
    };
}

} // namespace

extern const CorvaneCommand g_cmdPack;
const CorvaneCommand g_cmdPack = {
    "pack", "build a new store version from a directory tree", kHelp, PackOptions(), 0, 0, RunPack};
