// The program's icon, shipped as a resource.
#pragma once

#include <QIcon>

namespace tov::setup {

QIcon programIcon();

}  // namespace tov::setup
