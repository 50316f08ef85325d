#include "cli/SecretMask.h"

#include <algorithm>
#include <string_view>

#include "json/JSON.h"

namespace kestrava::cli {
namespace {

constexpr std::string_view Mask = "********";

}  // namespace

void SecretMask::Add(const std::string& secret) {
  if (secret.size() < 4) return;
  TJSONObject holder;
  holder.AddPair("", secret);
  const std::string compact = holder.ToString();  // {"":"..."}
  std::string escaped = compact.substr(5, compact.size() - 7);
  if (escaped != secret) forms_.push_back(std::move(escaped));
  forms_.push_back(secret);
  // The longest forms first, so masking a shorter one cannot split them.
  std::stable_sort(forms_.begin(), forms_.end(),
                   [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
}

std::string SecretMask::operator()(std::string text) const {
  for (const std::string& form : forms_) {
    for (std::size_t at = text.find(form); at != std::string::npos;
         at = text.find(form, at + Mask.size())) {
      text.replace(at, form.size(), Mask);
    }
  }
  return text;
}

}  // namespace kestrava::cli
