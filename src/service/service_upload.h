// "Service to Box": writes the upload data into the box's memory at the
// service address through the box monitor at 230400 baud, then reads the
// first 2048 bytes back into a file.
#pragma once

#include <cstddef>
#include <string>

#include "session/context.h"

namespace velk2 {

// The whole exchange ("Service to Box", and the BIN route of "Upload to Box"
// and of the automatic start): speed switch to 230400, write, switch back,
// read-back into "read2" in the work folder. Starts nothing while another
// exchange holds the port or the data cannot go out (false then); says in a
// message box when the data did not reach the box.
bool service_upload(Context& ctx);

// Writes `data` to the service address in pieces, each acknowledged before
// the next one. The count of bytes the box acknowledged.
std::size_t service_write(Context& ctx, const std::string& data);

// Reads the first pieces of `n` bytes written by service_write back into the
// file `name`, rewritten from empty.
void service_readback(Context& ctx, std::size_t n, const std::string& name);

// One diagnostic reply line: label, time of day in seconds, the length of the
// reply and its hex dump.
std::string reply_line(const std::string& label, double seconds, const std::string& reply);

} // namespace velk2
