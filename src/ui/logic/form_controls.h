#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace kip {

// The state of one control of a form, as the window shows it. The Qt form copies these to its widgets and
// back; the form logic reads and changes only these.
struct CheckBox {
  bool Checked = false;
  bool Enabled = true;
};

struct Edit {
  std::string Text;
  bool Enabled = true;
  bool Visible = true;
  std::size_t MaxLength = 0;  // characters the field takes; 0 without limit
};

struct ComboBox {
  std::vector<std::string> Items;
  int ItemIndex = -1;  // -1 when no list entry is selected
  std::string Text;
  bool Enabled = true;
  bool Sorted = false;    // new entries go to their sorted place
  bool Editable = false;  // the user may type a text that is not in the list
};

struct RadioGroup {
  int ItemIndex = 0;
  bool Enabled = true;
};

struct RadioButton {
  bool Checked = false;
  bool Enabled = true;
};

struct Label {
  std::string Caption;
  bool Visible = true;
  bool Enabled = true;
};

// A framed box whose contents follow the check box in front of it.
struct GroupBox {
  bool Enabled = true;
};

// Field presets: a count field of up to three digits, a text field with a start text, an editable combo box.
inline Edit countEdit() {
  Edit edit;
  edit.MaxLength = 3;
  return edit;
}
inline Edit textEdit(std::string text) {
  Edit edit;
  edit.Text = std::move(text);
  return edit;
}
inline ComboBox editableCombo(bool sorted) {
  ComboBox combo;
  combo.Editable = true;
  combo.Sorted = sorted;
  return combo;
}

}  // namespace kip
