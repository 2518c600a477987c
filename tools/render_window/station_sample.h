// A station in the middle of a run, for the pictures of the station window:
// one port in each state a workshop sees (waiting for a box, flashing,
// done, failed with its reason, remove the box).
#pragma once

#include "station/station_model.h"

namespace velk2 {

// Paths and devices as Windows names them when `windows`, else as Linux does.
StationState sample_station(bool windows);

} // namespace velk2
