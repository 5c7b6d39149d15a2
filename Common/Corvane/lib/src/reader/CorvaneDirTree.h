// SPDX-License-Identifier: MIT
// Parsing and walking the directory tree text of a version: one line per
// directory, "<key>\tD:<sub>\tF:<file>...", keys strictly ascending.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace NSCorvaneReader
{

using DirHashLine = std::pair<uint64_t, uint64_t>; // (directory key, line index)

// The key before the first tab; false when it is not a complete decimal u64.
bool ParseDirLineHash(const std::string& strLine, uint64_t* puHash);
// Keys of every parsable line in order; false when they do not increase strictly.
bool BuildDirHashLineMap(const std::vector<std::string>& vecLine, std::vector<DirHashLine>& vecDirHashLine);
// Line index of a directory key, or false.
bool FindDirLine(const std::vector<DirHashLine>& vecDirHashLine, uint64_t uKey, uint64_t* puLine);
// A name of the tree is a single safe path component.
bool IsSafeDirEntryName(const std::string& strName);
// Appends "dir/name" of each F: token to pFiles and of each D: token to pSubDirs (either may be null).
// Unsafe names are skipped with an error-log record.
bool ParseDirEntries(const std::string& strLine, const std::string& strDirPath,
                     std::vector<std::string>* pFiles, std::vector<std::string>* pSubDirs);
// Every file below strDirPath, appended in no order and possibly more than once
// (see SortUniquePaths); each directory line is visited once, so cycles end.
// vecVisitedLine marks the lines seen (sized to vecLine on first use). Walks
// without recursion, in time linear in the tree text and the paths listed; a
// directory path longer than any file system opens (32767 bytes) fails the walk.
bool CollectDirFilesRecursive(const std::vector<std::string>& vecLine,
                              const std::vector<DirHashLine>& vecDirHashLine, const std::string& strDirPath,
                              std::vector<std::string>& vecFilePath, std::vector<uint8_t>& vecVisitedLine);
// Sorted, each path once: what the listings hand out.
void SortUniquePaths(std::vector<std::string>& vecPath);

} // namespace NSCorvaneReader
