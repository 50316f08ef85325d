#include "cli/FailureOutput.h"

#include "base/Utf8.h"
#include "cli/TerminalText.h"

namespace kestrava::cli {

std::string_view FirstCharacters(std::string_view text, std::size_t count) {
  std::size_t end = 0;
  for (std::size_t characters = 0; end < text.size() && characters < count; ++characters)
    end += std::max<std::size_t>(Utf8SequenceLength(text, end), 1);
  return text.substr(0, end);
}

std::vector<std::string> LogLines(const FailureDetail& failure) {
  const std::string_view text = failure.text;
  const std::string_view reason = text.substr(0, text.find_first_of("\r\n"));
  std::string first = "kestrava-cli: ";
  if (reason.empty()) {
    first += "failed without an error text";
  } else {
    const std::string_view shown = FirstCharacters(reason, kReasonCharacters);
    first += OnOneLine(shown);
    if (shown.size() < reason.size()) first += "\u2026";
  }
  if (!failure.certificate.empty()) first += ": " + failure.certificate;
  std::vector<std::string> lines = {first};
  if (!failure.reply.empty() && reason.find(failure.reply) == std::string_view::npos)
    lines.push_back("kestrava-cli: reply: " +
                    OnOneLine(FirstCharacters(failure.reply, kReplyCharacters)));
  return lines;
}

}  // namespace kestrava::cli
