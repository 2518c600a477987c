// The station's cases: 16 ports waiting for boxes that do not come, and 16
// boxes flashed through the station at once. Run by name ("station" for
// both); their figures print as tables of their own.
#pragma once

#include <string>
#include <vector>

#include "case_support.h"

namespace bench {

const std::vector<std::string>& station_case_names();

// True when `words` ask for a station case.
bool station_selected(const std::vector<std::string>& words);

// Runs the station cases `words` ask for and prints their figures. Exit
// status as the other cases: 0, 3 when a target was missed, 1 when a case
// failed.
int run_station_cases(const Tools& tools, const std::string& work,
                      const std::vector<std::string>& words);

} // namespace bench
