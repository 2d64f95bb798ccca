// Java version texts and the comparisons the runtime search is built on. A version text
// ("1.8.0_201", "11.0.2+9", "17-ea") becomes a list of integers; the comparisons are plain
// component-wise, so the old 1.x numbering is simply lower than 9 and later.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

using JavaVersion = std::vector<int32_t>;

// Splits at any run of '.', '_', '-', '+' and reads each piece as atol does (leading
// digits; none gives 0). An empty text gives the empty list.
JavaVersion parseVersion(const std::string& text);

// Range test for registry key names: a version with fewer components than a bound passes
// that bound once all its components are equal (the key 1.8 passes the minimum 1.8.0_200).
bool versionKeyInRange(const std::string& text, const JavaVersion& minimum, const JavaVersion& maximum);

// Pre-release filter plus a range test in which missing components count as 0 (1.8 fails
// the minimum 1.8.0_200). Pre-release texts ("beta", "-ea", "-rc") pass only when
// `allowPreRelease` or `preReleaseSetting` (setting 130) allows them; the rejection is logged.
bool checkVersion(const std::string& text, const JavaVersion& minimum, const JavaVersion& maximum, bool allowPreRelease,
                  bool preReleaseSetting);

// Whether `a` is strictly newer than `b`; the empty text is never newer, and every non-empty
// text is newer than the empty one.
bool isNewerVersion(const std::string& a, const std::string& b);

// The version a `java -version` banner reports: for every line holding ` version "`, the text
// after it up to the next double quote (or, without one, the rest of the line less its last
// two characters). The last matching line wins; false when none matches.
bool parseVersionBanner(const std::string& output, std::string& version);

// The order in which registry subkeys named by versions are tried: kept names sorted
// byte-wise ascending and tried from the greatest down (9 before 11, 1.8.0_31 before 1.8.0_201).
std::vector<std::string> vendorKeyTryOrder(std::vector<std::string> names);

// Whole-text, case-sensitive wildcard match of a version condition: "?" matches any one
// character, "*" any run including the empty one. Both texts end at their first NUL. The
// match backtracks only to the last "*" seen, so it takes at most (pattern length + 1) x
// (text length + 1) steps whatever the number of stars.
bool matchVersionWildcard(const char* pattern, const char* text);
bool matchVersionWildcard(const wchar_t* pattern, const wchar_t* text);
