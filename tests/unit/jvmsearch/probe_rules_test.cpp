#include "jvmsearch/probe_rules.h"

#include <gtest/gtest.h>

TEST(ProbeText, CommandLineQuotesThePathAndAsksForTheVersion) {
    EXPECT_EQ(probeCommandLine("C:\\PROGRA~1\\Java\\bin\\java.exe"), "\"C:\\PROGRA~1\\Java\\bin\\java.exe\" -version");
    EXPECT_EQ(probeCommandLine("c:\\with space\\java.exe"), "\"c:\\with space\\java.exe\" -version");
}

TEST(ProbeText, OutputIsKeptUpToTheLimitAndTheCutReported) {
    std::string output;
    EXPECT_TRUE(appendProbeOutput(output, "abc", 3, 8));
    EXPECT_TRUE(appendProbeOutput(output, "defg", 4, 8));
    EXPECT_EQ(output, "abcdefg");
    EXPECT_FALSE(appendProbeOutput(output, "hij", 3, 8));
    EXPECT_EQ(output, "abcdefgh");
    EXPECT_FALSE(appendProbeOutput(output, "k", 1, 8));
    EXPECT_EQ(output, "abcdefgh");
    EXPECT_TRUE(appendProbeOutput(output, "", 0, 8));  // nothing offered, nothing dropped
}

TEST(ProbeText, DefaultLimitHoldsABannerButNotAFlood) {
    std::string output;
    std::string chunk(kProbeReadChunk, 'x');
    size_t offered = 0;
    while (appendProbeOutput(output, chunk.data(), chunk.size())) offered += chunk.size();
    EXPECT_EQ(output.size(), kProbeOutputLimit);
    EXPECT_GE(offered + chunk.size(), kProbeOutputLimit);
}

TEST(ProbeText, RemainingTimeNeverUnderflows) {
    EXPECT_EQ(kProbeTimeoutMs, 60000u);
    EXPECT_EQ(remainingProbeTime(0), 60000u);
    EXPECT_EQ(remainingProbeTime(59999), 1u);
    EXPECT_EQ(remainingProbeTime(60000), 0u);
    EXPECT_EQ(remainingProbeTime(0xFFFFFFFFFFull), 0u);
    EXPECT_EQ(remainingProbeTime(30, 100), 70u);
}
