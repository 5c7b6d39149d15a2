// SPDX-License-Identifier: MIT
// A real temporary directory, removed with everything in it when the object dies.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace CorvaneTest
{

class TempDir
{
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return m_strPath; }
    // Path() + "/" + rel
    std::string operator/(const std::string& rel) const { return m_strPath + "/" + rel; }

private:
    std::string m_strPath;
};

// Whole-file helpers for tests; they throw nothing and fail the current test on error.
bool WriteFileBytes(const std::string& path, const void* data, size_t size);
bool WriteFileText(const std::string& path, const std::string& text);
std::vector<unsigned char> ReadFileBytes(const std::string& path);
std::string ReadFileText(const std::string& path);
bool FileExists(const std::string& path);
// Every regular file below a directory: path relative to it ('/'-separated) -> bytes.
std::map<std::string, std::vector<unsigned char>> ReadTree(const std::string& dir);
// True when std::filesystem can make a symbolic link to a directory here
// (mingw-w64's libstdc++ cannot: "Function not implemented").
bool CanMakeDirectoryLinks();
// Names (not paths) of the entries of a directory, sorted.
std::vector<std::string> ListDir(const std::string& dir);

} // namespace CorvaneTest
