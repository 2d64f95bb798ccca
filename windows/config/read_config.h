// Filling the configuration store from the data block in the launcher's own file.
#pragma once

#include "config/block_reader.h"
#include "core/handles.h"

#include <cstdint>
#include <string>

// File offset of the first included-file record. Written by readConfiguration.
extern uint64_t includedFilesPosition;

// Opens the launcher's own file for reading; a failure is fatal ("Error opening media file.").
FileHandle openLauncherFile();

// Reads the whole configuration; every failure ends the process with the read's fatal text.
void readConfiguration();

// Whether readConfiguration has filled the store: before that every setting reads as absent.
bool configurationRead();

// Ends the process with the fatal text of `error`, unless it is BlockError::None.
void failOnBlockError(BlockError error);
