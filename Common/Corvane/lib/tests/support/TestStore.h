// SPDX-License-Identifier: MIT
// Writes small package stores for tests through the library's own format
// writers, so reader tests do not depend on the store builder.
#pragma once

#include <Corvane/CorvaneRecords.h>
#include <Corvane/IPemCorvaneReader.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace CorvaneTest
{

struct TestStoreVersion
{
    uint32_t uVersion = 1;
    // Normalised store path -> content; written into this version's packages.
    std::map<std::string, std::string> mapFiles;
    // Normalised store path -> element of an earlier version to keep pointing at.
    std::map<std::string, NSCorvane::CORVANE_IDX_ELEMENT> mapKept;
    uint32_t uFilesPerPackage = 3;
    int nCompressLevel = 3;
    std::string strReleaseText = "test release";
    bool bWriteLastVersion = true;
};

struct TestStoreResult
{
    std::vector<NSCorvane::CORVANE_IDX_ELEMENT> vecElement; // sorted by name hash
    std::map<std::string, NSCorvane::CORVANE_IDX_ELEMENT> mapElement;
    std::vector<std::string> vecPackage; // package paths written for this version
};

// The lines of a string list, which is released; empty for null.
std::vector<std::string> Lines(NSCorvane::IStringList* pList);

// Writes one version below strRoot; false (with a test failure) on any error.
bool WriteTestStoreVersion(const std::string& strRoot, const TestStoreVersion& version,
                           TestStoreResult* pResult);

// The directory tree text of a set of store paths, as the builder writes it.
std::string BuildDirTreeText(const std::vector<std::string>& vecPaths);

// A hashed + compressed file at strRoot/strRel holding strContent.
bool WriteCompressedFile(const std::string& strRoot, const std::string& strRel,
                         const std::string& strContent);
// A hashed file (not compressed) holding raw data.
bool WriteHashedRaw(const std::string& strPath, const std::string& strData);

} // namespace CorvaneTest
