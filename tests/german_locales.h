// German locales compiled into a private folder, to be named by LOCPATH, so that the
// system's locales are left alone; and the texts the C library writes in them.
#pragma once

#include <locale.h>
#include <stdlib.h>

#include <ctime>
#include <filesystem>
#include <string>

#include "tests/program_run.h"

// The LC_TIME locale `name` from the folder (as LOCPATH would name it), or a null
// locale; LOCPATH is as it was afterwards.
inline locale_t OpenLocaleIn(const std::filesystem::path& folder, const std::string& name) {
  const char* old = ::getenv("LOCPATH");
  const std::string saved = old != nullptr ? old : "";
  const bool was_set = old != nullptr;
  ::setenv("LOCPATH", folder.c_str(), 1);
  locale_t locale = ::newlocale(LC_TIME_MASK, name.c_str(), static_cast<locale_t>(0));
  if (was_set) {
    ::setenv("LOCPATH", saved.c_str(), 1);
  } else {
    ::unsetenv("LOCPATH");
  }
  return locale;
}

// Compiles de_DE with the charmap ("UTF-8", "ISO-8859-1") into folder and answers the
// locale's name ("de_DE.ISO-8859-1"); empty when localedef or its de_DE source is
// missing.
inline std::string BuildGermanLocale(const std::filesystem::path& folder,
                                     const std::string& charmap) {
  const std::string name = "de_DE." + charmap;
  std::filesystem::create_directories(folder);
  // An output path with a "/" makes localedef write a folder there instead of adding
  // the locale to the system's archive.
  RunProgram("/usr/bin/localedef", {"-i", "de_DE", "-f", charmap, (folder / name).string()}, folder,
             {});
  locale_t locale = OpenLocaleIn(folder, name);
  if (locale == static_cast<locale_t>(0)) return "";
  ::freelocale(locale);
  return name;
}

// Today as "%d %b %Y" in a locale of the folder ("07 Dez 2026"), in that locale's
// codeset; empty when it cannot be opened.
inline std::string TodayInLocale(const std::filesystem::path& folder, const std::string& name) {
  locale_t locale = OpenLocaleIn(folder, name);
  if (locale == static_cast<locale_t>(0)) return "";
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  char text[64];
  ::strftime_l(text, sizeof text, "%d %b %Y", &local, locale);
  ::freelocale(locale);
  return text;
}
