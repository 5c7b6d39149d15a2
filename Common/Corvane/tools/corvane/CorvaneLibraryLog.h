// SPDX-License-Identifier: MIT
// What the library wrote to its log during one call, so a failure can say why
// on the terminal in words, never in the library's source text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class LibraryLogMark
{
public:
    // Marks the end of the log at strPath now; a log that does not exist yet
    // counts as empty.
    explicit LibraryLogMark(std::string strPath);
    // The readable reasons of the first failure recorded after the mark: of
    // the first record and every later one from the same check (one check may
    // name several offenders), those that read as words for a person, each
    // once. Conditions that are source text are left out. Empty when nothing
    // readable was recorded or the log cannot be read.
    std::vector<std::string> FirstFailure() const;
    // True when the log holds anything written after the mark.
    bool HasNewLines() const;
    // Marks the end of the log anew.
    void Advance();
    const std::string& Path() const { return m_strPath; }

private:
    std::string m_strPath;
    uint64_t m_uOffset = 0;
};

// True for a recorded condition that reads as words ("not a regular file: x",
// "two files whose names differ only in case: ..."), false for one that is a
// piece of C++ ("CreateParentDirectories(strDatNam)", "!m_bFailed", "bReady").
bool IsReadableReason(const std::string& strCondition);
