#include "app/FormatJson.h"

#include <memory>

#include "json/JSON.h"
#include "json/JsonFormat.h"

namespace kestrava {

std::string FormatJson(std::string Json, int tipjSon) {
  std::unique_ptr<TJSONValue> parsed = ParseJSONValue(Json);
  const TJSONKind wanted = tipjSon != 0 ? TJSONKind::Array : TJSONKind::Object;
  if (parsed == nullptr || parsed->Kind() != wanted) return Json;
  std::string().swap(Json);
  return TJson::Format(*parsed);
}

}  // namespace kestrava
