// A file time as the user reads it: local time, "YYYY-MM-DD hh:mm:ss".
#pragma once

#include <cstdint>
#include <string>

// "<invalid timestamp>" when the system cannot convert the time.
std::string format_timestamp_text(std::uint64_t file_time);
