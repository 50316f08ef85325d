#pragma once

#include <string>

namespace kestrava::bench {

// A deterministic transaction export: an array of `records` objects of about
// fifteen members each (strings, amounts written like 1234.50, booleans,
// null and one nested object).
std::string MakeTransactionExport(int records);

}  // namespace kestrava::bench
