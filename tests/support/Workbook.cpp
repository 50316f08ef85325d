#include "tests/support/Workbook.h"

#include <stdio.h>

namespace kestrava::testing {

std::string ReadWorkbook(const std::string& path, bool summary) {
  std::string quoted = "'";
  for (const char c : path) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  quoted += "'";
  const std::string command = std::string("/usr/bin/python3 ") + KESTRAVA_READ_WORKBOOK +
                              (summary ? " --summary " : " ") + quoted + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return "<read-workbook did not start>";
  std::string text;
  char buffer[4096];
  for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
  pclose(pipe);
  return text;
}

}  // namespace kestrava::testing
