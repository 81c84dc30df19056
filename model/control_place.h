// Where a control sits on screen, told to the user beside an error about its text.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "seams/ui.h"

namespace quorvane {

// The control's tab caption and the label the user reads beside it; in a table the
// row is named too ("No. 3 Latitude"). nullopt for a name the window does not have.
std::optional<ControlPlace> PlaceOfControl(std::string_view control);

}  // namespace quorvane
