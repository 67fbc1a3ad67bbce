// The weekly reminder to look for a newer version, asked only when the
// companion tools program sits beside the player. Its last date lives in
// the user's profile.
#pragma once
#include <cstddef>
#include <cstdint>

inline constexpr const char* kVersionCheckKey = "LastVersionCheckDate";
inline constexpr const char* kVersionCheckDefault = "2006-23-14";
inline constexpr const char* kCompanionToolsName = "korvideo";
inline constexpr const char* kPlayerVersion = "1.8i";

struct LocalDate {
  int32_t year, month, day;
};

// "YYYY-MM-DD" into out (at least 16 bytes).
void FormatDate(const LocalDate& date, char* out, size_t out_size);

// The two reference dates: two months back on the same day, and one week
// back (day + 23 of the previous month in the first week of a month).
void ReminderDates(const LocalDate& today, char* two_months_back, char* week_back, size_t size);

// True when the reminder should ask today, given the profile's last date.
bool ReminderDue(const LocalDate& today, const char* last_check);

// The companion tools program's path: the program's own path with its
// file part replaced. Returns false when it does not fit.
bool CompanionToolsPath(const char* program_path, char* out, size_t out_size);
