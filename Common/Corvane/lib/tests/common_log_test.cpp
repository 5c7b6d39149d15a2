// SPDX-License-Identifier: MIT
#include "common/CorvaneCheck.h"
#include "common/CorvaneFailure.h"
#include "common/CorvaneLog.h"
#include "common/CorvaneMemory.h"
#include "common/PemStreamMemoryImpl.h"
#include "fs/CorvaneFiles.h"
#include "platform/PlatformError.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace
{
int g_nLineDirect = 0;
int g_nLineLambda = 0;
} // namespace

namespace NSCorvane
{
// Shaped like the library's classes, so the real compiler signature is parsed.
struct PemLogProbe
{
    bool FailDirect(int nValue)
    {
        g_nLineDirect = __LINE__ + 1;
        CORVANE_CHECK(nValue > 10);
        return true;
    }
    bool FailInLambda(const char* pcsz)
    {
        auto fnCheck = [pcsz](int) -> bool
        {
            g_nLineLambda = __LINE__ + 1;
            CORVANE_CHECK(pcsz && *pcsz);
            return true;
        };
        return fnCheck(1);
    }
};
} // namespace NSCorvane

namespace
{
std::string Qualified(const char* pcszSignature)
{
    char szName[128];
    return CorvaneUtil::QualifiedFunctionName(pcszSignature, szName, sizeof(szName));
}
} // namespace

TEST(CorvaneLog, QualifiedNameFromSignatures)
{
    const std::pair<const char*, const char*> cases[] = {
        {"IFile* NSCorvane::PemCorvaneReader::OpenFile(const char*, int)", "PemCorvaneReader::OpenFile"},
        {"NSCorvane::PemCorvaneReader::OpenFile(const char*, int)::<lambda(int)>",
         "PemCorvaneReader::OpenFile"},
        {"auto NSCorvane::PemCorvaneReader::OpenFile(const char *, int)::(anonymous class)::operator()(int) "
         "const",
         "PemCorvaneReader::OpenFile"},
        {"bool CorvaneUtil::DiskWrite(NSCorvane::IFile*, const char*)", "CorvaneUtil::DiskWrite"},
        {"bool __cdecl CorvaneUtil::DiskWrite(class NSCorvane::IFile *,const char *)",
         "CorvaneUtil::DiskWrite"},
        {"std::shared_ptr<CorvaneUtil::PemFileLockObj> CorvaneUtil::PemMultiProcessFileLock::GetReadLockObj("
         "const string&, int64_t)",
         "PemMultiProcessFileLock::GetReadLockObj"},
        {"static std::map<int, int> NSCorvane::Outer<int, char>::Inner::Make()", "Inner::Make"},
        {"bool (anonymous namespace)::Helper(int)", "(anonymous namespace)::Helper"},
        {"bool NSCorvane::Pred::operator()(int) const", "Pred::operator()"},
        {"int main()", "main"},
        {"", ""},
    };
    for (const auto& c : cases)
    {
        EXPECT_EQ(c.second, Qualified(c.first)) << c.first;
    }
    char szSmall[8];
    EXPECT_STREQ("PemCorv", CorvaneUtil::QualifiedFunctionName(cases[0].first, szSmall, sizeof(szSmall)));
}

TEST(CorvaneLog, FailedChecksWriteOneRecordEach)
{
    CorvaneTest::LogCapture log;
    NSCorvane::PemLogProbe probe;
    EXPECT_FALSE(probe.FailDirect(3));
    EXPECT_FALSE(probe.FailInLambda(""));
    EXPECT_TRUE(probe.FailDirect(11));
    const std::string strText = log.Text();
    const std::string strDirect =
        "PROCESS_ERROR failed. function=PemLogProbe::FailDirect line=" + std::to_string(g_nLineDirect) +
        " condition=nValue > 10\r\n";
    const std::string strLambda =
        "PROCESS_ERROR failed. function=PemLogProbe::FailInLambda line=" + std::to_string(g_nLineLambda) +
        " condition=pcsz && *pcsz\r\n";
    EXPECT_EQ(strDirect + strLambda, strText);

    // Without a hook, failures stay silent.
    CorvaneUtil::SetErrorLogHook(nullptr);
    log.Clear();
    EXPECT_FALSE(probe.FailDirect(3));
    EXPECT_EQ("", log.Text());
}

