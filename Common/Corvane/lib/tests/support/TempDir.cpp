// SPDX-License-Identifier: MIT
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

namespace fs = std::filesystem;

namespace CorvaneTest
{

TempDir::TempDir()
{
    // A fresh name taken with create_directory, which fails on an existing
    // one, as mkdtemp does (and mkdtemp is POSIX only).
    static const char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device random;
    std::error_code ec;
    const fs::path base = fs::temp_directory_path(ec);
    for (int nTry = 0; nTry < 100 && m_strPath.empty(); ++nTry)
    {
        std::string strName = "corvane-test-";
        for (int i = 0; i < 6; ++i)
        {
            strName += kChars[random() % (sizeof(kChars) - 1)];
        }
        // Forward slashes throughout, as the tests join paths with '/'.
        const fs::path path = base / strName;
        if (fs::create_directory(path, ec))
        {
            m_strPath = path.generic_string();
        }
    }
    if (m_strPath.empty())
    {
        ADD_FAILURE() << "cannot create a temporary directory in " << base.string();
    }
}

TempDir::~TempDir()
{
    std::error_code ec;
    // Tests may leave read-only directories behind; give write permission back first.
    for (auto it = fs::recursive_directory_iterator(m_strPath, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
    {
        if (it->is_directory(ec) && !it->is_symlink(ec))
        {
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
        }
    }
    fs::permissions(m_strPath, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(m_strPath, ec);
}

bool WriteFileBytes(const std::string& path, const void* data, size_t size)
{
    std::error_code ec;
    fs::create_directories(fs::path(path).parent_path(), ec);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (size)
    {
        out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    out.close();
    EXPECT_TRUE(out.good()) << "cannot write " << path;
    return out.good();
}

bool WriteFileText(const std::string& path, const std::string& text)
{
    return WriteFileBytes(path, text.data(), text.size());
}

std::vector<unsigned char> ReadFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ReadFileText(const std::string& path)
{
    const std::vector<unsigned char> vec = ReadFileBytes(path);
    return std::string(vec.begin(), vec.end());
}

bool FileExists(const std::string& path)
{
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

std::map<std::string, std::vector<unsigned char>> ReadTree(const std::string& dir)
{
    std::map<std::string, std::vector<unsigned char>> map;
    for (const auto& entry : fs::recursive_directory_iterator(dir))
    {
        if (entry.is_regular_file())
        {
            map[fs::relative(entry.path(), dir).generic_string()] = ReadFileBytes(entry.path().string());
        }
    }
    return map;
}

bool CanMakeDirectoryLinks()
{
    TempDir dir;
    std::error_code ec;
    fs::create_directory(dir / "target", ec);
    fs::create_directory_symlink("target", dir / "link", ec);
    return !ec;
}

std::vector<std::string> ListDir(const std::string& dir)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (auto it = fs::directory_iterator(dir, ec); !ec && it != fs::directory_iterator(); it.increment(ec))
    {
        names.push_back(it->path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace CorvaneTest
