#include "jvmsearch/runtime_lookup_rules.h"

#include "jvmsearch/java_version.h"

#include <gtest/gtest.h>

using Homes = std::vector<std::string>;

TEST(RuntimeLookup, InstallationListGivesTheJreOfEveryNonEmptyEntry) {
    EXPECT_EQ(installationHomes("C:\\App1;C:\\App2"), (Homes{"C:\\App1\\jre", "C:\\App2\\jre"}));
    // Empty entries are skipped, not the end of the list.
    EXPECT_EQ(installationHomes(";C:\\A;;D:\\B;"), (Homes{"C:\\A\\jre", "D:\\B\\jre"}));
    EXPECT_EQ(installationHomes("C:\\Only"), (Homes{"C:\\Only\\jre"}));
    EXPECT_EQ(installationHomes(""), Homes{});
    EXPECT_EQ(installationHomes(";;"), Homes{});
}

TEST(RuntimeLookup, ForwardSlashesBecomeBackslashes) {
    EXPECT_EQ(withBackslashes("C:/jdk"), "C:\\jdk");
    EXPECT_EQ(withBackslashes("c:/program files/java/bin/java.exe"), "c:\\program files\\java\\bin\\java.exe");
    EXPECT_EQ(withBackslashes("C:\\mixed/forms\\x"), "C:\\mixed\\forms\\x");
}

TEST(RuntimeLookup, QwkJresEntriesAreConsideredOnlyWhenAsked) {
    const std::string outside = "c:/java/jre8/bin/java.exe";
    const std::string qwk = "c:/programdata/qwk_jres/1.8.0_201/bin/java.exe";
    EXPECT_FALSE(isInQwkJresFolder(outside));
    EXPECT_TRUE(isInQwkJresFolder(qwk));
    EXPECT_FALSE(isInQwkJresFolder("c:/QWK_JRES/bin/java.exe"));  // case-sensitive
    EXPECT_TRUE(locatedEntryConsidered(outside, true, false));
    EXPECT_FALSE(locatedEntryConsidered(outside, false, true));
    EXPECT_TRUE(locatedEntryConsidered(qwk, false, true));
    EXPECT_FALSE(locatedEntryConsidered(qwk, true, false));
    EXPECT_FALSE(locatedEntryConsidered(qwk, false, false));
    EXPECT_FALSE(locatedEntryConsidered(outside, false, false));
}

TEST(RuntimeLookup, KeysOfSharedAndLocatedRuntimes) {
    EXPECT_EQ(sharedRuntimesKey("acme"), "SOFTWARE\\brightmoor-labs\\quillwork\\sharedjvms\\acme\\");
    EXPECT_STREQ(kLocatedRuntimesKey, "SOFTWARE\\brightmoor-labs\\ravel\\locatedjvms\\");
    EXPECT_STREQ(kInstallationsKey, "SOFTWARE\\brightmoor-labs\\quillwork\\installations");
}

TEST(RuntimeLookup, NewestPassingEntryWinsAndTheFirstOfEqualsStays) {
    using E = CheckedEntry;
    EXPECT_EQ(newestPassingEntry({E{true, "1.8.0_201"}, E{true, "11.0.2"}, E{true, "9"}}), 1u);
    EXPECT_EQ(newestPassingEntry({E{true, "11"}, E{true, "11"}}), 0u);
    EXPECT_EQ(newestPassingEntry({E{true, "1.8"}, E{true, "1.8.0"}}), 1u);  // more components is newer
    EXPECT_EQ(newestPassingEntry({E{false, "17"}, E{true, "1.8.0_201"}}), 1u);
    EXPECT_EQ(newestPassingEntry({E{false, "17"}, E{false, "11"}}), std::nullopt);
    EXPECT_EQ(newestPassingEntry({E{true, ""}}), std::nullopt);  // an empty version never beats the start
    EXPECT_EQ(newestPassingEntry({}), std::nullopt);
}

