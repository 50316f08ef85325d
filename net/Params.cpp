#include <algorithm>
#include <stdexcept>

#include "net/REST.h"

namespace kestrava {

void TRESTRequestParameterList::Clear() noexcept {
  items_.clear();
}

std::size_t TRESTRequestParameterList::Count() const noexcept {
  return items_.size();
}

const TRESTRequestParameter& TRESTRequestParameterList::operator[](std::size_t index) const {
  return items_.at(index);
}

void TRESTRequestParameterList::Add(TRESTRequestParameter parameter) {
  std::erase_if(items_, [&](const TRESTRequestParameter& p) { return p.Name == parameter.Name; });
  items_.push_back(std::move(parameter));
}

void TRESTRequestParameterList::RemoveKind(TRESTRequestParameterKind kind) {
  std::erase_if(items_, [kind](const TRESTRequestParameter& p) { return p.Kind == kind; });
}

}  // namespace kestrava
