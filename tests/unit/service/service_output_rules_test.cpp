#include "service/service_output_rules.h"

#include <gtest/gtest.h>

#include <map>

using Lines = std::vector<std::string>;

TEST(OutputLimits, AbsentOrUnusableValuesTakeTheDefaults) {
    OutputLimits absent = outputLimits("", "");
    EXPECT_EQ(absent.maxBytes, 10u * 1024 * 1024);
    EXPECT_EQ(absent.keep, 3u);
    for (const char* size : {"0", "-5", "abc"})
        EXPECT_EQ(outputLimits(size, "").maxBytes, kDefaultOutputMaxBytes) << size;
    EXPECT_EQ(outputLimits("200", "").maxBytes, 200u);
    EXPECT_EQ(outputLimits("", "-1").keep, kDefaultOutputKeep);
    // None kept is a choice of its own, not a missing value.
    EXPECT_EQ(outputLimits("", "0").keep, 0u);
    EXPECT_EQ(outputLimits("", "7").keep, 7u);
    EXPECT_EQ(outputLimits("", "100000").keep, kMaxOutputKeep);
}

TEST(OutputRotation, DueWhenTheLineWouldPassTheLimitNeverForAnEmptyFile) {
    EXPECT_FALSE(rotationDue(90, 10, 100));  // exactly full is not past
    EXPECT_TRUE(rotationDue(90, 11, 100));
    EXPECT_TRUE(rotationDue(150, 1, 100));  // a file already past the limit (say, from before)
    EXPECT_FALSE(rotationDue(150, 0, 100));
    EXPECT_FALSE(rotationDue(0, 500, 100));               // a line longer than the limit goes in whole
    EXPECT_FALSE(rotationDue(1, ~size_t{0} - 5, ~0ull));  // no overflow near the top
}

TEST(OutputRotation, OldestGoesFirstAndTheNewestOlderFileIsOne) {
    using Kind = RotationStep::Kind;
    auto describe = [](const std::vector<RotationStep>& steps) {
        std::vector<std::wstring> out;
        for (const RotationStep& step : steps)
            out.push_back(step.kind == Kind::Remove ? L"rm " + step.from : L"mv " + step.from + L" " + step.to);
        return out;
    };
    EXPECT_EQ(describe(rotationSteps(L"C:\\app\\out.log", 3)),
              (std::vector<std::wstring>{L"rm C:\\app\\out.log.3", L"mv C:\\app\\out.log.2 C:\\app\\out.log.3",
                                         L"mv C:\\app\\out.log.1 C:\\app\\out.log.2",
                                         L"mv C:\\app\\out.log C:\\app\\out.log.1"}));
    EXPECT_EQ(describe(rotationSteps(L"out", 1)), (std::vector<std::wstring>{L"rm out.1", L"mv out out.1"}));
    EXPECT_EQ(describe(rotationSteps(L"out", 0)), (std::vector<std::wstring>{L"rm out"}));
}

// The rules played over a folder in memory, as the supervisor plays them over the disk:
// whatever the limit and count, the files hold the newest lines, in order from the oldest
// kept file to the current one, none past the limit.
TEST(OutputRotation, FilesKeepTheNewestLinesInOrderNoneLargerThanTheLimit) {
    for (unsigned keep : {0u, 1u, 3u}) {
        const unsigned long long limit = 50;
        const std::wstring path = L"out";
        std::map<std::wstring, std::string> folder;
        for (int i = 0; i < 40; ++i) {
            std::string line = "line " + std::to_string(i) + "\n";
            if (rotationDue(folder[path].size(), line.size(), limit)) {
                for (const RotationStep& step : rotationSteps(path, keep)) {
                    if (step.kind == RotationStep::Kind::Move && folder.count(step.from))
                        folder[step.to] = folder[step.from];
                    folder.erase(step.from);
                }
            }
            folder[path] += line;
        }
        std::string kept;
        for (unsigned number = keep; number >= 1; --number) {
            ASSERT_TRUE(folder.count(rotatedName(path, number))) << keep;
            kept += folder[rotatedName(path, number)];
        }
        kept += folder[path];
        EXPECT_EQ(folder.size(), keep + 1u);
        for (const auto& file : folder) EXPECT_LE(file.second.size(), limit);
        // Everything kept is one unbroken run of lines that ends with the last one written.
        std::string expected;
        for (int i = 39; i >= 0 && expected.size() < kept.size(); --i)
            expected = "line " + std::to_string(i) + "\n" + expected;
        EXPECT_EQ(kept, expected) << "keep " << keep;
    }
}

TEST(OutputLines, LinesComeWholeHoweverThePipeCutsThem) {
    const std::string output = "first\r\nsecond\n\nfourth without end";
    for (size_t chunk = 1; chunk <= output.size(); ++chunk) {
        OutputLineSplitter splitter(100);
        Lines lines;
        for (size_t at = 0; at < output.size(); at += chunk) {
            Lines completed;
            splitter.feed(std::string_view(output).substr(at, chunk), completed);
            lines.insert(lines.end(), completed.begin(), completed.end());
        }
        EXPECT_EQ(lines, (Lines{"first\r\n", "second\n", "\n"})) << "chunk " << chunk;
        EXPECT_EQ(splitter.finish(), "fourth without end");
        EXPECT_EQ(splitter.finish(), "");
    }
}

TEST(OutputLines, ALineLongerThanTheCapacityGoesOnInPieces) {
    OutputLineSplitter splitter(4);
    Lines lines;
    splitter.feed("abcdefghij\nxy", lines);
    EXPECT_EQ(lines, (Lines{"abcd", "efgh", "ij\n"}));
    lines.clear();
    splitter.feed("z\n", lines);
    EXPECT_EQ(lines, (Lines{"xyz\n"}));
    // A line feed that falls just after a full piece makes a line of its own.
    lines.clear();
    splitter.feed("1234\n", lines);
    EXPECT_EQ(lines, (Lines{"1234", "\n"}));
}

TEST(OutputTail, LastLinesWithoutLineEndsAndWithoutACutFirstLine) {
    EXPECT_EQ(lastLines("a\r\nb\n\nc\n", 10, false), (Lines{"a", "b", "", "c"}));
    EXPECT_EQ(lastLines("a\nb\nc", 2, false), (Lines{"b", "c"}));
    EXPECT_EQ(lastLines("rt of a line\nwhole\n", 10, true), (Lines{"whole"}));
    EXPECT_EQ(lastLines("no line end at all", 10, true), Lines{});
    EXPECT_EQ(lastLines("", 10, false), Lines{});
    EXPECT_EQ(lastLines("a\nb\n", 0, false), Lines{});
}