TEST(RuntimeLookup, MachineWinsOverUserUnlessTheUserIsNewer) {
    FoundRuntime user{"c:\\user\\bin\\java.exe", "1.8.0_201"};
    FoundRuntime machine{"c:\\machine\\bin\\java.exe", "1.8.0_201"};
    EXPECT_EQ(pickUserOrMachine(user, machine)->exe, machine.exe);
    user.version = "1.8.0_202";
    EXPECT_EQ(pickUserOrMachine(user, machine)->exe, user.exe);
    machine.version = "11";
    EXPECT_EQ(pickUserOrMachine(user, machine)->exe, machine.exe);
    EXPECT_EQ(pickUserOrMachine(user, std::nullopt)->exe, user.exe);
    EXPECT_EQ(pickUserOrMachine(std::nullopt, machine)->exe, machine.exe);
    EXPECT_EQ(pickUserOrMachine(std::nullopt, std::nullopt), std::nullopt);
}

TEST(RuntimeLookup, LocatedWinsOverVendorUnlessTheVendorIsNewer) {
    FoundRuntime vendor{"c:\\vendor\\bin\\java.exe", "11.0.2"};
    FoundRuntime located{"c:\\located\\bin\\java.exe", "11.0.2"};
    EXPECT_EQ(pickVendorOrLocated(vendor, located)->exe, located.exe);
    vendor.version = "17";
    EXPECT_EQ(pickVendorOrLocated(vendor, located)->version, "17");
    EXPECT_EQ(pickVendorOrLocated(vendor, std::nullopt)->exe, vendor.exe);
    EXPECT_EQ(pickVendorOrLocated(std::nullopt, located)->exe, located.exe);
    EXPECT_EQ(pickVendorOrLocated(std::nullopt, std::nullopt), std::nullopt);
}

TEST(RuntimeLookup, VendorCurrentVersionPrefersTheJdkOnlyWhenNewer) {
    const std::string jdk = "SOFTWARE\\JavaSoft\\JDK", jre = "SOFTWARE\\JavaSoft\\JRE";
    VersionBounds any;
    EXPECT_EQ(chosenVendorKey(jdk, "11", jre, "1.8", any), jdk + "\\11");
    EXPECT_EQ(chosenVendorKey(jdk, "1.8", jre, "1.8", any), jre + "\\1.8");
    EXPECT_EQ(chosenVendorKey(jdk, "1.8", jre, "11", any), jre + "\\11");
    EXPECT_EQ(chosenVendorKey(jdk, "11", jre, std::nullopt, any), jdk + "\\11");  // JDK required: no JRE
    EXPECT_EQ(chosenVendorKey(jdk, std::nullopt, jre, std::nullopt, any), jre + "\\");
}

TEST(RuntimeLookup, VendorCurrentVersionOutOfRangeCountsAsAbsent) {
    const std::string jdk = "K\\JDK", jre = "K\\JRE";
    VersionBounds upTo11{parseVersion("1.8"), parseVersion("11"), "1.8", "11"};
    EXPECT_EQ(chosenVendorKey(jdk, "17", jre, "1.8", upTo11), jre + "\\1.8");
    EXPECT_EQ(chosenVendorKey(jdk, "11", jre, "1.7", upTo11), jdk + "\\11");
    EXPECT_EQ(chosenVendorKey(jdk, "17", jre, "1.7", upTo11), jre + "\\");
    // Key names use the short-passes rule: 1.8 is in range for the minimum 1.8.0_200.
    VersionBounds from200{parseVersion("1.8.0_200"), {}, "1.8.0_200", ""};
    EXPECT_EQ(chosenVendorKey(jdk, std::nullopt, jre, "1.8", from200), jre + "\\1.8");
}

TEST(RuntimeLookup, JavaOnPathIsLookedForInFixedPathEntriesOnly) {
    EXPECT_EQ(javaExeCandidatesOnPath("C:\\jdk\\bin;\\\\server\\share\\java\\bin\\;\"C:\\Program Files\\Java\\bin\""),
              (Homes{"C:\\jdk\\bin\\java.exe", "\\\\server\\share\\java\\bin\\java.exe",
                     "C:\\Program Files\\Java\\bin\\java.exe"}));
    // Entries that would be taken against the current directory name no fixed place.
    EXPECT_EQ(javaExeCandidatesOnPath(".;bin;C:jdk\\bin;..\\jre\\bin;;D:/java/bin"), (Homes{"D:/java/bin\\java.exe"}));
    EXPECT_EQ(javaExeCandidatesOnPath(""), Homes{});
    EXPECT_EQ(javaExeCandidatesOnPath("\"\";\"\"\"\""), Homes{});
}
