// SPDX-License-Identifier: MIT
// UTF-8 (falling back to the ANSI code page) to UTF-16 for the wide Windows calls.
#pragma once

#include <string>

namespace CorvanePlatform
{

bool ToWide(std::wstring& strOut, const char* pcszPath);

} // namespace CorvanePlatform
