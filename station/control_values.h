// Controls as a station shows and takes them: CONTROL=VALUE lines, and a value
// given by a job (or in a per-tracker file) put into its control.
#pragma once

#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "seams/form.h"
#include "model/window_model.h"
#include "link/groups.h"
#include "station/station_job.h"

namespace quorvane {

// A value that does not fit its control, or a control that is not there.
class EBadValue : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

// An edit's or memo's text escaped, a check box 0/1, a combo box's item index.
std::string ValueOf(const Form& form, const ControlDef& control);
void PrintControls(std::ostream& out, const Form& form, const std::vector<const ControlDef*>& controls);
void PrintGroup(std::ostream& out, const Form& form, const Group& group);

// Throws EBadValue when the control is unknown or the value does not fit its kind
// (a check box 0 or 1, a combo box index among its items or -1). Whether an edit's
// text fits its field is CheckControlFits's (blocks/field_fit.h).
void ApplySet(Form& form, const std::string& name, const std::string& value);

// The controls a command prints or covers: the group's, every group's for the
// "all" commands, the Info tab's for info; none for maintenance commands.
std::vector<const ControlDef*> CommandControls(const StationJob& job);

// The controls a command prints on success: those it read from the tracker.
std::vector<const ControlDef*> PrintedControls(const StationJob& job);

// Encodes every block a write command would send and throws the encoder's
// EConvertError when a value does not convert or fit: nothing may reach the tracker then.
void CheckCommandEncodes(const Form& form, const StationJob& job);

}  // namespace quorvane
