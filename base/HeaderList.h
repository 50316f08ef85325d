#pragma once

// The header fields of an HTTP head, of a request or of a reply, in the
// order they arrived or were added. Names match without regard to ASCII
// letter case, as HTTP field names do. A name may stand more than once and
// every field is kept, so the list says exactly what a head held.

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kestrava {

class HeaderList {
 public:
  using Field = std::pair<std::string, std::string>;  // name, value
  using iterator = std::vector<Field>::iterator;
  using const_iterator = std::vector<Field>::const_iterator;

  HeaderList() = default;
  HeaderList(std::initializer_list<Field> fields) : fields_(fields) {}

  // The value of the first field of that name, or none. The pointer holds
  // until the list next changes.
  const std::string* Find(std::string_view name) const noexcept;
  // The value of the first field of that name, or empty text.
  std::string Value(std::string_view name) const;
  std::size_t Count(std::string_view name) const noexcept;
  bool Has(std::string_view name) const noexcept { return Find(name) != nullptr; }

  // Appends a field; fields of the same name stay where they are.
  void Add(std::string name, std::string value);
  // Removes every field of that name; gives how many there were.
  std::size_t Remove(std::string_view name);
  // Removes every field of that name, then appends one with this value.
  void Set(std::string name, std::string value);

  // The fields, in order.
  std::size_t size() const noexcept { return fields_.size(); }
  bool empty() const noexcept { return fields_.empty(); }
  void clear() noexcept { fields_.clear(); }
  const Field& operator[](std::size_t index) const { return fields_[index]; }
  Field& back() { return fields_.back(); }
  iterator begin() noexcept { return fields_.begin(); }
  iterator end() noexcept { return fields_.end(); }
  const_iterator begin() const noexcept { return fields_.begin(); }
  const_iterator end() const noexcept { return fields_.end(); }

  friend bool operator==(const HeaderList&, const HeaderList&) = default;
  friend bool operator==(const HeaderList& list, const std::vector<Field>& fields) {
    return list.fields_ == fields;
  }

 private:
  std::vector<Field> fields_;
};

}  // namespace kestrava
