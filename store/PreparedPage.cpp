// A page's records as the store keeps them: made while the page's JSON
// values are at hand, so that writing the page needs none of them.

#include "store/RecordKey.h"
#include "store/Store.h"

namespace kestrava::store {
namespace {

constexpr std::string_view kBookingDateMember = "bookingDate";

// A string member's content, a number member's text; none for any other.
std::optional<std::string> MemberText(const TJSONValue& record, std::string_view name,
                                      bool numbersToo) {
  const TJSONValue* value = record.FindValue(name);
  if (value == nullptr) return std::nullopt;
  if (value->Kind() == TJSONKind::String)
    return std::string(static_cast<const TJSONString*>(value)->Value());
  if (numbersToo && value->Kind() == TJSONKind::Number)
    return std::string(static_cast<const TJSONNumber*>(value)->Value());
  return std::nullopt;
}

}  // namespace

TPreparedPage PreparePage(const TJSONArray& records) {
  TPreparedPage page;
  page.reserve(records.Count());
  for (std::size_t i = 0; i < records.Count(); ++i) {
    const TJSONValue& record = *records.Get(i);
    TPreparedRecord& prepared = page.emplace_back();
    prepared.Text = record.ToString();
    prepared.Key = RecordKey(record, kTransactionIdMember, prepared.Text);
    prepared.BookingDate = MemberText(record, kBookingDateMember, false);
    prepared.AccountId = MemberText(record, kAccountIdMember, true);
  }
  return page;
}

}  // namespace kestrava::store
