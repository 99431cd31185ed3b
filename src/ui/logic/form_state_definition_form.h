#pragma once

#include "ui/logic/manager_host.h"
#include "ui/logic/program_form.h"

namespace kip {

// The definition manager's view of the definition dialog: its form state's load and store.
class FormStateDefinitionForm final : public DefinitionForm {
 public:
  explicit FormStateDefinitionForm(ProgramFormState& state) : m_state(state) {}
  void LoadDefinition(const StartDefinition& def) override { kip::LoadDefinition(m_state, def); }
  void StoreDefinition(StartDefinition& def) override { kip::StoreDefinition(m_state, def); }

 private:
  ProgramFormState& m_state;
};

}  // namespace kip
