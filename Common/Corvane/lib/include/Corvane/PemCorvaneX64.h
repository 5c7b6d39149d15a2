// SPDX-License-Identifier: MIT
// The exported entry points of PemCorvaneX64. Callers that load the library at
// run time look them up by these names; the typedefs give their signatures.
// No exception ever leaves an exported function.
#pragma once

#include <Corvane/CorvaneExport.h>
#include <Corvane/CorvaneRecords.h>
#include <Corvane/CorvaneStream.h>
#include <Corvane/IPemCorvanePacker.h>
#include <Corvane/IPemCorvaneReader.h>

namespace NSCorvane
{

// Flags of g_SetCorvanePackerFlags.
enum : uint32_t
{
    // Read and hash every file: the file stat cache vouches for none, once.
    CORVANE_PACK_REHASH = 0x1,
    // Leave out entries that cannot be packed (pipes, sockets, devices, links
    // to nothing or out of the tree), each with a note, instead of failing.
    CORVANE_PACK_SKIP_SPECIAL = 0x2,
};

// What one build changed against the store's previous version.
struct CORVANE_PACK_SUMMARY
{
    uint32_t uStructSize = sizeof(CORVANE_PACK_SUMMARY);
    uint32_t uAdded = 0;
    uint32_t uChanged = 0;
    uint32_t uRemoved = 0;
    uint32_t uSameByStat = 0;   // unchanged and not read: the file stat cache vouched for them
    uint32_t uSameByHash = 0;   // unchanged, read and hashed
    uint32_t uLinksAsFiles = 0; // symbolic links packed as their target's content
    uint32_t uSkipped = 0;      // left out under CORVANE_PACK_SKIP_SPECIAL
    uint64_t uBytesStored = 0;  // record bytes placed in new data packages
};
static_assert(sizeof(CORVANE_PACK_SUMMARY) == 40, "pack summary");

// What a note of a build is about.
enum CORVANE_PACK_NOTE : uint32_t
{
    CPN_ADDED = 1,
    CPN_CHANGED = 2,
    CPN_REMOVED = 3,
    CPN_SAME_BY_HASH = 4, // read and found unchanged
    CPN_LINK_AS_FILE = 5, // pcszDetail: the link's full path
    CPN_SKIPPED = 6,      // pcszDetail: why it cannot be packed
};
// Store path, and for some notes a detail; both valid during the call only.
using PFN_CorvanePackNote = void (*)(void* pvContext, uint32_t uNote, const char* pcszPath,
                                     const char* pcszDetail);

// What a reader fetched from its remote sources since it was made: whole
// files (data packages, indexes, lists) and single records by HTTP range
// apart; existence queries carry no body. Failed and retried requests count.
struct CORVANE_TRANSFER_COUNTS
{
    uint32_t uStructSize = sizeof(CORVANE_TRANSFER_COUNTS);
    uint32_t uReserved = 0;
    uint64_t uWholeRequests = 0;
    uint64_t uWholeBytes = 0;
    uint64_t uRangeRequests = 0;
    uint64_t uRangeBytes = 0;
    uint64_t uQueryRequests = 0;
};
static_assert(sizeof(CORVANE_TRANSFER_COUNTS) == 48, "transfer counts");
// Flags of g_PlanCorvaneFetch.
enum : uint32_t
{
    // The paths name data packages ("dat/..."), fetched whole into the
    // reader's cache (preload, a whole-package sync) instead of file records.
    CORVANE_FETCH_WHOLE_PACKAGES = 0x1,
};
// The first state of g_FeedCorvaneContextHash: nothing fed yet.
constexpr uint64_t CORVANE_CONTEXT_HASH_START = uint64_t{5381} << 32;
// How far the reader's current fetch plan has come.
struct CORVANE_FETCH_PROGRESS
{
    uint32_t uStructSize = sizeof(CORVANE_FETCH_PROGRESS);
    uint32_t uReserved = 0;
    uint64_t uBytesPlanned = 0;   // bytes the plan fetches in all (gaps of joined ranges included)
    uint64_t uBytesDone = 0;      // of those, received so far
    uint64_t uFilesPlanned = 0;   // files (or packages) in the plan
    uint64_t uFilesReady = 0;     // of those, received whole and checked
    uint64_t uBytesPerSecond = 0; // recent speed of the plan's transfers
};
static_assert(sizeof(CORVANE_FETCH_PROGRESS) == 48, "fetch progress");

// Flags of g_NewCorvaneReaderTrusted.
enum : uint32_t
{
    // pcszSource names a JSON configuration file, not a store directory.
    CORVANE_TRUST_BY_CONFIG = 0x1,
};
// Whether a reader's version was checked against a signed manifest.
struct CORVANE_TRUST_STATE
{
    uint32_t uStructSize = sizeof(CORVANE_TRUST_STATE);
    uint32_t uVerified = 0; // 1: the version's manifest is signed by a trusted key
    int64_t nSigned = 0;    // unix seconds, when verified
    int64_t nExpires = 0;   // unix seconds, when verified
    char szKeyId[24] = {};  // the signing key's id (16 hex digits), when verified
};
static_assert(sizeof(CORVANE_TRUST_STATE) == 48, "trust state");

} // namespace NSCorvane

