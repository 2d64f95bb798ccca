// The ids of every setting and message the data block can hold, by name. The launcher reads the
// configuration store only through these names, and the packer's key table gives each of them
// its TOML key; the key table refuses to build when one of these ids has no row of its kind, so
// the launcher cannot read an id the packer has no way to write.
#pragma once

// X(name, id): the settings, 8-bit texts in the block.
#define LAUNCHER_SETTING_IDS(X)          \
    X(ServiceName, 101)                  \
    X(FirstPathEnabled, 102)             \
    X(FirstPath, 103)                    \
    X(SecondPathEnabled, 104)            \
    X(SecondPath, 105)                   \
    X(LeadingFlag, 106)                  \
    X(ApplicationKind, 107)              \
    X(SplashEnabled, 108)                \
    X(ClassPath, 121)                    \
    X(MainClass, 122)                    \
    X(JvmOptions, 123)                   \
    X(ApplicationArguments, 124)         \
    X(AllowJArguments, 125)              \
    X(MinVersion, 126)                   \
    X(MaxVersion, 127)                   \
    X(SearchSequence, 128)               \
    X(AllowPrerelease, 130)              \
    X(RequireJdk, 131)                   \
    X(ModulePath, 132)                   \
    X(ModuleMode, 133)                   \
    X(TrustDirectories, 134)             \
    X(WorkingDirectory, 146)             \
    X(ServiceDependencies, 149)          \
    X(JvmType, 152)                      \
    X(AddDllDirectories, 154)            \
    X(SingleInstanceGlobal, 158)         \
    X(ApplicationId, 160)                \
    X(SplashFlag, 163)                   \
    X(ApplicationRuntimesOnly, 165)      \
    X(ReadVmOptionsFile, 166)            \
    X(SharingKey, 167)                   \
    X(UseLocatedAppRuntimes, 168)        \
    X(Generator, 2001)                   \
    X(IncludedFileCount, 2002)           \
    X(IncludedFilePaths, 2003)           \
    X(RootDirectory, 10003)              \
    X(NativeDirectories, 10004)          \
    X(SingleInstance, 10005)             \
    X(BringToFront, 10008)               \
    X(LongTempPaths, 10009)              \
    X(ReducePath, 10010)                 \
    X(RemoveJavaOptions, 10012)          \
    X(SplashText1Value1, 10109)          \
    X(SplashText1Value2, 10110)          \
    X(SplashText1, 10111)                \
    X(SplashText2Value1, 10113)          \
    X(SplashText2, 10114)                \
    X(SplashText2Value2, 10115)          \
    X(SplashText3Value1, 10116)          \
    X(SplashText3Value2, 10117)          \
    X(SplashText3, 10118)                \
    X(SplashText4Value1, 10120)          \
    X(SplashText4, 10121)                \
    X(SplashText4Value2, 10122)          \
    X(VersionOptionsCount, 10200)        \
    X(ServiceOutputFile, 30101)          \
    X(ServiceOutputMaxBytes, 30102)      \
    X(ServiceOutputKeep, 30103)          \
    X(ServiceStartCheckSeconds, 30104)   \
    X(ServiceDisplayName, 30105)         \
    X(ServiceDelayedStart, 30106)        \
    X(ServiceAccount, 30107)             \
    X(ServicePasswordEnv, 30108)         \
    X(ServiceRestartDelaySeconds, 30111) \
    X(ServiceRestarts, 30112)            \
    X(ServiceResetSeconds, 30113)        \
    X(SplashImage, 30401)                \
    X(DefaultCommand, 30501)

// X(name, id): the messages, UTF-16 texts that a language section may override.
#define LAUNCHER_MESSAGE_IDS(X)         \
    X(ErrorTitle, 1000)                 \
    X(RegistryRuntimeUnusable, 1005)    \
    X(ClassPathEntryMissing, 1006)      \
    X(ClassPathVariableMissing, 1008)   \
    X(ExtractionFailed, 1009)           \
    X(MainClassNotFound, 1010)          \
    X(MainMethodNotFound, 1011)         \
    X(NoTempDirectory, 1015)            \
    X(NoRuntimeFound, 1016)             \
    X(EnvironmentRuntimeUnusable, 1017) \
    X(DirectoryRuntimeUnusable, 1019)   \
    X(UnpackFailed, 1021)               \
    X(ServiceDescription, 20017)

#define LAUNCHER_ID_ENUMERATOR(name, id) name = id,

enum class SettingId : int { LAUNCHER_SETTING_IDS(LAUNCHER_ID_ENUMERATOR) };
enum class MessageId : int { LAUNCHER_MESSAGE_IDS(LAUNCHER_ID_ENUMERATOR) };

#undef LAUNCHER_ID_ENUMERATOR

// The version-specific option entries follow their count: entry k (from 0) has its condition
// in setting 10201 + 2k and its options in 10202 + 2k. They have no names of their own.
constexpr int kVersionOptionsFirstId = static_cast<int>(SettingId::VersionOptionsCount) + 1;
constexpr SettingId versionConditionSetting(int entry) {
    return static_cast<SettingId>(kVersionOptionsFirstId + 2 * entry);
}
constexpr SettingId versionOptionsSetting(int entry) {
    return static_cast<SettingId>(kVersionOptionsFirstId + 2 * entry + 1);
}

constexpr int idNumber(SettingId id) { return static_cast<int>(id); }
constexpr int idNumber(MessageId id) { return static_cast<int>(id); }
