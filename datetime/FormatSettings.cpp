#include "datetime/FormatSettings.h"

namespace kestrava {

TFormatSettings FormatSettings = ReadSystemFormatSettings();

void InitializeFormatSettings() {
  FormatSettings = ReadSystemFormatSettings();
  FormatSettings.DateSeparator = ".";
  FormatSettings.ShortDateFormat = "dd/mm/yyyy";
  FormatSettings.ShortTimeFormat = "hh:nn:ss";
  FormatSettings.LongTimeFormat = "hh:nn:ss";
  FormatSettings.ThousandSeparator = ".";
  FormatSettings.DecimalSeparator = ",";
}

void RefreshFormatSettings() {
  FormatSettings = ReadSystemFormatSettings();
}

}  // namespace kestrava
