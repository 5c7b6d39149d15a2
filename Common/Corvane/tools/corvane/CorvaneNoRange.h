// SPDX-License-Identifier: MIT
// --no-range: the reader is made from a copy of the configuration whose
// remote sources all say "range": 0, so that every file comes out of a whole,
// cached package (for comparing both ways of fetching).
#pragma once

#include <string>

class NoRangeConfig
{
public:
    NoRangeConfig() = default;
    ~NoRangeConfig(); // removes the copy
    NoRangeConfig(const NoRangeConfig&) = delete;
    NoRangeConfig& operator=(const NoRangeConfig&) = delete;

    // Writes the copy of strConfigFile into the temporary directory. False with
    // a one-line reason when the file cannot be read, parsed or written.
    bool Write(const std::string& strConfigFile, std::string& strError);
    const std::string& Path() const { return m_strPath; }

private:
    std::string m_strPath;
};
