#include "ui/program_form_binder.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalBlocker>

#include "ui/logic/program_form.h"

namespace kip {

namespace {

QString toQt(const std::string& text) { return QString::fromStdString(text); }

QStringList toQt(const std::vector<std::string>& items) {
  QStringList list;
  list.reserve(static_cast<qsizetype>(items.size()));
  for (const auto& item : items) list << toQt(item);
  return list;
}

}  // namespace

ProgramFormBinder::ProgramFormBinder(ProgramFormState& state, QObject* parent) : QObject(parent), m_state(state) {}

void ProgramFormBinder::changed() {
  pushFlags();
  if (onChange) onChange();
}

void ProgramFormBinder::check(QCheckBox* widget, CheckBox& control) {
  m_values.push_back([widget, &control] {
    const QSignalBlocker blocker(widget);
    widget->setChecked(control.Checked);
  });
  m_flags.push_back([widget, &control] { widget->setEnabled(control.Enabled); });
  connect(widget, &QCheckBox::toggled, this, [this, &control](bool checked) {
    SetChecked(m_state, control, checked);
    changed();
  });
}

void ProgramFormBinder::edit(QLineEdit* widget, Edit& control, bool masked) {
  m_values.push_back([widget, &control] {
    const QSignalBlocker blocker(widget);
    widget->setMaxLength(control.MaxLength > 0 ? static_cast<int>(control.MaxLength) : 32767);
    const QString text = toQt(control.Text);
    if (widget->text() != text) widget->setText(text);
  });
  m_flags.push_back([widget, &control] {
    widget->setEnabled(control.Enabled);
    widget->setVisible(control.Visible);
  });
  connect(widget, &QLineEdit::textChanged, this, [this, widget, masked, &control](const QString& text) {
    SetText(m_state, control, (masked ? widget->displayText() : text).toStdString());
    changed();
  });
}

void ProgramFormBinder::combo(QComboBox* widget, ComboBox& control) {
  m_values.push_back([widget, &control] {
    const QSignalBlocker blocker(widget);
    const QStringList items = toQt(control.Items);
    QStringList shown;
    for (int i = 0; i < widget->count(); ++i) shown << widget->itemText(i);
    if (shown != items) {
      widget->clear();
      widget->addItems(items);
    }
    widget->setCurrentIndex(control.ItemIndex);
    if (widget->isEditable()) widget->setEditText(toQt(control.Text));
  });
  m_flags.push_back([widget, &control] { widget->setEnabled(control.Enabled); });
  connect(widget, &QComboBox::currentIndexChanged, this, [this, &control](int index) {
    SetComboIndex(m_state, control, index);
    changed();
  });
  if (widget->isEditable())
    connect(widget, &QComboBox::editTextChanged, this, [this, &control](const QString& text) {
      SetComboText(m_state, control, text.toStdString());
      changed();
    });
}

void ProgramFormBinder::radio(QButtonGroup* buttons, QWidget* frame, RadioGroup& control) {
  m_values.push_back([buttons, &control] {
    for (QAbstractButton* button : buttons->buttons()) {
      const QSignalBlocker blocker(button);
      button->setChecked(buttons->id(button) == control.ItemIndex);
    }
    // An index outside the items leaves none chosen, as the stored value is kept until the user picks one.
    if (!buttons->button(control.ItemIndex)) {
      buttons->setExclusive(false);
      for (QAbstractButton* button : buttons->buttons()) {
        const QSignalBlocker blocker(button);
        button->setChecked(false);
      }
      buttons->setExclusive(true);
    }
  });
  m_flags.push_back([frame, &control] { frame->setEnabled(control.Enabled); });
  connect(buttons, &QButtonGroup::idToggled, this, [this, &control](int id, bool checked) {
    if (!checked) return;
    SetRadio(m_state, control, id);
    changed();
  });
}

void ProgramFormBinder::label(QLabel* widget, Label& control) {
  m_values.push_back([widget, &control] { widget->setText(toQt(control.Caption)); });
  m_flags.push_back([widget, &control] {
    widget->setEnabled(control.Enabled);
    widget->setVisible(control.Visible);
  });
}

void ProgramFormBinder::group(QWidget* frame, GroupBox& control) {
  m_flags.push_back([frame, &control] { frame->setEnabled(control.Enabled); });
}

void ProgramFormBinder::netPresence(QRadioButton* present, QRadioButton* absent) {
  m_values.push_back([this, present, absent] {
    const QSignalBlocker b1(present), b2(absent);
    present->setChecked(m_state.RB_netYes.Checked);
    absent->setChecked(m_state.RB_netNo.Checked);
  });
  connect(present, &QRadioButton::toggled, this, [this](bool checked) {
    SetNetPresent(m_state, checked);
    changed();
  });
}

void ProgramFormBinder::pages(std::vector<QWidget*> contents) {
  m_flags.push_back([this, contents] {
    for (QWidget* page : contents) page->setEnabled(m_state.PagesEnabled);
  });
}

void ProgramFormBinder::pushAll() {
  for (const auto& push : m_values) push();
  pushFlags();
}

void ProgramFormBinder::pushFlags() {
  for (const auto& push : m_flags) push();
}

}  // namespace kip
