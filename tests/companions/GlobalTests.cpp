// The companion error classes, the log and the catch boundary.
#include "companions/V77Global/V77Global.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

// Points V77_LOG_FILE at a fresh file for one test, and restores it after.
class LogFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        char folder[MAX_PATH];
        ASSERT_NE(0u, GetTempPathA(MAX_PATH, folder));
        char path[MAX_PATH];
        ASSERT_NE(0u, GetTempFileNameA(folder, "v77", 0, path));
        m_Path = path;
        DeleteFileA(m_Path.c_str());
        ASSERT_TRUE(SetEnvironmentVariableA("V77_LOG_FILE", m_Path.c_str()));
    }
    void TearDown() override
    {
        SetEnvironmentVariableA("V77_LOG_FILE", nullptr);
        DeleteFileA(m_Path.c_str());
    }

    std::vector<std::string> Lines() const
    {
        std::ifstream in(m_Path, std::ios::binary);
        std::vector<std::string> lines;
        std::string line;
        while (std::getline(in, line))
            lines.push_back(line);
        return lines;
    }

    std::string m_Path;
};

// Calls slot n of the object's vtable the way the module's callers do.
template <typename Result>
Result CallSlot(const CExceptionBase& error, int slot)
{
    using Fn = Result (*)(const CExceptionBase*);
    void* const* table = *reinterpret_cast<void* const* const*>(&error);
    return reinterpret_cast<Fn>(table[slot])(&error);
}

TEST(Exceptions, SlotsHoldMessageThenHresult)
{
    CHresultError error("C:\\src\\display\\Renderer.cpp", 77, static_cast<long>(0x8876017C));
    const CExceptionBase& base = error;
    EXPECT_STREQ(base.GetErrorMessage(), CallSlot<const char*>(base, 0));
    EXPECT_EQ(static_cast<HRESULT>(0x8876017C), CallSlot<HRESULT>(base, 1));
}

TEST(Exceptions, EachKindCarriesLocationAndResult)
{
    try {
        V77_THROW_APP("Unsupported format");
    } catch (const CExceptionBase& e) {
        const std::string message = e.GetErrorMessage();
        EXPECT_NE(std::string::npos, message.find("GlobalTests.cpp(")) << message;
        EXPECT_EQ(std::string::npos, message.find("tests/companions")) << message;  // the file part only
        EXPECT_NE(std::string::npos, message.find("Unsupported format")) << message;
        EXPECT_EQ(E_FAIL, e.GetHResult());
    }

    CHresultError hr("Common/DisplayWindow", 42, E_OUTOFMEMORY);
    EXPECT_EQ(E_OUTOFMEMORY, hr.GetHResult());
    EXPECT_NE(std::string::npos, std::string(hr.GetErrorMessage()).find("DisplayWindow(42)"));
    EXPECT_NE(std::string::npos, std::string(hr.GetErrorMessage()).find("0x8007000E"));
    // A success code thrown by mistake still tells the caller it failed.
    EXPECT_EQ(E_FAIL, CHresultError("x.cpp", 1, S_FALSE).GetHResult());

    CAppError noMessage("x.cpp", 1, nullptr);
    EXPECT_NE(nullptr, noMessage.GetErrorMessage());

    // The check macro throws only failures.
    EXPECT_NO_THROW(V77_CHECK_HR(S_FALSE));
    try {
        V77_CHECK_HR(E_NOINTERFACE);
        FAIL() << "no exception";
    } catch (const CExceptionBase& e) {
        EXPECT_EQ(E_NOINTERFACE, e.GetHResult());
    }
}

TEST(Exceptions, Win32ErrorCapturesTheLastErrorAtOnce)
{
    SetLastError(ERROR_ACCESS_DENIED);
    CWin32Error direct("Spy.cpp", 9);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), direct.GetErrorCode());
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), direct.GetHResult());
    EXPECT_NE(std::string::npos, std::string(direct.GetErrorMessage()).find("Spy.cpp(9)"));
    EXPECT_NE(std::string::npos, std::string(direct.GetErrorMessage()).find("Win32 error 5"));

    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    try {
        V77_THROW_WIN32();
    } catch (const CWin32Error& e) {
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE), e.GetErrorCode());
    }
    SetLastError(0);
    EXPECT_EQ(E_FAIL, CWin32Error("a.cpp", 1).GetHResult());
}

TEST(FilePart, TakesTheNameAfterAnySeparator)
{
    EXPECT_EQ("a.cpp", CGlobalErrorHandlingEnvironment::GetFilePart("C:\\x\\y/a.cpp"));
    EXPECT_EQ("DisplayWindow", CGlobalErrorHandlingEnvironment::GetFilePart("Common/DisplayWindow"));
    EXPECT_EQ("plain", CGlobalErrorHandlingEnvironment::GetFilePart("plain"));
    EXPECT_EQ("", CGlobalErrorHandlingEnvironment::GetFilePart("dir/"));
    EXPECT_EQ("", CGlobalErrorHandlingEnvironment::GetFilePart(nullptr));
}

