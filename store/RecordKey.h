#pragma once

// The key that tells whether two records are the same record: its
// identifier member when it has one, else a digest of its whole text.

#include <string>
#include <string_view>

#include "json/JSON.h"

namespace kestrava::store {

inline constexpr std::string_view kTransactionIdMember = "transactionId";
inline constexpr std::string_view kAccountIdMember = "accountId";

// The member `idMember` of the record when it is a non-empty string (its
// content) or a number (its text as written); otherwise "sha256:" and the
// lower-case hex SHA-256 of `compactText`, the record's compact text.
std::string RecordKey(const TJSONValue& record, std::string_view idMember,
                      std::string_view compactText);

// Lower-case hex SHA-256 of the bytes.
std::string Sha256Hex(std::string_view bytes);

}  // namespace kestrava::store
