#pragma once

// The file dialog of "Save As…" goes through one interface, so that tests
// can answer it without a person, as they answer the message boxes. The
// default is Qt's file dialog, modal for the window.

#include <QString>
#include <optional>

#include "app/ResultFile.h"

class QWidget;

namespace kestrava {

struct TSaveRequest {
  QWidget* window = nullptr;         // the window the dialog belongs to
  QString folder;                    // where it opens
  QString fileName;                  // the name it offers, with the type's suffix
  TSaveType type = TSaveType::Json;  // the type it offers
};

struct TSaveChoice {
  QString path;
  TSaveType type = TSaveType::Json;  // the type picked in the dialog
};

class TSaveDialog {
 public:
  virtual ~TSaveDialog() = default;
  // The file and type chosen; none when the operator cancelled.
  virtual std::optional<TSaveChoice> Ask(const TSaveRequest& request) = 0;
};

// Qt's file dialog, with one name filter for each type; the suffix of the
// filter picked is added to a name typed without one, and an existing file
// is replaced only once the operator confirms it.
class TQtSaveDialog final : public TSaveDialog {
 public:
  std::optional<TSaveChoice> Ask(const TSaveRequest& request) override;
};

// The file name suffix of a type, without the dot ("json").
QString SuffixOf(TSaveType type);
// The name filter of a type in the dialog ("CSV (*.csv)").
QString FilterOf(TSaveType type);
// The type a file is saved as: the one its name's suffix stands for (in any
// letter case), or the type picked when the suffix stands for none or for
// the same as the type picked (csv for Excel is a .csv file too).
TSaveType SaveTypeOf(const QString& path, TSaveType picked);

}  // namespace kestrava