extern "C"
{
    // Once per process before anything else (g_SetCorvaneLogPath may come
    // first). Removes an earlier run's log at the log's path and installs the
    // error log; the log file is created by this run's first line, so a run
    // that logs nothing leaves none. Null arguments select the library's own
    // file system and allocator. Always true.
    CORVANE_API bool g_InitCorvaneManager(NSCorvane::IStreamFileSys* piFileSys,
                                          NSCorvane::IStreamMemory* piMemory);

    // Once at the end; no reader may be used afterwards. Always true.
    CORVANE_API bool g_UnInitCorvaneManager();

    // A reader of a local store directory. uVersion _INVALID_VER means the latest.
    // On success *ppReader receives a reader the caller releases; on failure
    // *ppReader is unchanged and the reason is in the log.
    CORVANE_API bool g_NewCorvaneReader(NSCorvane::IPemCorvaneReader** ppReader, const char* pcszDataDir,
                                        uint32_t uVersion);

    // A reader of a store reached through the JSON configuration file
    // pcszConfigFile (UTF-8 path): a local cache directory backed by HTTP(S)
    // sources. Same contract as g_NewCorvaneReader; opens without an explicit
    // option look in the cache first, then ask the remote sources.
    CORVANE_API bool g_NewCorvaneReaderByConfig(NSCorvane::IPemCorvaneReader** ppReader,
                                                const char* pcszConfigFile, uint32_t uVersion);

    // As g_NewCorvaneReaderByConfig, for reading only the version's lists
    // (OpenPatchFileList, OpenPatchDataList, OpenDataList, OpenFileList,
    // ReadPakInfo): the version's index is not read, so its files cannot be
    // opened. A version missing from the store shows when a list is read.
    // Reading the changes of many versions then costs one round trip each.
    CORVANE_API bool g_NewCorvaneListReaderByConfig(NSCorvane::IPemCorvaneReader** ppReader,
                                                    const char* pcszConfigFile, uint32_t uVersion);

    // A packer with the default options, for building stores. *ppPacker receives
    // an object the caller releases. False only when ppPacker is null or memory runs out.
    CORVANE_API bool g_NewCorvanePacker(NSCorvane::IPemCorvanePacker** ppPacker);

    // Flags (CORVANE_PACK_*) of a packer from g_NewCorvanePacker; before its SetEnv.
    CORVANE_API bool g_SetCorvanePackerFlags(NSCorvane::IPemCorvanePacker* piPacker, uint32_t uFlags);

    // A function Do calls on its own thread for what the build did: skipped
    // entries and links packed as files before the files are read, and after a
    // successful build every file added, changed, removed or found unchanged
    // by its content. Before Do; null stops the notes.
    CORVANE_API bool g_SetCorvanePackerNotes(NSCorvane::IPemCorvanePacker* piPacker,
                                             NSCorvane::PFN_CorvanePackNote pfnNote, void* pvContext);

    // The summary of the last successful Do. pSummary->uStructSize must be set;
    // false before a successful Do.
    CORVANE_API bool g_GetCorvanePackSummary(NSCorvane::IPemCorvanePacker* piPacker,
                                             NSCorvane::CORVANE_PACK_SUMMARY* pSummary);

    // Where the log goes: a UTF-8 file path, its missing directories made
    // with the first line. Null or empty: "PemCorvane.log" in the current
    // directory, as looked up at each write (the default). Call it before
    // g_InitCorvaneManager so that init clears the right file; thread-safe.
    // False only when memory runs out.
    CORVANE_API bool g_SetCorvaneLogPath(const char* pcszPath);

    // Why a call failed when the system refused it, for a person: one UTF-8
    // line such as "cannot create /srv/store/dat/v3: Permission denied"
    // (operation, path, the system's reason). The library keeps one such
    // record for the whole process, not per thread, since its workers fail
    // on their own threads: the first failure since the last read (or since
    // g_InitCorvaneManager) wins, as later ones are mostly its consequences.
    // Reading clears it. On true the line is in pszOut, cut to uSize - 1
    // bytes; false, with pszOut empty, when nothing is recorded. pszOut null
    // or uSize 0 only clears. Failures without a system reason (a refused
    // path, a damaged store) leave no record: they are in the log only.
    // Thread-safe.
    CORVANE_API bool g_GetCorvaneLastFailure(char* pszOut, uint32_t uSize);

    // What a reader from g_NewCorvaneReaderByConfig fetched so far; a local
    // store's reader answers all zero. pCounts->uStructSize must be set. Any thread.
    CORVANE_API bool g_GetCorvaneTransferCounts(NSCorvane::IPemCorvaneReader* piReader,
                                                NSCorvane::CORVANE_TRANSFER_COUNTS* pCounts);
    // Hands a task's file list to a reader from g_NewCorvaneReaderByConfig:
    // uCount store paths of the reader's version, in the order the task will
    // open them. The library plans byte ranges for all of them and starts
    // fetching at once on its own transfer thread, many requests in flight;
    // OpenFile of a planned path is then served from the plan, waiting for
    // its bytes if they have not come yet. Every record is checked as any
    // other before OpenFile returns it. Paths the store does not hold, or
    // whose records are cached already, cost nothing. A new plan replaces the
    // reader's previous one. CancelDownloads stops the plan's transfers,
    // SetLimitSpeed paces them. False, with no plan, when the reader is local,
    // reads no ranges, or an argument is wrong; opens then work as without a
    // plan.
    CORVANE_API bool g_PlanCorvaneFetch(NSCorvane::IPemCorvaneReader* piReader, const char* const* ppszPaths,
                                        uint32_t uCount, uint32_t uFlags);
    // Progress of the reader's plan; all zero without one. pProgress->uStructSize must be set. Any thread.
    CORVANE_API bool g_GetCorvaneFetchProgress(NSCorvane::IPemCorvaneReader* piReader,
                                               NSCorvane::CORVANE_FETCH_PROGRESS* pProgress);
    // Which planned path to open next, so that a task's threads open files as
    // their bytes come rather than each waiting on its own next one while
    // others sit ready: the index (in the list given to g_PlanCorvaneFetch)
    // of a path whose bytes came or that the plan gave up (its open then
    // reads as without a plan), each index once, in the order they came.
    // Waits up to uWaitMs for one. Returns 1 with *puIndex set; 0 when none
    // came in the wait; 2 when no more will (all told, a plan of whole
    // packages, or no plan); -1 for a wrong argument. Any thread.
    CORVANE_API int g_NextCorvaneFetchArrival(NSCorvane::IPemCorvaneReader* piReader, uint32_t* puIndex,
                                              uint32_t uWaitMs);
    // Ends the reader's plan: stops its transfers and drops what was fetched
    // and not opened. Release ends it too. Always true for a valid reader.
    CORVANE_API bool g_EndCorvaneFetch(NSCorvane::IPemCorvaneReader* piReader);

    // Starts a new task for the remote sources of every reader of the
    // process. A source that fails (no connection, a 5xx answer, a transfer
    // cut off) is passed over by every reader while a later source of its
    // configuration still works, until this is called; a process that never
    // calls it is one task. Call it when a task (a check, an install, a
    // repair) begins. Always true.
    CORVANE_API bool g_ResetCorvaneSources();

    // The content hash of data fed piece by piece, for a file too large to
    // hold in memory: *puState starts as CORVANE_CONTEXT_HASH_START and each
    // call feeds the next piece (pData may be null only with uSize 0);
    // *puValue (may be null) gets what IPemCorvaneReader::CalcContextHash gives
    // for all the pieces fed so far. Any thread; false on a null state.
    CORVANE_API bool g_FeedCorvaneContextHash(uint64_t* puState, const void* pData, uint32_t uSize,
                                              uint64_t* puValue);

    // Signed stores (docs/manifest.md). Every refusal below also keeps a line
    // for g_GetCorvaneLastFailure ("store not trusted: ..." for a reader).

    // Writes a new Ed25519 key pair: the secret key to pcszKeyFile (UTF-8
    // path, mode 0600, which must not exist yet) and the public key to
    // pcszKeyFile + ".pub", one line. The key id (16 hex digits) goes to
    // pszKeyId, cut to uSize - 1 bytes (null: not wanted).
    CORVANE_API bool g_CreateCorvaneKey(const char* pcszKeyFile, char* pszKeyId, uint32_t uSize);

    // Signs version uVersion (_INVALID_VER: the latest) of the local store
    // pcszStoreDir with the secret key in pcszKeyFile: writes the version's
    // manifest, valid uExpireDays days, and re-signs the latest-version
    // marker for uLastVerDays days. Both files are replaced atomically.
    CORVANE_API bool g_SignCorvaneVersion(const char* pcszStoreDir, uint32_t uVersion,
                                          const char* pcszKeyFile, uint32_t uExpireDays,
                                          uint32_t uLastVerDays);

    // A reader as g_NewCorvaneReader (or, with CORVANE_TRUST_BY_CONFIG, as
    // g_NewCorvaneReaderByConfig, whose own "trust" keys are kept) that also
    // trusts the public keys in pcszTrustedKeys: lines of the .pub form or
    // bare hex, "\n"-separated (null or empty: none added). With any key
    // trusted the version opens only when its manifest is signed by one of
    // them, unexpired and consistent with the version, and OpenFile returns
    // only files whose content matches the manifest.
    CORVANE_API bool g_NewCorvaneReaderTrusted(NSCorvane::IPemCorvaneReader** ppReader,
                                               const char* pcszSource, uint32_t uVersion,
                                               const char* pcszTrustedKeys, uint32_t uFlags);

    // Whether the reader's version was verified, and by which key.
    // pState->uStructSize must be set. Any thread.
    CORVANE_API bool g_GetCorvaneTrustState(NSCorvane::IPemCorvaneReader* piReader,
                                            NSCorvane::CORVANE_TRUST_STATE* pState);
}

