#pragma once

#include <QHeaderView>
#include <QStyle>
#include <QStyleOptionHeader>

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
    int room = sectionSize(logicalIndex) - 2;
    if (isSortIndicatorShown() && sortIndicatorSection() == logicalIndex)
      room -= style()->pixelMetric(QStyle::PM_HeaderMarkSize, option, this) +
              2 * style()->pixelMetric(QStyle::PM_HeaderMargin, option, this);
    option->text = option->fontMetrics.elidedText(option->text, Qt::ElideRight, std::max(room, 0));
  }
};

}  // namespace kip
