// The library's one connection and the state kept between calls, at module level.
#pragma once

#include "link/link_context.h"

namespace tov::lib {

// The process-wide connection of the library.
link::LinkContext& linkState();

}  // namespace tov::lib