using PFN_g_InitCorvaneManager = bool (*)(NSCorvane::IStreamFileSys*, NSCorvane::IStreamMemory*);
using PFN_g_UnInitCorvaneManager = bool (*)();
using PFN_g_NewCorvaneReader = bool (*)(NSCorvane::IPemCorvaneReader**, const char*, uint32_t);
using PFN_g_NewCorvaneReaderByConfig = bool (*)(NSCorvane::IPemCorvaneReader**, const char*, uint32_t);
using PFN_g_NewCorvaneListReaderByConfig = bool (*)(NSCorvane::IPemCorvaneReader**, const char*, uint32_t);
using PFN_g_NewCorvanePacker = bool (*)(NSCorvane::IPemCorvanePacker**);
using PFN_g_SetCorvanePackerFlags = bool (*)(NSCorvane::IPemCorvanePacker*, uint32_t);
using PFN_g_SetCorvanePackerNotes = bool (*)(NSCorvane::IPemCorvanePacker*, NSCorvane::PFN_CorvanePackNote,
                                             void*);
using PFN_g_GetCorvanePackSummary = bool (*)(NSCorvane::IPemCorvanePacker*, NSCorvane::CORVANE_PACK_SUMMARY*);
using PFN_g_GetCorvaneTransferCounts = bool (*)(NSCorvane::IPemCorvaneReader*,
                                                NSCorvane::CORVANE_TRANSFER_COUNTS*);
