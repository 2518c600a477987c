#include "station/station_model.h"

namespace velk2 {

StationState make_station_state(const std::vector<StationPort>& ports) {
    StationState state;
    for (const StationPort& p : ports) {
        StationRow row;
        row.port = p.name;
        row.device = p.device;
        state.rows.push_back(std::move(row));
    }
    return state;
}

} // namespace velk2
