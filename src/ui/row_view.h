#pragma once

#include <QFocusEvent>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QSignalBlocker>
#include <functional>

namespace kip {

// A view of the list's rows in which the current row is always the selected one, so that moving with the
// keyboard selects as a click does and the commands that need a selection follow. Return on a row does what
// a double-click does.
template <class View>
class RowView : public View {
 public:
  using View::View;

  // Called for Return or Enter on the current row while no caption is being edited.
  void setOpenRow(std::function<void()> open) { m_openRow = std::move(open); }

 protected:
  void focusInEvent(QFocusEvent* event) override {
    // The toolkit makes the first row current, unselected, when the focus arrives: leave no row current
    // instead, so that nothing is selected before the user moves and the first arrow key takes the first row.
    QItemSelectionModel* selection = this->selectionModel();
    if (!selection || this->currentIndex().isValid()) {
      View::focusInEvent(event);
      return;
    }
    const QSignalBlocker quiet(selection);
    View::focusInEvent(event);
    if (!selection->hasSelection()) selection->clearCurrentIndex();
  }

  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override {
    View::currentChanged(current, previous);
    QItemSelectionModel* selection = this->selectionModel();
    if (selection && current.isValid() && !selection->isSelected(current))
      selection->select(current, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  }

  void keyPressEvent(QKeyEvent* event) override {
    const bool open = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (open && m_openRow && this->state() != View::EditingState && this->currentIndex().isValid() &&
        (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
      m_openRow();
      return;
    }
    // With no current row the toolkit answers every movement with the first row; End and Page Down should
    // go from there.
    const bool fromTop = event->key() == Qt::Key_End || event->key() == Qt::Key_PageDown;
    if (fromTop && !this->currentIndex().isValid() && this->model() && this->model()->rowCount(this->rootIndex()) > 0) {
      const QSignalBlocker quiet(this->selectionModel());
      this->selectionModel()->setCurrentIndex(this->model()->index(0, 0, this->rootIndex()),
                                              QItemSelectionModel::NoUpdate);
    }
    View::keyPressEvent(event);
  }

 private:
  std::function<void()> m_openRow;
};

}  // namespace kip
