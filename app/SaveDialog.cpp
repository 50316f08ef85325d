#include "app/SaveDialog.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QStringList>
#include <array>

namespace kestrava {

namespace {

// In the order the dialog offers them.
constexpr std::array kTypes = {TSaveType::Json, TSaveType::Csv, TSaveType::CsvExcel,
                               TSaveType::Ndjson, TSaveType::Xlsx};

QStringList Filters() {
  QStringList filters;
  for (const TSaveType type : kTypes) filters << FilterOf(type);
  return filters;
}

// The type of a name filter of the dialog; `otherwise` for none of them.
TSaveType TypeOfFilter(const QString& filter, TSaveType otherwise) {
  const auto index = Filters().indexOf(filter);
  return index >= 0 ? kTypes[static_cast<std::size_t>(index)] : otherwise;
}

// A name typed without a suffix gets that of the type picked when the
// operator accepts, before the dialog asks whether to replace a file of
// that name.
class TTypedFileDialog final : public QFileDialog {
 public:
  using QFileDialog::QFileDialog;

  void accept() override {
    setDefaultSuffix(SuffixOf(TypeOfFilter(selectedNameFilter(), TSaveType::Json)));
    QFileDialog::accept();
  }
};

}  // namespace

QString SuffixOf(TSaveType type) {
  switch (type) {
    case TSaveType::Csv:
    case TSaveType::CsvExcel:
      return QStringLiteral("csv");
    case TSaveType::Ndjson:
      return QStringLiteral("ndjson");
    case TSaveType::Xlsx:
      return QStringLiteral("xlsx");
    case TSaveType::Json:
      break;
  }
  return QStringLiteral("json");
}

QString FilterOf(TSaveType type) {
  switch (type) {
    case TSaveType::Csv:
      return QStringLiteral("CSV (*.csv)");
    case TSaveType::CsvExcel:
      return QStringLiteral("CSV for Excel with a decimal comma (*.csv)");
    case TSaveType::Ndjson:
      return QStringLiteral("NDJSON, one record a line (*.ndjson)");
    case TSaveType::Xlsx:
      return QStringLiteral("Excel workbook (*.xlsx)");
    case TSaveType::Json:
      break;
  }
  return QStringLiteral("JSON text as shown (*.json)");
}

TSaveType SaveTypeOf(const QString& path, TSaveType picked) {
  const QString suffix = QFileInfo(path).suffix().toLower();
  if (suffix == SuffixOf(picked)) return picked;
  for (const TSaveType type : kTypes) {
    if (suffix == SuffixOf(type)) return type;
  }
  return picked;
}

std::optional<TSaveChoice> TQtSaveDialog::Ask(const TSaveRequest& request) {
  TTypedFileDialog dialog(request.window, QStringLiteral("Save As"), request.folder);
  dialog.setObjectName(QStringLiteral("SaveDialog"));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  // Without a desktop there is no native dialog to show; Qt's own is one
  // that tests can answer.
  if (QGuiApplication::platformName() == QLatin1String("offscreen"))
    dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setNameFilters(Filters());
  dialog.selectNameFilter(FilterOf(request.type));
  dialog.setDefaultSuffix(SuffixOf(request.type));
  dialog.selectFile(request.fileName);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return TSaveChoice{dialog.selectedFiles().front(),
                     TypeOfFilter(dialog.selectedNameFilter(), request.type)};
}

}  // namespace kestrava
