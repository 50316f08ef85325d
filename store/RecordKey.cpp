#include "store/RecordKey.h"

#include <openssl/evp.h>

#include <memory>

#include "base/Ascii.h"
#include "store/Store.h"

namespace kestrava::store {

std::string Sha256Hex(std::string_view bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                        &EVP_MD_CTX_free);
  if (context == nullptr || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1 ||
      EVP_DigestUpdate(context.get(), bytes.data(), bytes.size()) != 1 ||
      EVP_DigestFinal_ex(context.get(), digest, &length) != 1)
    throw EStoreError("cannot compute the SHA-256 digest of a record");
  std::string hex;
  hex.reserve(2 * length);
  for (unsigned int i = 0; i < length; ++i) AppendHexByte(hex, digest[i], HexCase::Lower);
  return hex;
}

std::string RecordKey(const TJSONValue& record, std::string_view idMember,
                      std::string_view compactText) {
  const TJSONValue* id = record.FindValue(idMember);
  if (id != nullptr && id->Kind() == TJSONKind::String) {
    const std::string_view text = static_cast<const TJSONString*>(id)->Value();
    if (!text.empty()) return std::string(text);
  }
  if (id != nullptr && id->Kind() == TJSONKind::Number)
    return std::string(static_cast<const TJSONNumber*>(id)->Value());
  return "sha256:" + Sha256Hex(compactText);
}

}  // namespace kestrava::store
