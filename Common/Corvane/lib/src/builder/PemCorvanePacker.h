// SPDX-License-Identifier: MIT
// The packer behind IPemCorvanePacker: collects the pushed files of a source
// tree and builds one new store version from them.
#pragma once

#include "builder/PackerFileCollect.h"

#include <Corvane/IPemCorvanePacker.h>
#include <Corvane/PemCorvaneX64.h>

#include <memory>
#include <string>
#include <vector>

namespace NSCorvane
{

class PemCorvaneIdxBuilder;
class PemQueueTaskPool;

class PemCorvanePacker final : public IPemCorvanePacker
{
public:
    PemCorvanePacker();
    ~PemCorvanePacker() override;
    PemCorvanePacker(const PemCorvanePacker&) = delete;
    PemCorvanePacker& operator=(const PemCorvanePacker&) = delete;

    void Release() override;
    bool SetEnv(const char* pcszRootDir, const char* pcszExportDir, const CORVANE_PAK_OPTION* pOpt) override;
    bool Push(const char* pcszDir) override;
    bool PushFile(const char* pcszFile) override;
    bool Block(const char* pcszDir) override;
    bool Do() override;

    // Before SetEnv.
    bool SetFlags(uint32_t uFlags);
    void SetNotes(PFN_CorvanePackNote pfnNote, void* pvContext)
    {
        m_pfnNote = pfnNote;
        m_pvNoteContext = pvContext;
    }
    // After a successful Do.
    bool GetSummary(CORVANE_PACK_SUMMARY* pSummary) const;

    // For tests and tools inside the library: the builder of the last Do.
    PemCorvaneIdxBuilder* IdxBuilder() { return m_pkIdxBuilder.get(); }

private:
    bool _SetEnv(const char* pcszRootDir, const char* pcszExportDir, const CORVANE_PAK_OPTION* pOpt);
    bool _Push(const char* pcszDir);
    bool _PushFile(const char* pcszFile);
    bool _Block(const char* pcszDir);
    bool _Do();
    // Refuses or skips the entries that are not plain files; false to fail the build.
    bool _ScreenSpecialEntries(std::vector<std::vector<PackerFile>>& vecLists,
                               const PackerWalkExtras& extras);
    void _Note(uint32_t uNote, const std::string& strPath, const char* pcszDetail = nullptr) const;

    std::vector<PackEntry> m_vecPackInfo;
    std::vector<PackerPath> m_vecSingleFiles;
    std::unique_ptr<PemCorvaneIdxBuilder> m_pkIdxBuilder;
    std::unique_ptr<PemQueueTaskPool> m_pTaskPool;
    CORVANE_PAK_OPTION m_pakOpt;
    std::string m_strExportDir;
    PackerPath m_rootDir;
    PackerPath m_exportDir;
    // The files of the last Do. Kept until the packer goes: freeing tens of
    // thousands of paths is time the caller may spend elsewhere, for instance
    // by releasing the packer on a thread of its own.
    std::vector<std::vector<PackerFile>> m_vecAllListFiles;
    bool m_bDone = false;
    uint32_t m_uFlags = 0;
    PFN_CorvanePackNote m_pfnNote = nullptr;
    void* m_pvNoteContext = nullptr;
    CORVANE_PACK_SUMMARY m_summary;
};

} // namespace NSCorvane
