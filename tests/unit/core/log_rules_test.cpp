#include "core/log_rules.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <set>
#include <string>
#include <vector>

namespace {

std::wstring line(size_t capacity, int32_t elapsed, bool isError, const wchar_t* format, ...) {
    std::vector<wchar_t> out(capacity, L'#');
    va_list args;
    va_start(args, format);
    composeLogLine(out.data(), capacity, elapsed, isError, format, args);
    va_end(args);
    return out.data();
}

bool lineComplete(size_t capacity, const wchar_t* format, ...) {
    std::vector<wchar_t> out(capacity);
    va_list args;
    va_start(args, format);
    bool complete = composeLogLine(out.data(), capacity, 0, false, format, args);
    va_end(args);
    return complete;
}

std::string bytes(const wchar_t* text, size_t capacity = 100) {
    std::vector<char> out(capacity + 1, '#');
    size_t count = encodeLogText(text, out.data(), capacity);
    EXPECT_EQ(out[count], '#') << "wrote past its count";
    return std::string(out.data(), count);
}

// Creates files in memory: a name that is present cannot be created new; a name in `broken`
// fails for another reason (no access, a missing directory).
struct NewFiles {
    std::set<std::wstring> present;
    std::set<std::wstring> broken;
    std::vector<std::wstring> asked;
    std::function<LogCreation(const wchar_t*)> create() {
        return [this](const wchar_t* path) {
            asked.push_back(path);
            if (broken.count(path) > 0) return LogCreation::Failed;
            return present.insert(path).second ? LogCreation::Created : LogCreation::Exists;
        };
    }
};

std::wstring chosen(const wchar_t* directory, NewFiles& files, size_t capacity = kLogPathCapacity) {
    std::vector<wchar_t> out(capacity);
    if (!createLogPath(directory, out.data(), capacity, files.create())) return L"<refused>";
    return out.data();
}

}  // namespace

TEST(LogSwitch, OnlyExactlyYesSwitchesTheLogOn) {
    EXPECT_TRUE(isLogRequested("yes"));
    EXPECT_FALSE(isLogRequested("Yes"));
    EXPECT_FALSE(isLogRequested("YES"));
    EXPECT_FALSE(isLogRequested("1"));
    EXPECT_FALSE(isLogRequested("yes "));
    EXPECT_FALSE(isLogRequested(""));
    EXPECT_FALSE(isLogRequested(nullptr));
}

TEST(LogPath, NumberingContinuesAfterExistingFiles) {
    NewFiles files;
    files.present = {L"C:\\t\\qwk_nlog_1.log", L"C:\\t\\qwk_nlog_2.log", L"C:\\t\\qwk_nlog_3.log"};
    EXPECT_EQ(chosen(L"C:\\t", files), L"C:\\t\\qwk_nlog_4.log");
    EXPECT_EQ(files.asked.size(), 4u);
}

TEST(LogPath, SeparatorIsAddedOnlyWhenMissing) {
    NewFiles files;
    EXPECT_EQ(chosen(L"C:\\t\\", files), L"C:\\t\\qwk_nlog_1.log");
    EXPECT_EQ(chosen(L"C:/t/", files), L"C:/t/qwk_nlog_1.log");
    EXPECT_EQ(chosen(L"C:\\u", files), L"C:\\u\\qwk_nlog_1.log");
}

// The log goes into the temp directory or nowhere: never to the root of drive C:, where any
// user could have put a file or link under the name first.
TEST(LogPath, NoTempDirectoryMeansNoLog) {
    NewFiles files;
    EXPECT_EQ(chosen(L"", files), L"<refused>");
    EXPECT_EQ(chosen(nullptr, files), L"<refused>");
    EXPECT_TRUE(files.asked.empty());
}

// A name someone else created is never written to, not even the last number; a creation that
// fails for another reason ends the search (and the log stays off).
TEST(LogPath, OnlyANewFileIsEverTaken) {
    NewFiles taken;
    for (int n = 1; n <= 1000; ++n) taken.present.insert(L"D:\\qwk_nlog_" + std::to_wstring(n) + L".log");
    EXPECT_EQ(chosen(L"D:\\", taken), L"<refused>");
    EXPECT_EQ(taken.asked.size(), 1000u);

    NewFiles broken;
    broken.present = {L"D:\\qwk_nlog_1.log"};
    broken.broken = {L"D:\\qwk_nlog_2.log"};
    EXPECT_EQ(chosen(L"D:\\", broken), L"<refused>");
    EXPECT_EQ(broken.asked.size(), 2u);
}

