#pragma once
// Reads the chat's own log files (rooms, users, sites, censored words), whose
// lines are "<span class="time">" + the ctime text + "</span> " + the event.
#include <string>
#include <vector>

namespace test_support {

// The events of the file in order, without their time stamps. A line whose
// stamp is not a ctime text comes back whole, behind "bad stamp: ".
std::vector<std::string> log_events(const std::string& path);

}  // namespace test_support
