// SPDX-License-Identifier: MIT
// The hashed-file envelope (16-byte CORVANE_HASH_HEADER + data), the hashed and
// compressed files built on it, text lists and the data package check. These work
// on bytes in memory; opening and writing files is the caller's business.
#pragma once

#include <Corvane/CorvaneRecords.h>
#include <Corvane/CorvaneStream.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace NSCorvaneReader
{

// Package path of an element: "dat/v<ver>/<idx/10>/<idx>.dat". Always true.
bool IdxValue_2_Path(std::string& strOut, uint32_t uElemIdx, uint32_t uVer);
// "idx/_lastver" and "dat/v<ver>/<name>".
std::string LastVersionPath();
std::string VersionFilePath(uint32_t uVer, const char* pcszName);

// Checks magic, length and hash of a hashed + compressed file held in memory and
// decodes it into vecOut (replaced). Every failure is logged.
bool DecodeCompressedBinary(const void* pData, uint64_t uSize, std::vector<uint8_t>& vecOut);
// Splits at "\r\n"; a trailing fragment without "\r\n" is dropped.
void SplitTextLines(const uint8_t* pData, size_t uSize, std::vector<std::string>& vecLines);
// The bytes of a hashed + compressed file holding [pData, pData + uSize).
bool EncodeCompressedBinary(const void* pData, uint32_t uSize, std::vector<uint8_t>& vecOut);
// Every string followed by "\r\n".
std::string JoinTextLines(const std::set<std::string>& setLines);

// Last-version marker: 16-byte header with nDatLength 4, then the version (20 bytes).
std::vector<uint8_t> EncodeLastVersion(uint32_t uVer);
bool DecodeLastVersion(const void* pData, uint64_t uSize, uint32_t* puVer);

// Verifies a whole data package (magic, length, data-region hash); failures of
// length or hash are written to the log as plain lines.
bool CheckStreamDatFile(NSCorvane::IFile* pifData);
// The same check over a package already in memory.
bool CheckStreamDatBytes(const uint8_t* pbyData, uint32_t uSize);

} // namespace NSCorvaneReader
