#include "datetime/FormatSettings.h"

#include <string>

namespace kestrava {

TFormatSettings FormatSettings = ReadSystemFormatSettings();

void InitializeFormatSettings() {
  TFormatSettings settings = ReadSystemFormatSettings();
  // Built as strings and moved in: assigning the literals directly trips a
  // false -Wrestrict of GCC 12 at -O3.
  settings.DateSeparator = std::string(".");
  settings.ShortDateFormat = std::string("dd/mm/yyyy");
  settings.ShortTimeFormat = std::string("hh:nn:ss");
  settings.LongTimeFormat = std::string("hh:nn:ss");
  settings.ThousandSeparator = std::string(".");
  settings.DecimalSeparator = std::string(",");
  FormatSettings = std::move(settings);
}

void RefreshFormatSettings() {
  FormatSettings = ReadSystemFormatSettings();
}

}  // namespace kestrava
