// The buttons and timers of the window and the operations they start. Each
// click handler is named after its control and calls into its transfer.
#pragma once

#include "session/context.h"

namespace velk2 {

void cm1_Click(Context& ctx);     // "Upload to Box"; also the automatic upload
void cm4_Click(Context& ctx);     // "STOP upload"
void cg1_Click(Context& ctx);     // "Download from Box"
void cmbinup_Click(Context& ctx); // "Service to Box"; also the BIN routes without its button
void cmgetfuji_Click(Context& ctx);
void cmchgfuji_Click(Context& ctx); // "fuji Live"
void cmdeffuji_Click(Context& ctx); // "fuji Def"
void cmputfuji_Click(Context& ctx); // "fuji Put"

} // namespace velk2
