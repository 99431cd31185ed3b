#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "conditions/condition_tester.h"
#include "model/environment_snapshot.h"
#include "model/start_definition.h"
#include "platform/prompts.h"
#include "platform/registry.h"
#include "platform/system_info.h"
#include "ui/logic/help_topics.h"
#include "ui/logic/program_form_state.h"

namespace kip {

// What the definition dialog needs from the rest of the program when it is created.
struct ProgramFormEnvironment {
  Registry& registry;                   // the machine hive's hardware profiles
  const EnvironmentSnapshot& snapshot;  // IsNT, the current configuration and user
  SystemInfo& system;                   // whether the power status can be read
};

// Writes a moment as the user's locale writes a long date and time.
using LongDateTimeFormat = std::function<std::string(DateTime)>;

// The control the dialog puts the focus on.
enum class FormFocus { None, ModuleName, SpecialConfig, CB_days, CB_wait, TimeFrom, TimeTo };

// Setters that behave as the dialog's controls do: ticking a box runs its click step only when the tick
// changes, and a change-tracked control sets DialogChanged only when its value changes.
void SetChecked(ProgramFormState& form, CheckBox& box, bool checked);
void SetText(ProgramFormState& form, Edit& edit, std::string_view text);
// Typing into an editable combo box: the selection is kept only while the text still matches it.
void SetComboText(ProgramFormState& form, ComboBox& combo, std::string_view text);
void SetComboIndex(ProgramFormState& form, ComboBox& combo, int index);
void SetRadio(ProgramFormState& form, RadioGroup& group, int index);
// Chooses "Present" (true) or "Absent" in the resource test.
void SetNetPresent(ProgramFormState& form, bool present);

// Fills the lists that do not depend on a definition; run once.
void FormCreate(ProgramFormState& form, const ProgramFormEnvironment& environment);
// Fills every control from the definition without showing the dialog.
void LoadDefinition(ProgramFormState& form, const StartDefinition& definition);
// Brings the groups in line before the dialog is shown on the given page, writes the kept dates into the
// Status tab's labels and says which control takes the focus.
FormFocus FormShow(ProgramFormState& form, ProgramFormPage page, const LongDateTimeFormat& format = {});
// The first field of a page, which takes the focus when the page is shown; None while the pages are read-only.
FormFocus PageFocus(const ProgramFormState& form, ProgramFormPage page);
// The name, program and condition half of the store.
void StoreConditions(ProgramFormState& form, StartDefinition& definition);
// Writes every control back into the definition, builds its list texts and marks it Changed when the dialog
// changed anything.
void StoreDefinition(ProgramFormState& form, StartDefinition& definition);

// The click step of a group check box or of a "Special" box (run by SetChecked).
void CheckBoxClick(ProgramFormState& form, CheckBox& box);
// Leaving UserComboBox or GroupComboBox: a new typed name joins the list.
void UserComboBoxExit(ProgramFormState& form, ComboBox& combo);
// The time check when TimeFrom (leavingFrom) or TimeTo is left; the control to focus, or None.
FormFocus TimeFieldExit(ProgramFormState& form, Prompts& prompts, bool leavingFrom);

// The three browses; nothing changes when the user cancels.
void ProgramBrowseClick(ProgramFormState& form, Prompts& prompts);
void ParameterBrowseClick(ProgramFormState& form, Prompts& prompts);
void DirectoryBrowseClick(ProgramFormState& form, Prompts& prompts);

// "Test...": tests what the dialog shows on a temporary definition and reports the outcome; windowNote
// (why the desktop cannot act on the started program's window) is added when the start would need it.
void TestButtonClick(ProgramFormState& form, ConditionTester& tester, Prompts& prompts,
                     const std::string& windowNote = {});
// The help topic of a page.
int HelpTopic(ProgramFormPage page);
// OK: false (after telling the user) when a text is too long for the registry to keep.
bool OkButtonClick(const ProgramFormState& form, Prompts& prompts);

// Where the program browse splits a path: the last "\", ":" or "/" (npos when there is none).
std::size_t lastPathSeparator(std::string_view path);

// The program and parameter browses: programs first, then all files.
inline constexpr std::string_view kProgramFilter = "Programs|*|All files|*";
inline constexpr std::string_view kProgramFormCaption = "Kip Launch Manager - Program Definition";
inline constexpr int kProgramFormHelpTopic = help_topic::kDefinitionDialog;

}  // namespace kip
