#pragma once

// A search for a piece of text in the text area's UTF-8 text, fast enough
// to run over hundreds of megabytes while the operator types.
//
// Letter case counts only when the search holds a capital letter; without
// one, every letter of the search also finds its other case forms of the
// same length in UTF-8 (simple case folding: "s" finds "S", "ș" finds "Ș").
// Matches may overlap; every match has the search's length in bytes and
// starts where a character starts.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kestrava {

class TTextSearch {
 public:
  static constexpr std::size_t npos = std::string_view::npos;

  // The search for `needle` (UTF-8; bytes that are not UTF-8 find nothing).
  explicit TTextSearch(std::string_view needle);

  bool Empty() const noexcept { return length_ == 0; }
  bool CaseSensitive() const noexcept { return caseSensitive_; }
  // The length of every match, in bytes.
  std::size_t Length() const noexcept { return length_; }

  // The first match that starts in [from, to), or npos.
  std::size_t FindForward(std::string_view text, std::size_t from, std::size_t to) const;
  // The last match that starts in [from, to), or npos.
  std::size_t FindBackward(std::string_view text, std::size_t from, std::size_t to) const;
  // The matches that start in [from, to).
  std::size_t Count(std::string_view text, std::size_t from, std::size_t to) const;
  // Whether a match starts at `at`.
  bool MatchesAt(std::string_view text, std::size_t at) const noexcept;
  // The bytes of every match folded as TFindSummary folds them (all
  // matches are alike so); empty for an empty search.
  const std::string& Folded() const noexcept { return folded_; }

 private:
  // The forms one character of the search is found in, all of one length.
  struct TSlot {
    std::size_t offset = 0;
    std::size_t length = 0;
    std::vector<std::string> forms;
  };
  // The values a byte of a match may have, a few at most.
  struct TByteSet {
    std::array<unsigned char, 8> values{};
    std::size_t count = 0;
    void Add(unsigned char value);
    bool Has(unsigned char value) const noexcept;
  };
  // The byte at this offset in every match is one of `set`.
  struct TProbe {
    std::size_t offset = 0;
    TByteSet set;
  };

  // Calls found(start) for each match starting in [from, to) in order, as
  // long as it gives true.
  template <class Found>
  void Scan(std::string_view text, std::size_t from, std::size_t to, Found&& found) const;

  std::vector<TSlot> slots_;
  std::size_t length_ = 0;
  bool caseSensitive_ = true;
  // Two bytes of the search, rare in text such as the window's, looked for
  // first: only where both stand is a match checked.
  TProbe rare_;
  TProbe rarer_;
  std::string folded_;
};

}  // namespace kestrava
