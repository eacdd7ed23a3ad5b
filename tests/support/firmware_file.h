// Test data: firmware S-record files as a probe maker ships them, for the loader and the update.
// The simulator's writer, so the tests and `tovsim --write-update-files` make the same files.
#pragma once

#include "sim/update_files.h"

namespace tov::test {

using sim::FirmwareFile;
using sim::FirmwareTarget;
using sim::firmwareTarget;
using sim::sRecordLine;
using sim::sRecordText;
using sim::writeFirmwareFile;

}  // namespace tov::test
