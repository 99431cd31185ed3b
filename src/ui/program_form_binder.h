#pragma once

#include <QObject>
#include <functional>
#include <vector>

#include "ui/logic/program_form_state.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QWidget;

namespace kip {

// Connects each widget of the definition dialog to its member of the form state. pushAll() copies the state
// into the widgets without running their handlers; a widget's own change runs the logic's setter and then
// brings every enabled and visible flag up to date, since a click step may change those of other controls.
class ProgramFormBinder final : public QObject {
  Q_OBJECT
 public:
  ProgramFormBinder(ProgramFormState& state, QObject* parent);

  void check(QCheckBox* widget, CheckBox& control);
  // masked: a hh:mm field, read with its blanks so that a half-typed time stays unreadable.
  void edit(QLineEdit* widget, Edit& control, bool masked = false);
  void combo(QComboBox* widget, ComboBox& control);
  void radio(QButtonGroup* buttons, QWidget* frame, RadioGroup& control);
  void label(QLabel* widget, Label& control);
  void group(QWidget* frame, GroupBox& control);
  void netPresence(QRadioButton* present, QRadioButton* absent);
  // The contents of the tabs, enabled together.
  void pages(std::vector<QWidget*> contents);

  void pushAll();
  void pushFlags();
  // Called after any change a widget made to the state.
  std::function<void()> onChange;

 private:
  void changed();

  ProgramFormState& m_state;
  std::vector<std::function<void()>> m_values;
  std::vector<std::function<void()>> m_flags;
};

}  // namespace kip
