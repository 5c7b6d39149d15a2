// SPDX-License-Identifier: MIT
// Character classes of ASCII alone. The <cctype> functions follow the process
// locale, which the host program sets from the environment: under a Turkish
// locale 'I' does not lower to 'i', under a Latin-1 one the bytes of UTF-8
// names change. Store paths, their hashes and protocol text must not.
#pragma once

namespace CorvaneUtil
{

constexpr char AsciiToLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr bool IsAsciiSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

constexpr bool IsAsciiHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

} // namespace CorvaneUtil
