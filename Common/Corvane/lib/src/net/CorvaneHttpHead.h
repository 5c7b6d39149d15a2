// SPDX-License-Identifier: MIT
// The head of an HTTP response, line by line as libcurl hands it over, and the
// judgement of a response to a single-part Range request. Pure functions over
// text: no I/O, no locks, safe on any thread, and fuzzed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace NSCorvaneNet
{

struct HttpResponseHead
{
    long nStatus = 0;
    std::string strStatusText;
    bool bHeadersSeen = false; // the blank line after the headers arrived
    bool bHasLength = false;
    uint64_t uLength = 0; // "Content-Length"
    bool bBadLength = false;
    std::string strBadLength; // the refused value, cut to 64 bytes
    bool bHasRange = false;   // a "Content-Range" that parsed
    bool bBadRange = false;   // a "Content-Range" that did not
    uint64_t uRangeFirst = 0;
    uint64_t uRangeLast = 0;
    std::string strRange; // the value as sent, cut to 64 bytes

    // Takes one header line (with or without its line end). A status line
    // starts a new head (after "100 Continue" and the like). False when the
    // transfer must stop: a Content-Length that is not a plain decimal number.
    bool AddLine(const char* pcszLine, size_t uLen);
};

// A decimal u64 and nothing else (no sign, no spaces inside, no overflow).
bool ParseContentLength(const std::string& strValue, uint64_t* puOut);

// "bytes FIRST-LAST/TOTAL" or "bytes FIRST-LAST/*", FIRST <= LAST, LAST < TOTAL.
bool ParseContentRange(const std::string& strValue, uint64_t* puFirst, uint64_t* puLast);

enum class RangeVerdict
{
    Partial,        // 206 for exactly the bytes asked: read the body
    WholeBody,      // 200: the server ignores ranges
    NotSatisfiable, // 416: the range lies outside the file as the server has it
    Missing,        // 404
    Refused,        // anything else, strWhy says what
};

// Judges a complete head against the request for uLength bytes at uOffset.
// A 206 must name exactly that range and, when it gives a length, exactly
// that length; a multi-part answer has no Content-Range and is refused.
RangeVerdict JudgeRangeHead(const HttpResponseHead& head, uint64_t uOffset, uint64_t uLength,
                            std::string* pstrWhy);

} // namespace NSCorvaneNet
