#include "app/RadioGroup.h"

#include <QResizeEvent>
#include <QStyle>
#include <QStyleOptionGroupBox>
#include <algorithm>

namespace kestrava {

TRadioGroup::TRadioGroup(const QString& caption, const QStringList& items, int columns,
                         QWidget* parent)
    : QGroupBox(caption, parent), columns_(columns < 1 ? 1 : columns) {
  for (const QString& text : items) {
    items_.push_back(std::make_unique<QRadioButton>(text, this));
    connect(items_.back().get(), &QRadioButton::toggled, this, &TRadioGroup::UpdateTabStop);
  }
  PlaceItems();
  UpdateTabStop();
}

// The buttons are children of the group and owned by items_; they leave the
// group before it goes.
TRadioGroup::~TRadioGroup() = default;

int TRadioGroup::ItemIndex() const {
  for (std::size_t i = 0; i < items_.size(); ++i) {
    if (items_[i]->isChecked()) return static_cast<int>(i);
  }
  return -1;
}

void TRadioGroup::SetItemIndex(int index) {
  if (index < 0 || index >= Count()) return;
  items_[static_cast<std::size_t>(index)]->setChecked(true);
}

// The group is one stop of the tab chain, at its selected item (the first
// when none is); the arrow keys move between the items.
void TRadioGroup::UpdateTabStop() {
  const int stop = std::max(ItemIndex(), 0);
  for (int i = 0; i < Count(); ++i) {
    Item(i).setFocusPolicy(i == stop ? Qt::StrongFocus : Qt::ClickFocus);
  }
}

void TRadioGroup::resizeEvent(QResizeEvent* event) {
  QGroupBox::resizeEvent(event);
  PlaceItems();
}

// Columns of equal width inside the frame, the rows sharing its height.
void TRadioGroup::PlaceItems() {
  if (items_.empty()) return;
  QStyleOptionGroupBox option;
  initStyleOption(&option);
  const QRect inside =
      style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxContents, this);
  const int count = Count();
  const int rows = (count + columns_ - 1) / columns_;
  const int left = inside.left() + 6;
  const int width = (inside.width() - 6) / columns_;
  const int rowHeight = rows > 0 ? inside.height() / rows : inside.height();
  for (int i = 0; i < count; ++i) {
    QRadioButton& item = *items_[static_cast<std::size_t>(i)];
    const int column = i / rows;
    const int row = i % rows;
    const int height = item.sizeHint().height();
    item.setGeometry(left + column * width,
                     inside.top() + row * rowHeight + (rowHeight - height) / 2, width - 4, height);
  }
}

}  // namespace kestrava
