#pragma once

#include <QHeaderView>
#include <QStyleOptionHeader>
#include <algorithm>

namespace kip {

// Column captions that do not fit their column end in "..." instead of being cut off at both sides of a
// centred caption; the model's tooltip shows them whole.
class ElidingHeader final : public QHeaderView {
 public:
  using QHeaderView::QHeaderView;

 protected:
  void initStyleOptionForIndex(QStyleOptionHeader* option, int logicalIndex) const override {
    QHeaderView::initStyleOptionForIndex(option, logicalIndex);
    // A centred caption may spread over the label's margins up to the section's edges, less a pixel each.
    const int room = std::max(sectionSize(logicalIndex) - 2, 0);
    option->text = option->fontMetrics.elidedText(option->text, Qt::ElideRight, room);
  }
};

}  // namespace kip
