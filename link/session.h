// The text forms of opening a connection (the library's parameter text, the RDI library's name
// and number) and the connect step that starts the probe's firmware.
#pragma once

#include <cstdint>
#include <string>

#include "link/link_context.h"

namespace tov::link {

// Maps a serial port name to a device path: "COMn" is the device named by the environment
// variable TOV_COMn when set, else /dev/ttyS(n-1); "\\.\COMn" is the same; a name starting
// with "/" is a path. Returns an empty string for a name that maps to nothing.
std::string serialDevicePath(const std::string& portName);

// Opens from the library's parameter text: "COMn [RATE]", "/dev/... [RATE]" or
// "NETWORK HOST [1|2]". Returns 0 or an error code.
int32_t openFromText(LinkContext& link, const char* parameters);

// Opens, then sends the Start firmware request; when the probe answers from its loader, waits
// for it to restart and opens again.
int32_t connectFromText(LinkContext& link, const char* parameters);

// The RDI library's open: a name starting with "COM" is a serial port and `number` the wanted
// line rate; any other name is a network host and `number` its UDP port.
int32_t openByName(LinkContext& link, const char* name, uint32_t number);

// The RDI library's connect: openByName, then the same firmware start as connectFromText.
int32_t connectByName(LinkContext& link, const char* name, uint32_t number);

// Opens a UDP connection to host:port and checks it with link pings: 0, -1101, -1202 (host
// cannot be resolved) or -1201 (no answer to six pings).
int32_t openNetwork(LinkContext& link, const std::string& host, uint16_t port);

}  // namespace tov::link