TEST(CorvaneLog, LineFormatAndLimits)
{
    CorvaneTest::LogCapture log;
    CorvaneUtil::WriteLogLine(nullptr);
    CorvaneUtil::WriteLogLine("");
    EXPECT_EQ("", log.Text());

    CorvaneUtil::DefaultErrorLogHook(nullptr, 7, nullptr);
    EXPECT_EQ("PROCESS_ERROR failed. function= line=7 condition=\r\n", log.Text());

    // A record is cut to 2047 characters, never written past its buffer.
    log.Clear();
    const std::string strLong(5000, 'c');
    CorvaneUtil::DefaultErrorLogHook("F::G", 1, strLong.c_str());
    const std::string strText = log.Text();
    ASSERT_EQ(2047u + 2u, strText.size());
    EXPECT_EQ(0u, strText.find("PROCESS_ERROR failed. function=F::G line=1 condition=ccc"));
    EXPECT_EQ("c\r\n", strText.substr(strText.size() - 3));

    // ResetLogFile removes the log; lines append, the first one making the file.
    CorvaneUtil::WriteLogLine("one");
    EXPECT_TRUE(CorvaneUtil::ResetLogFile());
    EXPECT_FALSE(CorvaneTest::FileExists(log.Dir() / CorvaneUtil::kLogFileName));
    EXPECT_TRUE(CorvaneUtil::ResetLogFile());
    CorvaneUtil::WriteLogLine("two");
    CorvaneUtil::WriteLogLine("three");
    EXPECT_EQ("two\r\nthree\r\n", log.Text());
}

TEST(CorvaneLog, PlacedLogIsMadeWithItsFirstLine)
{
    CorvaneTest::LogCapture log;
    const std::string strPlaced = log.Dir() / "state/corvane/placed.log";
    CorvaneUtil::SetLogPath(strPlaced.c_str());
    EXPECT_EQ(strPlaced, CorvaneUtil::LogPath());
    EXPECT_TRUE(CorvaneUtil::ResetLogFile());
    EXPECT_FALSE(CorvaneTest::FileExists(log.Dir() / "state")) << "nothing logged, nothing made";
    CorvaneUtil::WriteLogLine("first");
    CorvaneUtil::SetLogPath(nullptr);
    EXPECT_EQ(CorvaneUtil::kLogFileName, CorvaneUtil::LogPath());
    CorvaneUtil::WriteLogLine("back home");
    const std::vector<unsigned char> vecPlaced = CorvaneTest::ReadFileBytes(strPlaced);
    EXPECT_EQ("first\r\n", std::string(vecPlaced.begin(), vecPlaced.end()));
    EXPECT_EQ("back home\r\n", log.Text());
}

