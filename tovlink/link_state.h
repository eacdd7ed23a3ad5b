// The library's one connection and the state kept between calls, at module level.
#pragma once

#include "files/files_session.h"
#include "link/link_context.h"
#include "target/target_link.h"

namespace tov::lib {

// The process-wide connection of the library.
link::LinkContext& linkState();
// The target requests on that connection, with the library's request and answer buffers.
target::TargetLink& targetLink();
// The file, download and flash state of that connection.
files::FilesSession& filesSession();

}  // namespace tov::lib
