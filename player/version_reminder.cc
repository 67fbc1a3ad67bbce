// Dates of the version reminder, compared as "YYYY-MM-DD" text.
#include "player/version_reminder.h"

#include <cstdio>
#include <cstring>

void FormatDate(const LocalDate& d, char* out, size_t out_size) {
  std::snprintf(out, out_size, "%04i-%02i-%02i", d.year, d.month, d.day);
}

void ReminderDates(const LocalDate& today, char* two_months_back, char* week_back, size_t size) {
  LocalDate a = today;
  a.month -= 2;
  if (a.month < 1) {
    a.month += 12;
    a.year -= 1;
  }
  FormatDate(a, two_months_back, size);
  LocalDate b = today;
  if (b.day > 7) {
    b.day -= 7;
  } else {
    b.day += 23;
    b.month -= 1;
    if (b.month < 1) {
      b.month = 12;
      b.year -= 1;
    }
  }
  FormatDate(b, week_back, size);
}

bool ReminderDue(const LocalDate& today, const char* last_check) {
  char a[32], b[32];
  ReminderDates(today, a, b, sizeof(a));
  if (std::strcmp(a, kVersionCheckDefault) <= 0) return false;
  return std::strcmp(last_check, b) < 0;
}

bool CompanionToolsPath(const char* program_path, char* out, size_t out_size) {
  const char* slash = std::strrchr(program_path, '/');
  size_t dir = slash ? static_cast<size_t>(slash - program_path) + 1 : 0;
  size_t name = std::strlen(kCompanionToolsName);
  if (dir + name + 1 > out_size) return false;
  std::memcpy(out, program_path, dir);
  std::memcpy(out + dir, kCompanionToolsName, name + 1);
  return true;
}
