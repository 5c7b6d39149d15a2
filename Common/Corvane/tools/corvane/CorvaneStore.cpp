// SPDX-License-Identifier: MIT
#include "CorvaneStore.h"

#include "CorvaneNoRange.h"

#include "platform/ToolPlatform.h"

#include <Corvane/CorvaneRecords.h>

const std::vector<OptionSpec>& StoreSourceOptions()
{
    static const std::vector<OptionSpec> s_vecOptions = {
        {"--version", true, false}, {"--config", true, false}, {"--no-range", false, false}};
    return s_vecOptions;
}

size_t StoreArgCount(const ParsedArgs& args)
{
    return args.Has("--config") ? 0 : 1;
}

bool ReadStoreSource(const char* pcszCommand, const ParsedArgs& args, StoreSource& source)
{
    if (args.Has("--config"))
    {
        source.strConfigFile = args.Value("--config");
        if (source.strConfigFile.empty())
        {
            FailUsage(pcszCommand, "--config needs a configuration file");
            return false;
        }
    }
    else if (args.Positional().empty() || args.Positional().front().empty())
    {
        FailUsage(pcszCommand, "missing STORE");
        return false;
    }
    else
    {
        source.strStoreDir = args.Positional().front();
    }
    source.bNoRange = args.Has("--no-range");
    if (source.bNoRange && source.strConfigFile.empty())
    {
        FailUsage(pcszCommand, "--no-range goes with --config FILE");
        return false;
    }
    source.uVersion = NSCorvane::_INVALID_VER;
    if (args.Has("--version"))
    {
        const std::string strVersion = args.Value("--version");
        if (!ParseUInt32(strVersion, source.uVersion) || source.uVersion == NSCorvane::_INVALID_VER)
        {
            FailUsage(pcszCommand, "--version needs a version number, not '" + strVersion + "'");
            return false;
        }
    }
    return true;
}

bool OpenStoreReader(ToolContext& ctx, const StoreSource& source, ReaderPtr& pReader)
{
    if (!source.strConfigFile.empty())
    {
        CorvaneLibrary* pLibrary = ctx.Library();
        if (!pLibrary)
        {
            return false;
        }
        // The configuration is read once, while the reader is made.
        NoRangeConfig noRange;
        std::string strError;
        if (source.bNoRange && !noRange.Write(source.strConfigFile, strError))
        {
            Fail("--no-range: " + strError);
            return false;
        }
        NSCorvane::IPemCorvaneReader* pRaw = nullptr;
        const std::string strConfig = source.bNoRange ? noRange.Path() : source.strConfigFile;
        const bool bOpened =
            source.strTrustedKeys.empty()
                ? pLibrary->NewReaderByConfig(strConfig, source.uVersion, &pRaw)
                : pLibrary->NewReaderTrusted(strConfig, true, source.uVersion, source.strTrustedKeys, &pRaw);
        if (!bOpened || !pRaw)
        {
            FailInLibrary("cannot open " + DescribeVersion(source) + " of the store configured in '" +
                          source.strConfigFile + "'");
            return false;
        }
        pReader.reset(pRaw);
        return true;
    }
    if (!CorvaneToolPlatform::IsDirectory(source.strStoreDir))
    {
        Fail("store '" + source.strStoreDir + "' is not a directory");
        return false;
    }
    CorvaneLibrary* pLibrary = ctx.Library();
    if (!pLibrary)
    {
        return false;
    }
    NSCorvane::IPemCorvaneReader* pRaw = nullptr;
    const bool bOpened = source.strTrustedKeys.empty()
                             ? pLibrary->NewReader(source.strStoreDir, source.uVersion, &pRaw)
                             : pLibrary->NewReaderTrusted(source.strStoreDir, false, source.uVersion,
                                                          source.strTrustedKeys, &pRaw);
    if (!bOpened || !pRaw)
    {
        FailInLibrary("cannot open " + DescribeVersion(source) + " of store '" + source.strStoreDir + "'");
        return false;
    }
    pReader.reset(pRaw);
    return true;
}

std::string DescribeVersion(const StoreSource& source)
{
    return source.uVersion == NSCorvane::_INVALID_VER ? std::string("the latest version")
                                                      : "version " + std::to_string(source.uVersion);
}

std::string ToStorePath(const std::string& strPath)
{
    std::string strOut;
    strOut.reserve(strPath.size());
    for (char c : strPath)
    {
        if (c == '\\')
        {
            c = '/';
        }
        else if (c >= 'A' && c <= 'Z')
        {
            c = static_cast<char>(c - 'A' + 'a');
        }
        // Collapse repeated separators: the store never holds empty components.
        if (c == '/' && !strOut.empty() && strOut.back() == '/')
        {
            continue;
        }
        strOut += c;
    }
    while (strOut.compare(0, 2, "./") == 0)
    {
        strOut.erase(0, 2);
    }
    while (!strOut.empty() && strOut.front() == '/')
    {
        strOut.erase(0, 1);
    }
    while (!strOut.empty() && strOut.back() == '/')
    {
        strOut.pop_back();
    }
    if (strOut == ".")
    {
        strOut.clear();
    }
    return strOut;
}
