#include "config/locale_table.h"
#include "config/user_locale.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

std::string nameFor(uint16_t languageId) { return localeNameForLanguage(languageId); }

const LocaleEntry* rowOf(uint16_t languageId) {
    for (size_t i = 0; i < localeTableSize; ++i)
        if (localeTable[i].languageId == languageId) return &localeTable[i];
    return nullptr;
}

std::string recordedLanguage() {
    char buffer[8] = "junk";
    return getUserLanguage(buffer, sizeof buffer) ? buffer : "<none>";
}

std::string recordedCountry() {
    char buffer[8] = "junk";
    return getUserCountry(buffer, sizeof buffer) ? buffer : "<none>";
}

}  // namespace

TEST(LocaleTable, ExactRowWins) {
    EXPECT_EQ(nameFor(0x0407), "de_DE");
    EXPECT_EQ(nameFor(0x0C07), "de_AT");
    EXPECT_EQ(nameFor(0x0416), "pt_BR");
    EXPECT_EQ(nameFor(0x0816), "pt_PT");
    EXPECT_EQ(nameFor(0x0009), "en");
    EXPECT_EQ(nameFor(0x500A), "es_PR");
}

TEST(LocaleTable, RowsWithUnusualNames) {
    EXPECT_EQ(nameFor(0x0814), "no_NO_NY");
    EXPECT_EQ(nameFor(0x0C0A), "es_ES");
    EXPECT_EQ(nameFor(0x040A), "es_ES");
    EXPECT_EQ(nameFor(0x2409), "en");
    EXPECT_EQ(nameFor(0x040D), "iw_IL");
    EXPECT_EQ(nameFor(0x0421), "in_ID");
    EXPECT_EQ(nameFor(0x041A), "hr_HR");
    EXPECT_EQ(nameFor(0x083C), "ga_IE");
    EXPECT_EQ(nameFor(0x0431), "ts");
}

TEST(LocaleTable, UnlistedSublanguageFallsBackToItsPrimaryLanguage) {
    EXPECT_EQ(nameFor(0x1807), "de");  // German, no row of its own
    EXPECT_EQ(nameFor(0x4409), "en");
    EXPECT_EQ(nameFor(0x101A), "sr");  // primary row of 0x041A's language, not "hr"
    EXPECT_EQ(nameFor(0x0856), "gl");
    // Only the low ten bits name the primary language.
    EXPECT_EQ(nameFor(0xFC07), "de");
}

TEST(LocaleTable, UnknownLanguageGivesEnglish) {
    EXPECT_EQ(nameFor(0x0000), "en");
    EXPECT_EQ(nameFor(0x0428), "en");  // primary 0x28 is not in the table
    EXPECT_EQ(nameFor(0x0442), "en");
    EXPECT_EQ(nameFor(0x03FF), "en");
}

TEST(LocaleTable, HasTheFixedRowsInAscendingOrder) {
    ASSERT_EQ(localeTableSize, 215u);
    size_t primaryRows = 0;
    while (primaryRows < localeTableSize && localeTable[primaryRows].languageId < 0x100) ++primaryRows;
    EXPECT_EQ(primaryRows, 71u);
    EXPECT_EQ(localeTable[0].languageId, 0x0001);
    EXPECT_EQ(localeTable[70].languageId, 0x0056);
    EXPECT_EQ(localeTable[71].languageId, 0x0401);
    EXPECT_EQ(localeTable[214].languageId, 0x500A);
    // Strictly ascending: no id appears twice, so lookup order never hides a row.
    for (size_t i = 1; i < localeTableSize; ++i)
        EXPECT_LT(localeTable[i - 1].languageId, localeTable[i].languageId) << "row " << i;
}

TEST(LocaleTable, NamesAreLanguageOrLanguageAndCountry) {
    for (size_t i = 0; i < localeTableSize; ++i) {
        const LocaleEntry& row = localeTable[i];
        ASSERT_NE(row.name, nullptr) << "row " << i;
        std::string name = row.name;
        if (row.languageId == 0x0814) continue;
        bool plain = name.size() == 2;
        bool withCountry = name.size() == 5 && name[2] == '_' && isupper(name[3]) && isupper(name[4]);
        EXPECT_TRUE(plain || withCountry) << name;
        EXPECT_TRUE(islower(name[0]) && islower(name[1])) << name;
        if (row.languageId < 0x100) EXPECT_TRUE(plain) << name;
    }
}

