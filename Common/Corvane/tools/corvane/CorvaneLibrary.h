// SPDX-License-Identifier: MIT
// The store library, loaded at run time from the tool's own directory and set
// up once. The tool reaches the library through these entry points only.
#pragma once

#include <Corvane/PemCorvaneX64.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class CorvaneLibrary
{
public:
    CorvaneLibrary() = default;
    // Tears the library down (when set up) and unloads it. Every reader and
    // packer must be released before.
    ~CorvaneLibrary();
    CorvaneLibrary(const CorvaneLibrary&) = delete;
    CorvaneLibrary& operator=(const CorvaneLibrary&) = delete;

    // Where the library's log goes; takes effect at Load. Empty: the library's
    // default, "PemCorvane.log" in the current directory.
    void SetLogPath(const std::string& strPath) { m_strLogPath = strPath; }
    // The log file the library writes, as far as this library lets it be placed.
    std::string LogPath() const;

    // Loads the library beside the executable, finds the entry points and sets
    // it up. False with a one-line reason in strError.
    bool Load(std::string& strError);

    // The system's reason for the failure just seen ("cannot create X: ..."),
    // taken from the library, which then forgets it; empty when it has none.
    std::string TakeLastFailure();

    bool NewReader(const std::string& strStoreDir, uint32_t uVersion,
                   NSCorvane::IPemCorvaneReader** ppReader);
    // A reader of a remote store through its JSON configuration file; false when
    // this library has no such entry point, or it refuses.
    bool NewReaderByConfig(const std::string& strConfigFile, uint32_t uVersion,
                           NSCorvane::IPemCorvaneReader** ppReader);
    // False when this library has no packer entry point, or it refuses.
    bool NewPacker(NSCorvane::IPemCorvanePacker** ppPacker);
    bool HasPacker() const { return m_pfnNewPacker != nullptr; }
    // The packer's flags, notes and summary; false when this library lacks them.
    bool HasPackerExtras() const { return m_pfnSetPackerFlags && m_pfnSetPackerNotes && m_pfnGetPackSummary; }
    bool SetPackerFlags(NSCorvane::IPemCorvanePacker* pPacker, uint32_t uFlags);
    bool SetPackerNotes(NSCorvane::IPemCorvanePacker* pPacker, NSCorvane::PFN_CorvanePackNote pfnNote,
                        void* pvContext);
    bool GetPackSummary(NSCorvane::IPemCorvanePacker* pPacker, NSCorvane::CORVANE_PACK_SUMMARY* pSummary);

    // Hands a fetch plan to the reader (g_PlanCorvaneFetch); false when this
    // library has none or refuses the plan.
    bool PlanFetch(NSCorvane::IPemCorvaneReader* pReader, const std::vector<std::string>& vecPaths,
                   uint32_t uFlags);
    // The plan's progress; false without the entry point.
    bool GetFetchProgress(NSCorvane::IPemCorvaneReader* pReader,
                          NSCorvane::CORVANE_FETCH_PROGRESS* pProgress);
    // Signed stores; false when this library lacks them, or refuses (the
    // reason is then in TakeLastFailure).
    bool HasSigning() const { return m_pfnCreateKey && m_pfnSignVersion && m_pfnNewReaderTrusted; }
    bool CreateKey(const std::string& strKeyFile, std::string& strKeyId);
    bool SignVersion(const std::string& strStoreDir, uint32_t uVersion, const std::string& strKeyFile,
                     uint32_t uExpireDays, uint32_t uLastVerDays);
    // strKeys: public key lines; bConfig: strSource is a configuration file.
    bool NewReaderTrusted(const std::string& strSource, bool bConfig, uint32_t uVersion,
                          const std::string& strKeys, NSCorvane::IPemCorvaneReader** ppReader);
    bool GetTrustState(NSCorvane::IPemCorvaneReader* pReader, NSCorvane::CORVANE_TRUST_STATE* pState);

private:
    void* m_hLibrary = nullptr;
    bool m_bInitialised = false;
    PFN_g_InitCorvaneManager m_pfnInit = nullptr;
    PFN_g_UnInitCorvaneManager m_pfnUnInit = nullptr;
    PFN_g_NewCorvaneReader m_pfnNewReader = nullptr;
    PFN_g_NewCorvanePacker m_pfnNewPacker = nullptr;
    PFN_g_NewCorvaneReaderByConfig m_pfnNewReaderByConfig = nullptr;
    PFN_g_SetCorvanePackerFlags m_pfnSetPackerFlags = nullptr;
    PFN_g_SetCorvanePackerNotes m_pfnSetPackerNotes = nullptr;
    PFN_g_GetCorvanePackSummary m_pfnGetPackSummary = nullptr;
    PFN_g_SetCorvaneLogPath m_pfnSetLogPath = nullptr;
    PFN_g_GetCorvaneLastFailure m_pfnGetLastFailure = nullptr;
    PFN_g_PlanCorvaneFetch m_pfnPlanFetch = nullptr;
    PFN_g_GetCorvaneFetchProgress m_pfnGetFetchProgress = nullptr;
    PFN_g_CreateCorvaneKey m_pfnCreateKey = nullptr;
    PFN_g_SignCorvaneVersion m_pfnSignVersion = nullptr;
    PFN_g_NewCorvaneReaderTrusted m_pfnNewReaderTrusted = nullptr;
    PFN_g_GetCorvaneTrustState m_pfnGetTrustState = nullptr;
    std::string m_strLogPath;
};

// Releases library objects through their own Release.
struct CorvaneReleaser
{
    void operator()(NSCorvane::IPemCorvaneReader* p) const { p->Release(); }
    void operator()(NSCorvane::IPemCorvanePacker* p) const { p->Release(); }
    void operator()(NSCorvane::IStringList* p) const { p->Release(); }
    void operator()(NSCorvane::IFile* p) const { p->Release(); }
};

using ReaderPtr = std::unique_ptr<NSCorvane::IPemCorvaneReader, CorvaneReleaser>;
using PackerPtr = std::unique_ptr<NSCorvane::IPemCorvanePacker, CorvaneReleaser>;
using StringListPtr = std::unique_ptr<NSCorvane::IStringList, CorvaneReleaser>;
using FilePtr = std::unique_ptr<NSCorvane::IFile, CorvaneReleaser>;

// Every byte of a file the reader opened, in order: its buffer at once, or
// read from the start piece by piece (a large file is decoded as it is read,
// and the library checks its content before it gives the last piece). False
// when the file cannot be read whole or fnPiece returns false.
bool ForEachPiece(NSCorvane::IFile& file, const std::function<bool(const void*, size_t)>& fnPiece);
