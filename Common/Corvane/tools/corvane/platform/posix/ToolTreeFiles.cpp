// SPDX-License-Identifier: MIT
#include "platform/ToolTreeFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

namespace CorvaneToolPlatform
{

namespace
{

std::string ErrnoText(int nError)
{
    return std::strerror(nError);
}

// Closes a descriptor on every way out.
class ScopedFd
{
public:
    explicit ScopedFd(int nFd) : m_nFd(nFd) {}
    ~ScopedFd()
    {
        if (m_nFd >= 0)
        {
            ::close(m_nFd);
        }
    }
    ScopedFd(const ScopedFd&) = delete;
    ScopedFd& operator=(const ScopedFd&) = delete;
    int Get() const { return m_nFd; }

private:
    int m_nFd;
};

void Classify(int nDir, const char* pcszName, TreeItem& item)
{
    struct stat st;
    if (::fstatat(nDir, pcszName, &st, AT_SYMLINK_NOFOLLOW) != 0)
    {
        return; // gone since it was listed: kOther
    }
    item.bLink = S_ISLNK(st.st_mode);
    if (item.bLink && ::fstatat(nDir, pcszName, &st, 0) != 0)
    {
        return; // a link to nothing
    }
    if (S_ISREG(st.st_mode))
    {
        item.kind = TreeItemKind::kFile;
        item.uSize = static_cast<uint64_t>(st.st_size);
    }
    else if (S_ISDIR(st.st_mode))
    {
        item.kind = TreeItemKind::kDirectory;
    }
}

} // namespace

bool ListTreeDirectory(const std::string& strDir, std::vector<TreeItem>& vecItems, TreeDirId& id,
                       std::string& strError)
{
    vecItems.clear();
    DIR* pDir = ::opendir(strDir.c_str());
    if (!pDir)
    {
        strError = ErrnoText(errno);
        return false;
    }
    struct stat st;
    if (::fstat(::dirfd(pDir), &st) != 0)
    {
        strError = ErrnoText(errno);
        ::closedir(pDir);
        return false;
    }
    id.uDevice = static_cast<uint64_t>(st.st_dev);
    id.uNode = static_cast<uint64_t>(st.st_ino);
    bool bOk = true;
    try
    {
        for (;;)
        {
            errno = 0;
            const struct dirent* pEntry = ::readdir(pDir);
            if (!pEntry)
            {
                if (errno != 0)
                {
                    strError = ErrnoText(errno);
                    bOk = false;
                }
                break;
            }
            if (std::strcmp(pEntry->d_name, ".") == 0 || std::strcmp(pEntry->d_name, "..") == 0)
            {
                continue;
            }
            TreeItem item;
            item.strName = pEntry->d_name;
            Classify(::dirfd(pDir), pEntry->d_name, item);
            vecItems.push_back(std::move(item));
        }
    }
    catch (const std::bad_alloc&)
    {
        strError = "out of memory";
        bOk = false;
    }
    ::closedir(pDir);
    return bOk;
}

bool ReadWholeFile(const std::string& strPath, std::vector<unsigned char>& vecData, std::string& strError)
{
    vecData.clear();
    // O_NONBLOCK: a file swapped for a pipe since it was listed must not hang the run.
    const ScopedFd fd(::open(strPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat st;
    if (fd.Get() < 0 || ::fstat(fd.Get(), &st) != 0)
    {
        strError = ErrnoText(errno);
        return false;
    }
    if (!S_ISREG(st.st_mode))
    {
        strError = "not a regular file";
        return false;
    }
    try
    {
        vecData.resize(static_cast<size_t>(st.st_size));
        size_t uDone = 0;
        // Read to the end, not to the size seen: a file that grew is read whole.
        for (;;)
        {
            if (uDone == vecData.size())
            {
                vecData.resize(vecData.size() + 65536);
            }
            const ssize_t nRead = ::read(fd.Get(), vecData.data() + uDone, vecData.size() - uDone);
            if (nRead < 0 && errno == EINTR)
            {
                continue;
            }
            if (nRead < 0)
            {
                strError = ErrnoText(errno);
                return false;
            }
            if (nRead == 0)
            {
                break;
            }
            uDone += static_cast<size_t>(nRead);
        }
        vecData.resize(uDone);
    }
    catch (const std::bad_alloc&)
    {
        strError = "out of memory";
        return false;
    }
    return true;
}

} // namespace CorvaneToolPlatform
