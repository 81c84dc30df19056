// Controls as the command line shows and takes them: CONTROL=VALUE lines, and a
// value given as --set (or in a per-tracker file) put into its control.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "app/form.h"
#include "app/window_model.h"
#include "cli/cli_options.h"
#include "link/groups.h"

namespace quorvane {

// An edit's or memo's text escaped, a check box 0/1, a combo box's item index.
std::string ValueOf(const Form& form, const ControlDef& control);
void PrintControls(std::ostream& out, const Form& form, const std::vector<const ControlDef*>& controls);
void PrintGroup(std::ostream& out, const Form& form, const Group& group);

// Throws EUsage when the control is unknown or the value does not fit its kind.
void ApplySet(Form& form, const std::string& name, const std::string& value);

// The controls a command prints or covers: the group's, every group's for the
// "all" commands, the Info tab's for info; none for maintenance commands.
std::vector<const ControlDef*> CommandControls(const CliOptions& options);

// The controls a command prints on success: those it read from the tracker.
std::vector<const ControlDef*> PrintedControls(const CliOptions& options);

// Encodes every block a write command would send and throws the encoder's
// EConvertError when one does not convert: nothing may reach the tracker then.
void CheckCommandEncodes(const Form& form, const CliOptions& options);

}  // namespace quorvane
