#include "base/HeaderList.h"

#include <algorithm>

#include "base/Ascii.h"

namespace kestrava {

namespace {

auto Named(std::string_view name) {
  return [name](const HeaderList::Field& field) { return EqualsIgnoreCase(field.first, name); };
}

}  // namespace

const std::string* HeaderList::Find(std::string_view name) const noexcept {
  const auto found = std::find_if(fields_.begin(), fields_.end(), Named(name));
  return found == fields_.end() ? nullptr : &found->second;
}

std::string HeaderList::Value(std::string_view name) const {
  const std::string* value = Find(name);
  return value == nullptr ? std::string() : *value;
}

std::size_t HeaderList::Count(std::string_view name) const noexcept {
  return static_cast<std::size_t>(std::count_if(fields_.begin(), fields_.end(), Named(name)));
}

void HeaderList::Add(std::string name, std::string value) {
  fields_.emplace_back(std::move(name), std::move(value));
}

std::size_t HeaderList::Remove(std::string_view name) {
  return std::erase_if(fields_, Named(name));
}

void HeaderList::Set(std::string name, std::string value) {
  Remove(name);
  Add(std::move(name), std::move(value));
}

}  // namespace kestrava
