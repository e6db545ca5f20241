// File times set on the host directly, beside the platform layer under test.
#pragma once

#include <ctime>
#include <filesystem>

// Sets the last-write (and last-access) time of a file or folder; false when the
// system refused.
bool SetHostWriteTime(const std::filesystem::path& path, std::time_t when);

// The same, from a local date and time (a day with summer time is taken as such).
bool SetHostLocalWriteTime(const std::filesystem::path& path, int year, int month, int day,
                           int hour, int minute, int second);