TEST(DateAndTimeAndLogLocation, UtcToTheMillisecondAndTheTempFolderByDefault)
{
    SYSTEMTIME st = {};
    st.wYear = 2026;
    st.wMonth = 12;
    st.wDay = 6;
    st.wHour = 12;
    st.wMinute = 15;
    st.wSecond = 22;
    st.wMilliseconds = 123;
    FILETIME ft;
    ASSERT_TRUE(SystemTimeToFileTime(&st, &ft));
    EXPECT_EQ("2026-12-06 12:15:22.123", GetDateAndTimeString(ft));
    FILETIME bad = {0xFFFFFFFF, 0xFFFFFFFF};
    EXPECT_EQ("(invalid time)", GetDateAndTimeString(bad));

    SetEnvironmentVariableA("V77_LOG_FILE", nullptr);
    char folder[MAX_PATH];
    ASSERT_NE(0u, GetTempPathA(MAX_PATH, folder));
    EXPECT_EQ(std::string(folder) + "V77DsBuffer.log", CGlobalErrorHandlingEnvironment::GetLogFilePath());
}

TEST_F(LogFile, WriteLogAppendsOneFormattedLine)
{
    g_ErrorHandling.WriteLog("first %d %s\n", 1, "one");
    g_ErrorHandling.WriteLog("second without newline %.2f", 2.5);
    // A line longer than any fixed buffer stays whole (and starts a line of its own).
    const std::string longText(5000, 'x');
    g_ErrorHandling.WriteLog("%s\n", longText.c_str());
    EXPECT_EQ((std::vector<std::string>{"first 1 one", "second without newline 2.50", longText}), Lines());
    g_ErrorHandling.WriteLog(nullptr);  // ignored
    EXPECT_EQ(3u, Lines().size());
}

TEST_F(LogFile, ConcurrentWritersGiveWholeLines)
{
    constexpr int kThreads = 6;
    constexpr int kLines = 300;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kLines; ++i)
                g_ErrorHandling.WriteLog("writer %d line %d %s\n", t, i, "payload-payload-payload-payload");
        });
    }
    for (auto& thread : threads)
        thread.join();

    std::vector<std::string> lines = Lines();
    ASSERT_EQ(static_cast<size_t>(kThreads * kLines), lines.size());
    std::map<int, int> next;  // each writer's lines arrive whole and in its order
    for (const std::string& line : lines) {
        int writer = -1, index = -1;
        char tail[64] = {};
        ASSERT_EQ(3, sscanf(line.c_str(), "writer %d line %d %63s", &writer, &index, tail)) << line;
        EXPECT_STREQ("payload-payload-payload-payload", tail);
        EXPECT_EQ(next[writer], index) << line;
        next[writer] = index + 1;
    }
    for (int t = 0; t < kThreads; ++t)
        EXPECT_EQ(kLines, next[t]);
}

HRESULT ThrowingMethod(int kind, HRESULT fallback)
{
    try {
        if (kind == 0)
            throw CHresultError("Renderer.cpp", 10, E_OUTOFMEMORY);
        if (kind == 1)
            throw std::runtime_error("not ours");
        throw 42;
    } catch (...) {
        return V77HandleException("V77DxRenderer", 123, fallback);
    }
}

constexpr int kBoundaryLine = __LINE__ + 6;  // the V77_CATCH_BOUNDARY line below
HRESULT BoundaryMacro()
{
    try {
        V77_THROW_APP("Unsupported Subtype");
    }
    V77_CATCH_BOUNDARY("V77DsOverlay")
    return S_OK;
}

TEST_F(LogFile, CatchBoundaryLogsCompanionErrorsWithTheirMessageAndForeignOnesWithTimeAndThread)
{
    EXPECT_EQ(E_OUTOFMEMORY, ThrowingMethod(0, E_FAIL));
    std::vector<std::string> lines = Lines();
    ASSERT_EQ(1u, lines.size());
    const std::string expected =
        std::string(CHresultError("Renderer.cpp", 10, E_OUTOFMEMORY).GetErrorMessage()) +
        " - handler V77DxRenderer line 123";
    EXPECT_EQ(expected, lines[0]);

    EXPECT_EQ(E_FAIL, BoundaryMacro());
    lines = Lines();
    ASSERT_EQ(2u, lines.size());
    EXPECT_NE(std::string::npos, lines[1].find("Unsupported Subtype - handler V77DsOverlay line " +
                                               std::to_string(kBoundaryLine)))
        << lines[1];

    // Foreign exceptions: the fallback result, a line with time and thread.
    EXPECT_EQ(E_UNEXPECTED, ThrowingMethod(1, E_UNEXPECTED));
    EXPECT_EQ(E_FAIL, ThrowingMethod(2, E_FAIL));
    lines = Lines();
    ASSERT_EQ(4u, lines.size());
    for (const std::string& line : {lines[2], lines[3]}) {
        unsigned year, month, day, hour, minute, second, millis;
        int thread = 0, handlerLine = 0;
        char module[64] = {};
        ASSERT_EQ(10, sscanf(line.c_str(), "%4u-%2u-%2u %2u:%2u:%2u.%3u: thread %d Unhandled Exception - handler %63s line %d",
                             &year, &month, &day, &hour, &minute, &second, &millis, &thread, module, &handlerLine))
            << line;
        EXPECT_GE(year, 2000u);
        EXPECT_EQ(static_cast<int>(GetCurrentThreadId()), thread);
        EXPECT_STREQ("V77DxRenderer", module);
        EXPECT_EQ(123, handlerLine);
    }
}

}  // namespace
