// SPDX-License-Identifier: MIT
// A local directory as a file system. Open and Exists are safe from many threads.
#pragma once

#include <Corvane/CorvaneStream.h>

#include <cstddef>
#include <string>

namespace NSCorvane
{

class PemStreamFileSysImpl final : public IStreamFileSys
{
public:
    static constexpr size_t kMaxRootLength = 259;

    // A file system rooted at pcszRoot (null or empty: paths are used as given).
    // Null, with a logged failure, when the root is longer than kMaxRootLength.
    static PemStreamFileSysImpl* Create(const char* pcszRoot);

    void Release() override;
    // root + "/" + path, unless the root is empty or the path is absolute (has a ':'
    // or starts with '/'). The option is not used.
    IFile* Open(const char* pcszPath, int nOption) override;
    bool Exists(const char* pcszPath, int nOption) override;
    const char* GetRootDir() override { return m_szRoot; }

protected:
    PemStreamFileSysImpl() = default;

private:
    // False when the composed path cannot be built (out of memory).
    bool FullPath(const char* pcszPath, std::string& strOut) const;

    char m_szRoot[kMaxRootLength + 1] = {};
};

} // namespace NSCorvane
