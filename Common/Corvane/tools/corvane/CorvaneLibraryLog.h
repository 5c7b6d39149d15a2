// SPDX-License-Identifier: MIT
// What the library wrote to its log ("PemCorvane.log", in the current
// directory) during one call, so a failure can say why on the terminal.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class LibraryLogMark
{
public:
    // Marks the log's end now; a log that does not exist yet counts as empty.
    LibraryLogMark();
    // The conditions of the first failure recorded after the mark: the first
    // record and every later one from the same check (one check may name
    // several offenders). Empty when nothing was recorded or the log cannot
    // be read.
    std::vector<std::string> FirstFailure() const;

private:
    uint64_t m_uOffset = 0;
};
