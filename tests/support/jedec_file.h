// Builds JEDEC fuse-map files for tests: a header, the "*L00000" fuse list, the fuse checksum and
// the transmission trailer, as device programming tools write them. The simulator's writer, so
// the tests and `tovsim --write-update-files` make the same files.
#pragma once

#include "sim/update_files.h"

namespace tov::test {

using sim::fuseChecksum;
using sim::fuseLines;
using sim::fuseRows;
using sim::JedecFrame;
using sim::jedecText;
using sim::writeTextFile;

}  // namespace tov::test
