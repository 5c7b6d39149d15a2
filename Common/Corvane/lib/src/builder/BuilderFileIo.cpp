// SPDX-License-Identifier: MIT
#include "builder/BuilderFileIo.h"

#include "common/CorvaneFailure.h"
#include "platform/PlatformError.h"
#include "platform/PlatformFile.h"

#include <new>

namespace NSCorvane
{

namespace
{

template <typename Buffer>
ReadWholeResult ReadWholeInto(const std::string& strPath, Buffer& vecOut, uint64_t uMaxSize)
{
    vecOut.clear();
    const int nFile = CorvanePlatform::FileOpen(strPath.c_str(), CorvanePlatform::FileMode::ReadShared);
    if (nFile < 0)
    {
        // Missing is for the caller to judge; refused is the system's answer to pass on.
        const int nError = CorvanePlatform::LastErrorCode();
        if (!CorvanePlatform::IsNotFoundError(nError))
        {
            CorvaneUtil::NoteSystemFailure(nError, "open", strPath);
        }
        return ReadWholeResult::OpenFailed;
    }
    ReadWholeResult eResult = ReadWholeResult::Ok;
    try
    {
        const int64_t nLength = CorvanePlatform::FileLength(nFile);
        if (nLength < 0)
        {
            eResult = ReadWholeResult::ReadFailed;
        }
        else if (static_cast<uint64_t>(nLength) > uMaxSize)
        {
            eResult = ReadWholeResult::TooLarge;
        }
        else
        {
            vecOut.resize(static_cast<size_t>(nLength));
            size_t uDone = 0;
            // The file may change while it is read: take what is there, but
            // never more than the limit.
            for (;;)
            {
                if (uDone == vecOut.size())
                {
                    // One byte decides whether the file goes on, so the usual
                    // case (the length was right) never grows the buffer,
                    // which would copy everything read so far.
                    uint8_t byProbe = 0;
                    const int64_t nProbe = CorvanePlatform::FileRead(nFile, &byProbe, 1);
                    if (nProbe < 0)
                    {
                        eResult = ReadWholeResult::ReadFailed;
                        break;
                    }
                    if (0 == nProbe)
                    {
                        break;
                    }
                    if (static_cast<uint64_t>(vecOut.size()) >= uMaxSize)
                    {
                        eResult = ReadWholeResult::TooLarge;
                        break;
                    }
                    vecOut.push_back(byProbe);
                    ++uDone;
                    if (uDone == vecOut.size() && static_cast<uint64_t>(vecOut.size()) < uMaxSize)
                    {
                        vecOut.resize(vecOut.size() + 65536 > uMaxSize ? static_cast<size_t>(uMaxSize)
                                                                       : vecOut.size() + 65536);
                    }
                    continue;
                }
                const size_t uWant = vecOut.size() - uDone;
                const uint32_t uChunk = uWant > 0x40000000u ? 0x40000000u : static_cast<uint32_t>(uWant);
                const int64_t nRead = CorvanePlatform::FileRead(nFile, vecOut.data() + uDone, uChunk);
                if (nRead < 0)
                {
                    eResult = ReadWholeResult::ReadFailed;
                    break;
                }
                if (0 == nRead)
                {
                    vecOut.resize(uDone);
                    break;
                }
                uDone += static_cast<size_t>(nRead);
            }
        }
    }
    catch (const std::bad_alloc&)
    {
        eResult = ReadWholeResult::ReadFailed;
    }
    if (eResult == ReadWholeResult::ReadFailed)
    {
        CorvaneUtil::NoteLastSystemFailure("read", strPath);
    }
    CorvanePlatform::FileClose(nFile);
    if (eResult != ReadWholeResult::Ok)
    {
        vecOut.clear();
    }
    return eResult;
}

} // namespace

ReadWholeResult ReadWholeFile(const std::string& strPath, std::vector<uint8_t>& vecOut, uint64_t uMaxSize)
{
    return ReadWholeInto(strPath, vecOut, uMaxSize);
}

ReadWholeResult ReadWholeFile(const std::string& strPath, ReadBuffer& vecOut, uint64_t uMaxSize)
{
    return ReadWholeInto(strPath, vecOut, uMaxSize);
}

} // namespace NSCorvane
