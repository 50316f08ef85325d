#pragma once

// A captioned group of radio buttons laid out in columns of equal width;
// exactly one item is selected once one has been.

#include <QGroupBox>
#include <QRadioButton>
#include <QStringList>
#include <memory>
#include <vector>

namespace kestrava {

class TRadioGroup final : public QGroupBox {
  Q_OBJECT

 public:
  TRadioGroup(const QString& caption, const QStringList& items, int columns,
              QWidget* parent = nullptr);
  ~TRadioGroup() override;

  // The selected item, from 0, or -1 when none is.
  int ItemIndex() const;
  void SetItemIndex(int index);
  int Count() const noexcept { return static_cast<int>(items_.size()); }
  QRadioButton& Item(int index) { return *items_.at(static_cast<std::size_t>(index)); }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void PlaceItems();
  void UpdateTabStop();

  int columns_;
  std::vector<std::unique_ptr<QRadioButton>> items_;
};

}  // namespace kestrava
