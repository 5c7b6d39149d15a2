// SPDX-License-Identifier: MIT
// Whole-file reads for the builder: source files and staged packages.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace NSCorvane
{

enum class ReadWholeResult
{
    Ok,
    OpenFailed, // missing or not openable
    TooLarge,   // more than uMaxSize bytes
    ReadFailed,
};

// Reads the whole file into vecOut (replaced).
ReadWholeResult ReadWholeFile(const std::string& strPath, std::vector<uint8_t>& vecOut, uint64_t uMaxSize);

} // namespace NSCorvane
