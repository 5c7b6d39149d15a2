// SPDX-License-Identifier: MIT
// Opening a file to write into it at chosen offsets, keeping what it holds.
#pragma once

namespace CorvanePlatform
{

// Write-only, binary, created when missing, never truncated, other writers
// allowed: the packer's write lanes may each hold one package open. A
// descriptor for the FileSeek/FileWriteAll/FileClose functions of
// PlatformFile.h, or -1.
int FileOpenForUpdate(const char* pcszPath);

} // namespace CorvanePlatform