using PFN_g_SetCorvaneLogPath = bool (*)(const char*);
using PFN_g_GetCorvaneLastFailure = bool (*)(char*, uint32_t);
using PFN_g_PlanCorvaneFetch = bool (*)(NSCorvane::IPemCorvaneReader*, const char* const*, uint32_t,
                                        uint32_t);
using PFN_g_GetCorvaneFetchProgress = bool (*)(NSCorvane::IPemCorvaneReader*,
                                               NSCorvane::CORVANE_FETCH_PROGRESS*);
using PFN_g_EndCorvaneFetch = bool (*)(NSCorvane::IPemCorvaneReader*);
using PFN_g_NextCorvaneFetchArrival = int (*)(NSCorvane::IPemCorvaneReader*, uint32_t*, uint32_t);
using PFN_g_ResetCorvaneSources = bool (*)();
using PFN_g_FeedCorvaneContextHash = bool (*)(uint64_t*, const void*, uint32_t, uint64_t*);
using PFN_g_CreateCorvaneKey = bool (*)(const char*, char*, uint32_t);
using PFN_g_SignCorvaneVersion = bool (*)(const char*, uint32_t, const char*, uint32_t, uint32_t);
using PFN_g_NewCorvaneReaderTrusted = bool (*)(NSCorvane::IPemCorvaneReader**, const char*, uint32_t,
                                               const char*, uint32_t);
using PFN_g_GetCorvaneTrustState = bool (*)(NSCorvane::IPemCorvaneReader*, NSCorvane::CORVANE_TRUST_STATE*);
