// SPDX-License-Identifier: MIT
#include "CorvaneNoRange.h"

#include <rapidjson/document.h>
#include <rapidjson/error/en.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <system_error>

NoRangeConfig::~NoRangeConfig()
{
    if (!m_strPath.empty())
    {
        std::remove(m_strPath.c_str());
    }
}

bool NoRangeConfig::Write(const std::string& strConfigFile, std::string& strError)
{
    std::ifstream in(strConfigFile, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    if (!in)
    {
        strError = "cannot read '" + strConfigFile + "'";
        return false;
    }
    rapidjson::Document doc;
    doc.Parse(ss.str().c_str());
    if (doc.HasParseError() || !doc.IsObject())
    {
        strError = "'" + strConfigFile + "' is not a JSON object: " +
                   (doc.HasParseError() ? rapidjson::GetParseError_En(doc.GetParseError()) : "");
        return false;
    }
    auto itRemote = doc.FindMember("remote");
    if (itRemote != doc.MemberEnd() && itRemote->value.IsObject())
    {
        for (auto& entry : itRemote->value.GetObject())
        {
            if (!entry.value.IsObject())
            {
                continue;
            }
            entry.value.RemoveMember("range");
            entry.value.AddMember("range", 0, doc.GetAllocator());
        }
    }
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    doc.Accept(writer);

    std::error_code ec;
    const std::filesystem::path dir = std::filesystem::temp_directory_path(ec);
    std::random_device random;
    for (int nTry = 0; nTry < 16 && m_strPath.empty(); ++nTry)
    {
        const std::string strPath =
            (dir / ("corvane-norange-" + std::to_string(random()) + std::to_string(random()) + ".cfg"))
                .string();
        // "x": never over a file that is there already.
        if (std::FILE* pFile = std::fopen(strPath.c_str(), "wbx"))
        {
            const bool bWritten =
                std::fwrite(buffer.GetString(), 1, buffer.GetSize(), pFile) == buffer.GetSize();
            const bool bClosed = std::fclose(pFile) == 0;
            m_strPath = strPath;
            if (!bWritten || !bClosed)
            {
                strError = "cannot write '" + strPath + "'";
                return false;
            }
        }
    }
    if (m_strPath.empty())
    {
        strError = "cannot create a configuration file in '" + dir.string() + "'";
        return false;
    }
    return true;
}
