#include "config/read_config.h"

#include "config/block_reader.h"
#include "config/config_store.h"
#include "config/launcher_file.h"
#include "config/user_locale.h"
#include "core/fatal.h"
#include "core/handles.h"
#include "core/log.h"
#include "core/presentation.h"
#include "paths/launcher_path.h"

uint64_t includedFilesPosition = 0;

namespace {

bool configurationComplete = false;

}  // namespace

FileHandle openLauncherFile() {
    const wchar_t* path = getLauncherPathWide();
    FileHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        DWORD error = GetLastError();
        logError(L"Could not open %p %d %s", file.get(), static_cast<int>(error), path);
        failWithText(L"Error opening media file.");
    }
    return file;
}

void failOnBlockError(BlockError error) {
    if (error != BlockError::None) failWithText(blockErrorText(error));
}

void readConfiguration() {
    LauncherFileSource source(openLauncherFile());
    BlockReader reader(source);
    locateDataBlock(reader);
    failOnBlockError(reader.error());

    BlockContents contents;
    failOnBlockError(parseConfigBlock(reader, configStore, chooseUserLocale, contents));
    includedFilesPosition = contents.includedFilesPosition;

    int kind = getSettingInt(SettingId::ApplicationKind);
    if (kind != 1 && kind != 5) consolePresentation = true;
    configurationComplete = true;
}

bool configurationRead() { return configurationComplete; }
