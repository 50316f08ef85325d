#pragma once

#include <string>
#include <string_view>

#include "datetime/DateTime.h"

namespace kestrava {

// The regional format record. Separators are one character of UTF-8 text,
// or empty (which writes nothing).
struct TFormatSettings {
  std::string DateSeparator = "/";
  std::string TimeSeparator = ":";
  std::string ShortDateFormat = "dd/mm/yyyy";
  std::string ShortTimeFormat = "hh:nn";
  std::string LongTimeFormat = "hh:nn:ss";
  std::string ThousandSeparator = ",";
  std::string DecimalSeparator = ".";
};

// The process-wide record, one of the few process-wide settings.
extern TFormatSettings FormatSettings;

// Reads the user's regional settings (the process locale); the time
// separator is ":" when the locale gives none. The one place that knows how
// the platform reports them.
TFormatSettings ReadSystemFormatSettings();

// Start-up: fill FormatSettings from the system, then apply the overrides
// (DateSeparator ".", ShortDateFormat "dd/mm/yyyy", ShortTimeFormat and
// LongTimeFormat "hh:nn:ss", ThousandSeparator ".", DecimalSeparator ",").
void InitializeFormatSettings();
// After the system announces a change of its regional settings: refill from
// the system, without the overrides.
void RefreshFormatSettings();

std::string FormatDateTime(std::string_view format, TDateTime value,
                           const TFormatSettings& settings);

}  // namespace kestrava
