// SPDX-License-Identifier: MIT
// Command-line arguments of one corvane command: options declared by the
// command, everything else positional. "--name value" and "--name=value" are
// both accepted; "--" ends the options.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct OptionSpec
{
    const char* pszName; // with its dashes: "--root", "-r"
    bool bValue;         // takes a value
    bool bRepeat;        // may be given more than once
};

class ParsedArgs
{
public:
    bool Has(const std::string& strName) const { return m_mapValues.count(strName) != 0; }
    // The (last) value of an option, or strDefault when it was not given.
    std::string Value(const std::string& strName, const std::string& strDefault = std::string()) const;
    // Every value of a repeatable option, in command-line order.
    const std::vector<std::string>& Values(const std::string& strName) const;
    const std::vector<std::string>& Positional() const { return m_vecPositional; }

private:
    friend bool ParseArgs(const std::vector<std::string>&, const std::vector<OptionSpec>&, ParsedArgs&,
                          std::string&);
    std::map<std::string, std::vector<std::string>> m_mapValues;
    std::vector<std::string> m_vecPositional;
};

// False with a one-line reason on an unknown option, a missing value, a value
// given to a flag or an option given twice that may appear once.
bool ParseArgs(const std::vector<std::string>& vecArgs, const std::vector<OptionSpec>& vecSpecs,
               ParsedArgs& args, std::string& strError);

// Strict decimal numbers: digits only, no sign, no overflow.
bool ParseUInt64(const std::string& strText, uint64_t& uValue);
bool ParseUInt32(const std::string& strText, uint32_t& uValue);
