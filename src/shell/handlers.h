// Binds the window's controls to the operations they start.
#pragma once

#include "shell/context.h"

namespace velk2 {

void wire_handlers(Context& ctx);

// The transfers that start-up can run on its own.
void start_upload(Context& ctx);         // "Upload to Box"
void start_service_upload(Context& ctx); // "Service to Box", also in builds without its button

} // namespace velk2