TEST(LocaleTable, FullRowsSpeakTheLanguageOfTheirPrimaryRow) {
    // Croatian shares its primary id with Serbian, and Irish with Scottish Gaelic.
    const std::set<uint16_t> exceptions = {0x041A, 0x083C};
    for (size_t i = 0; i < localeTableSize; ++i) {
        const LocaleEntry& row = localeTable[i];
        if (row.languageId < 0x100 || exceptions.count(row.languageId)) continue;
        const LocaleEntry* primary = rowOf(row.languageId & 0x3FF);
        ASSERT_NE(primary, nullptr) << std::hex << row.languageId;
        EXPECT_EQ(std::string(row.name, 2), primary->name) << std::hex << row.languageId;
    }
}

TEST(LocaleTable, OnlyTheseNamesAppearTwice) {
    std::map<std::string, std::vector<uint16_t>> ids;
    for (size_t i = 0; i < localeTableSize; ++i) ids[localeTable[i].name].push_back(localeTable[i].languageId);
    std::map<std::string, std::vector<uint16_t>> repeated;
    for (const auto& entry : ids)
        if (entry.second.size() > 1) repeated.insert(entry);
    // Full rows without a country repeat their primary row; a few sublanguages (scripts,
    // sort orders) share the name of another row.
    std::map<std::string, std::vector<uint16_t>> expected = {
        {"en", {0x0009, 0x2409}},    {"ts", {0x0031, 0x0431}},    {"xh", {0x0034, 0x0434}},
        {"zu", {0x0035, 0x0435}},    {"yi", {0x003D, 0x043D}},    {"tt", {0x0044, 0x0444}},
        {"es_ES", {0x040A, 0x0C0A}}, {"ko_KR", {0x0412, 0x0812}}, {"az_AZ", {0x042C, 0x082C}},
        {"uz_UZ", {0x0443, 0x0843}}, {"sr_CS", {0x081A, 0x0C1A}},
    };
    EXPECT_EQ(repeated, expected);
}

TEST(UserLocale, FiveCharacterNameGivesLanguageAndCountry) {
    setUserLocale("de_DE");
    EXPECT_EQ(recordedLanguage(), "de");
    EXPECT_EQ(recordedCountry(), "DE");
    setUserLocale("pt_BR");
    EXPECT_EQ(recordedLanguage(), "pt");
    EXPECT_EQ(recordedCountry(), "BR");
}

TEST(UserLocale, OtherLengthsGiveNoCountry) {
    setUserLocale("de_AT");
    setUserLocale("de");
    EXPECT_EQ(recordedLanguage(), "de");
    EXPECT_EQ(recordedCountry(), "<none>");
    setUserLocale("no_NO_NY");
    EXPECT_EQ(recordedLanguage(), "no");
    EXPECT_EQ(recordedCountry(), "<none>");
    setUserLocale("en");
    EXPECT_EQ(recordedLanguage(), "en");
    EXPECT_EQ(recordedCountry(), "<none>");
}

TEST(UserLocale, NothingUsableRecordsNothing) {
    setUserLocale("de_DE");
    setUserLocale("");
    EXPECT_EQ(recordedLanguage(), "<none>");
    EXPECT_EQ(recordedCountry(), "<none>");
    setUserLocale("x");
    EXPECT_EQ(recordedLanguage(), "<none>");
}

TEST(UserLocale, BufferTooSmallIsRefusedNotOverrun) {
    setUserLocale("fr_CA");
    char buffer[2] = {'#', '#'};
    EXPECT_FALSE(getUserLanguage(buffer, sizeof buffer));
    EXPECT_FALSE(getUserCountry(buffer, sizeof buffer));
    char exact[3];
    EXPECT_TRUE(getUserCountry(exact, sizeof exact));
    EXPECT_STREQ(exact, "CA");
}