TEST(CorvaneFailure, FirstSystemFailureWinsUntilRead)
{
    CorvaneTest::LogCapture log;
    CorvaneUtil::TakeLastFailure(nullptr, 0);
    // A directory that must go where a plain file is: the real call, the real reason.
    ASSERT_TRUE(CorvaneTest::WriteFileText(log.Dir() / "plain", "x"));
    EXPECT_FALSE(CorvaneUtil::CreateParentDirectories(log.Dir() / "plain/sub/file.dat"));
    EXPECT_FALSE(CorvaneUtil::DiskWriteBytes("y", 1, (log.Dir() / "plain/other.dat").c_str()));
    char szLine[512];
    ASSERT_TRUE(CorvaneUtil::TakeLastFailure(szLine, sizeof(szLine)));
    // The reason is the system's own text ("File exists" here, Windows words it otherwise).
    const std::string strFirst = szLine;
    const std::string strPrefix = "cannot create " + (log.Dir() / "plain") + ": ";
    EXPECT_EQ(0u, strFirst.find(strPrefix)) << strFirst;
    EXPECT_GT(strFirst.size(), strPrefix.size()) << strFirst;
    EXPECT_FALSE(CorvaneUtil::TakeLastFailure(szLine, sizeof(szLine)));
    EXPECT_STREQ("", szLine);
    // Every noted failure is in the log, the later ones too.
    const std::string strText = log.Text();
    EXPECT_EQ(0u, strText.find("system error: " + strFirst + "\r\n")) << strText;
    EXPECT_NE(std::string::npos, strText.find("system error: cannot create " + (log.Dir() / "plain")))
        << strText;

    // Workers fail on their own threads: exactly one of them is kept, whole,
    // and the caller's thread reads it.
    std::vector<std::thread> vecThreads;
    for (int i = 0; i < 4; ++i)
    {
        vecThreads.emplace_back(
            [i] { CorvaneUtil::NoteSystemFailure(EACCES, "open", "/f" + std::to_string(i)); });
    }
    for (std::thread& thread : vecThreads)
    {
        thread.join();
    }
    ASSERT_TRUE(CorvaneUtil::TakeLastFailure(szLine, sizeof(szLine)));
    const std::string strKept = szLine;
    EXPECT_EQ(0u, strKept.find("cannot open /f")) << strKept;
    char szReason[256];
    const std::string strReason =
        std::string(": ") + CorvanePlatform::ErrorText(EACCES, szReason, sizeof(szReason));
    ASSERT_GT(strKept.size(), strReason.size());
    EXPECT_EQ(strReason, strKept.substr(strKept.size() - strReason.size())) << strKept;

    // A rename names both ends; a small buffer gets the start, terminated.
    CorvaneUtil::NoteSystemFailure(EXDEV, "rename", "/a/from", "/b/to");
    char szSmall[12];
    ASSERT_TRUE(CorvaneUtil::TakeLastFailure(szSmall, sizeof(szSmall)));
    EXPECT_STREQ("cannot rena", szSmall);
    CorvaneUtil::NoteSystemFailure(EXDEV, "rename", "/a/from", "/b/to");
    ASSERT_TRUE(CorvaneUtil::TakeLastFailure(szLine, sizeof(szLine)));
    EXPECT_EQ(0, std::strncmp(szLine, "cannot rename /a/from to /b/to: ", 32)) << szLine;
}

TEST(CorvaneMemory, ForeignPointersAndSecondFreesAreIgnored)
{
    CorvaneTest::LogCapture log;
    NSCorvane::IStreamMemory& memory = CorvaneUtil::BuiltinMemory();
    uint8_t* p = static_cast<uint8_t*>(memory.Alloc(100));
    ASSERT_NE(nullptr, p);
    std::memset(p, 0xAB, 100);

    // A foreign block, even one that looks like ours, is left alone.
    uint64_t* pForeign = static_cast<uint64_t*>(std::malloc(64));
    pForeign[0] = NSCorvane::PemStreamMemoryImpl::kBlockTag;
    pForeign[1] = 48;
    memory.Free(pForeign + 2);
    memory.Free(nullptr);
    int nStack = 0;
    memory.Free(&nStack);
    EXPECT_EQ(NSCorvane::PemStreamMemoryImpl::kBlockTag, pForeign[0]);
    std::free(pForeign);

    // Blocks of one instance may be freed through another; a second free is ignored.
    NSCorvane::PemStreamMemoryImpl* pOther = new NSCorvane::PemStreamMemoryImpl;
    pOther->Free(p);
    pOther->Free(p);
    pOther->Release();

    EXPECT_EQ(nullptr, memory.Alloc(UINT64_MAX - 8));
    EXPECT_TRUE(log.Contains("function=PemStreamMemoryImpl::Alloc"));
    EXPECT_TRUE(log.Contains("condition=pHead"));

    void* pZero = CorvaneUtil::MemoryAlloc(0);
    EXPECT_NE(nullptr, pZero);
    CorvaneUtil::MemoryFree(pZero);
    CorvaneUtil::MemoryFree(nullptr);
}
