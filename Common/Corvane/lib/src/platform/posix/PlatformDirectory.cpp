// SPDX-License-Identifier: MIT
#include "platform/PlatformDirectory.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

namespace CorvanePlatform
{

namespace
{

void FillStat(DirectoryItem& item, const struct stat& st)
{
    item.stat.uSize = static_cast<uint64_t>(st.st_size);
    item.stat.nWriteTimeNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    item.stat.nChangeTimeNs = static_cast<int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    item.stat.id.uDevice = static_cast<uint64_t>(st.st_dev);
    item.stat.id.uNode = static_cast<uint64_t>(st.st_ino);
    item.stat.bDirectory = S_ISDIR(st.st_mode);
    item.stat.bRegular = S_ISREG(st.st_mode);
    item.stat.bLink = item.bLink;
    item.bHasStat = true;
}

OtherKind KindOfMode(mode_t uMode)
{
    return S_ISFIFO(uMode)                    ? OtherKind::Pipe
           : S_ISSOCK(uMode)                  ? OtherKind::Socket
           : S_ISCHR(uMode) || S_ISBLK(uMode) ? OtherKind::Device
                                              : OtherKind::OtherLink;
}

// Classifies one entry; false only when it vanished while being listed.
bool ClassifyEntry(int nDir, const struct dirent64* pEntry, DirectoryItem& item)
{
    struct stat st;
    unsigned char uType = pEntry->d_type;
    if (DT_UNKNOWN == uType)
    {
        // Some file systems give no type: ask without following links.
        if (0 != ::fstatat(nDir, pEntry->d_name, &st, AT_SYMLINK_NOFOLLOW))
        {
            return false;
        }
        uType = S_ISREG(st.st_mode)   ? DT_REG
                : S_ISDIR(st.st_mode) ? DT_DIR
                : S_ISLNK(st.st_mode) ? DT_LNK
                                      : DT_FIFO;
        if (DT_FIFO == uType)
        {
            item.eOther = KindOfMode(st.st_mode);
            return true;
        }
    }
    switch (uType)
    {
    case DT_REG:
        item.bFile = true;
        // Relative to the open directory: no walk of the whole path again.
        if (0 == ::fstatat(nDir, pEntry->d_name, &st, AT_SYMLINK_NOFOLLOW) && S_ISREG(st.st_mode))
        {
            FillStat(item, st);
        }
        return true;
    case DT_DIR:
        item.bDirectory = true;
        return true;
    case DT_LNK:
        item.bLink = true;
        if (0 != ::fstatat(nDir, pEntry->d_name, &st, 0))
        {
            item.eOther = OtherKind::DanglingLink;
        }
        else if (S_ISDIR(st.st_mode))
        {
            item.bDirectory = true;
        }
        else if (S_ISREG(st.st_mode))
        {
            item.eOther = OtherKind::FileLink;
            FillStat(item, st);
        }
        else
        {
            item.eOther = OtherKind::OtherLink;
        }
        return true;
    case DT_FIFO:
        item.eOther = OtherKind::Pipe;
        return true;
    case DT_SOCK:
        item.eOther = OtherKind::Socket;
        return true;
    default:
        item.eOther = OtherKind::Device;
        return true;
    }
}

} // namespace

class DirectoryHandle
{
public:
    explicit DirectoryHandle(int nFd) : m_nFd(nFd) {}
    ~DirectoryHandle() { ::close(m_nFd); }
    DirectoryHandle(const DirectoryHandle&) = delete;
    DirectoryHandle& operator=(const DirectoryHandle&) = delete;
    int Fd() const { return m_nFd; }

private:
    int m_nFd;
};

namespace
{

// Lists the open directory; nDir stays open.
bool ListOpenDirectory(int nDir, DirectoryListing* pListing)
{
    pListing->vecItems.clear();
    struct stat st;
    if (0 != ::fstat(nDir, &st))
    {
        return false;
    }
    pListing->id.uDevice = static_cast<uint64_t>(st.st_dev);
    pListing->id.uNode = static_cast<uint64_t>(st.st_ino);
    // getdents64 straight into a buffer: fdopendir and readdir would add an
    // fstat and two fcntl calls per directory, a third of an unchanged build's walk.
    alignas(8) char aBuffer[32 * 1024];
    bool bOk = true;
    try
    {
        for (;;)
        {
            const ssize_t nRead = ::getdents64(nDir, aBuffer, sizeof(aBuffer));
            if (nRead <= 0)
            {
                bOk = 0 == nRead;
                break;
            }
            for (ssize_t nAt = 0; nAt < nRead;)
            {
                const auto* pEntry = reinterpret_cast<const struct dirent64*>(aBuffer + nAt);
                nAt += pEntry->d_reclen;
                if (0 == std::strcmp(pEntry->d_name, ".") || 0 == std::strcmp(pEntry->d_name, ".."))
                {
                    continue;
                }
                DirectoryItem item;
                if (ClassifyEntry(nDir, pEntry, item))
                {
                    item.strName = pEntry->d_name;
                    pListing->vecItems.push_back(std::move(item));
                }
            }
        }
    }
    catch (const std::bad_alloc&)
    {
        bOk = false;
    }
    if (!bOk)
    {
        pListing->vecItems.clear();
    }
    return bOk;
}

bool ListAndKeep(int nDir, DirectoryListing* pListing, DirectoryHandlePtr* pKeep)
{
    if (nDir < 0)
    {
        return false;
    }
    const bool bOk = ListOpenDirectory(nDir, pListing);
    if (bOk && pKeep)
    {
        try
        {
            *pKeep = std::make_shared<DirectoryHandle>(nDir);
            return true;
        }
        catch (const std::bad_alloc&)
        {
            // Kept nothing: the directories in it are opened by path.
        }
    }
    ::close(nDir);
    return bOk;
}

} // namespace

bool ListDirectory(const char* pcszDir, DirectoryListing* pListing)
{
    if (!pcszDir || !*pcszDir || !pListing)
    {
        return false;
    }
    pListing->vecItems.clear();
    return ListAndKeep(::open(pcszDir, O_RDONLY | O_DIRECTORY | O_CLOEXEC), pListing, nullptr);
}

bool ListDirectoryIn(const DirectoryHandlePtr& pParent, const char* pcszName, const char* pcszDir,
                     DirectoryListing* pListing, DirectoryHandlePtr* pKeep)
{
    if (!pcszDir || !*pcszDir || !pListing)
    {
        return false;
    }
    pListing->vecItems.clear();
    if (pKeep)
    {
        pKeep->reset();
    }
    // Relative to the open parent: one name looked up, not every component of the path.
    const int nDir = (pParent && pcszName && *pcszName)
                         ? ::openat(pParent->Fd(), pcszName, O_RDONLY | O_DIRECTORY | O_CLOEXEC)
                         : ::open(pcszDir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    return ListAndKeep(nDir, pListing, pKeep);
}

} // namespace CorvanePlatform
