#pragma once

// The xlsx output format: an Office Open XML workbook (XlsxSheet) of one
// sheet, with the columns of the csv format (the member names of the
// records' top-level objects in order of first appearance; "value" for a
// record that is not an object) under a bold header row that stays in view,
// an autofilter over the table and columns as wide as their content (up to
// a limit). Each cell has the type of its value:
//
//   string      text, never a formula; an ISO 8601 date (2025-05-14) or a
//               local date-time (2025-05-14T08:30[:05[.250]][Z]) from 1900
//               on is a date cell shown as written (yyyy-mm-dd hh:mm:ss.000)
//   number      a number shown with as many decimals as written (12.50 as
//               0.00); one that a spreadsheet cannot hold as written (more
//               than 15 significant digits, such as a 20-digit id, more than
//               30 decimals, or out of range) is text as written
//   true/false  a boolean
//   null        an empty cell
//   nested      its compact JSON text
//
// A spreadsheet learns the columns only from the whole export, and the
// sheet's rows are written one after the other in one pass: the cells of
// each record go to a spool as they come. While the records bring no column
// that the first one lacked, a thread of its own writes the sheet under the
// first record's header as they come, so the sheet is ready when the export
// ends; a later new column drops that sheet and Finish writes it from the
// spool. The sheet's compressed rows are a nameless file in the system's
// temporary folder until the workbook's bytes are copied to the sink.
// Memory stays the same however long the export.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "output/RecordWriter.h"

namespace kestrava {

class XlsxWriter final : public RecordWriter {
 public:
  // `sheet`: the sheet's name (at most 31 characters, none of []:*?/\).
  XlsxWriter(ByteSink& out, std::unique_ptr<Spool> cells, std::string sheet);
  ~XlsxWriter() override;
  using RecordWriter::Add;
  bool Add(const TJSONValue& record) override;
  bool Finish() override;
  int Error() const noexcept override;
  std::string ErrorText() const override;

  // What a sheet holds at most.
  static constexpr std::uint32_t kMaxRecords = 1'048'575;  // under the header row
  static constexpr std::size_t kMaxColumns = 16'384;
  static constexpr std::size_t kMaxCellCharacters = 32'767;

 private:
  class Stream;
  struct NameHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view name) const noexcept {
      return std::hash<std::string_view>()(name);
    }
  };
  std::size_t Column(std::string_view name);
  bool AddCell(std::size_t column, const TJSONValue& value);
  bool Refuse(std::string reason);
  // Hands the cells gathered so far to the stream and the spool when they
  // have grown to a piece, or always.
  bool Hand(bool always);
  void StopStream();
  std::vector<double> Widths() const;

  ByteSink& out_;
  std::unique_ptr<Spool> cells_;
  std::string sheet_;
  std::vector<std::string> columns_;
  std::unordered_map<std::string, std::size_t, NameHash, std::equal_to<>> index_;
  std::vector<std::size_t> widths_;        // of each column's widest cell, in characters
  std::vector<std::uint32_t> lastRecord_;  // the last record (from 1) with a cell there
  std::uint32_t records_ = 0;
  std::unique_ptr<Stream> stream_;  // none once a record did not fit its header
  std::string refusal_;             // what the sheet cannot hold, once met
  int error_ = 0;                   // errno of a failure of the workbook's files
  std::string workbookError_;
};

}  // namespace kestrava
