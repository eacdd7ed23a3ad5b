// The library's one connection and the state kept between calls, at module level.
#pragma once

#include "files/connection.h"
#include "files/files_session.h"
#include "link/link_context.h"
#include "target/target_link.h"

namespace tov::lib {

// Makes the connection open its serial ports through `devices` and keep time on `clock`. Only
// before the connection's first use: the fuzz targets put a scripted probe behind the library.
void useLine(link::SerialDeviceFactory& devices, link::Clock& clock);

// The process-wide connection record of the library, and its three parts.
files::Connection& connection();
link::LinkContext& linkState();
// The target requests on that connection, with the library's request and answer buffers.
target::TargetLink& targetLink();
// The file, download and flash state of that connection.
files::FilesSession& filesSession();

// The progress callback registered by the client (TOV_ProgressSet), shared by every long call.
void setProgressCallback(void (*fn)(uint32_t done, uint32_t total, void* user), void* user);
// Hands progress to the client's callback, if one is registered.
void reportProgress(uint64_t done, uint64_t total);

}  // namespace tov::lib