TEST(LogPath, PathThatDoesNotFitIsRefusedNotCut) {
    NewFiles files;
    std::wstring longDirectory = L"C:\\" + std::wstring(5990, L'a');
    EXPECT_EQ(chosen(longDirectory.c_str(), files), L"<refused>");
    EXPECT_TRUE(files.asked.empty());
    // Exactly filling the buffer is fine: 17 characters plus the terminator.
    EXPECT_EQ(chosen(L"C:\\", files, 18), L"C:\\qwk_nlog_1.log");
    EXPECT_EQ(chosen(L"E:\\", files, 17), L"<refused>");
}

TEST(LogLine, PrefixIsSecondsAndMillisecondsWithoutPadding) {
    EXPECT_EQ(line(100, 65007, false, L"hello"), L"[65:7] hello\n");
    EXPECT_EQ(line(100, 0, false, L"x"), L"[0:0] x\n");
    EXPECT_EQ(line(100, 1999, true, L"bad %d", 3), L"[1:999] ERROR: bad 3\n");
}

TEST(LogLine, WideAndEightBitArgumentsBothPrint) {
    EXPECT_EQ(line(100, 5, false, L"%s and %S", L"w\u00e9de", "n\xe4rrow"), L"[0:5] w\u00e9de and n\u00e4rrow\n");
}

TEST(LogLine, ElapsedTimeIsASigned32BitCount) {
    EXPECT_EQ(elapsedMilliseconds(13000000065007LL, 13000000000000LL), 65007);
    EXPECT_EQ(elapsedMilliseconds(1000 + (1LL << 32) + 5, 1000), 5);
    EXPECT_EQ(elapsedMilliseconds(1000, 1001), -1);
}

TEST(LogLine, LongTextIsCutButTheLineStillEnds) {
    std::wstring text(50, L'z');
    std::wstring cut = line(20, 1, false, L"%s", text.c_str());
    EXPECT_EQ(cut, L"[0:1] " + std::wstring(12, L'z') + L"\n");
    EXPECT_FALSE(lineComplete(20, L"%s", text.c_str()));
    EXPECT_TRUE(lineComplete(22, L"%s", L"12345678901234"));  // "[0:0] " + 14 + "\n" + NUL
    EXPECT_FALSE(lineComplete(21, L"%s", L"12345678901234"));
    EXPECT_EQ(line(2, 1, false, L"abc"), L"\n");
}

TEST(LogBytes, LineFeedsBecomeCarriageReturnLineFeed) {
    EXPECT_EQ(bytes(L"a\nb\n"), "a\r\nb\r\n");
    EXPECT_EQ(bytes(L"\n\n"), "\r\n\r\n");
    EXPECT_EQ(bytes(L"a\rb"), "a\rb");
}

TEST(LogBytes, TextIsUtf8) {
    EXPECT_EQ(bytes(L"\u00e4\u20ac"), "\xC3\xA4\xE2\x82\xAC");
    const wchar_t pair[] = {0xD83D, 0xDE00, 0};
    EXPECT_EQ(bytes(pair), "\xF0\x9F\x98\x80");
}

TEST(LogBytes, UnpairedSurrogatesBecomeReplacementCharacters) {
    const wchar_t high[] = {L'a', 0xD800, L'b', 0};
    const wchar_t low[] = {0xDC00, 0};
    const wchar_t highAtEnd[] = {0xDBFF, 0};
    EXPECT_EQ(bytes(high),
              "a\xEF\xBF\xBD"
              "b");
    EXPECT_EQ(bytes(low), "\xEF\xBF\xBD");
    EXPECT_EQ(bytes(highAtEnd), "\xEF\xBF\xBD");
}

TEST(LogBytes, StopsBeforeACharacterThatDoesNotFit) {
    EXPECT_EQ(bytes(L"ab\u20ac", 4), "ab");
    EXPECT_EQ(bytes(L"ab\n", 3), "ab");
    EXPECT_EQ(bytes(L"abc", 0), "");
    // The worst case of a full line fits the byte buffer the log uses.
    std::wstring widest(kLogLineCapacity - 1, L'\u20ac');
    std::vector<char> out(kLogBytesCapacity);
    EXPECT_EQ(encodeLogText(widest.c_str(), out.data(), out.size()), 3 * (kLogLineCapacity - 1));
}
