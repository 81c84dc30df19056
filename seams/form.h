// The window's controls, addressed by name. The controls are the only store of the
// configuration: encoders read them, decoders and the settings file write them.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

// A name that is not a control of the window: a programming error, or an unknown
// name given on the command line.
class EUnknownControl : public std::out_of_range {
public:
    explicit EUnknownControl(std::string_view name)
        : std::out_of_range("unknown control '" + std::string(name) + "'") {}
};

class Form {
public:
    virtual ~Form() = default;

    // Edit text, memo text (line breaks as "\r\n"), or a combo box's shown text.
    virtual std::string Text(std::string_view control) const = 0;
    // Sets an edit's or memo's text, or a combo box's shown text (selection unchanged).
    virtual void SetText(std::string_view control, std::string_view text) = 0;

    // A check box is checked only when fully checked: the grayed state counts as clear.
    virtual bool Checked(std::string_view control) const = 0;
    virtual void SetChecked(std::string_view control, bool checked) = 0;

    // A combo box's selected item index, -1 for none.
    virtual int ItemIndex(std::string_view control) const = 0;
    // Selects item `index` and shows its text; an index outside the item list
    // (-1 included) leaves no item selected and an empty shown text.
    virtual void SetItemIndex(std::string_view control, int index) = 0;

    // A combo box's item list. Fixed for every box but the port list `ComboBox1`,
    // which the window fills at run time. Setting the items clears the selection and
    // keeps the shown text.
    virtual std::vector<std::string> Items(std::string_view control) const = 0;
    virtual void SetItems(std::string_view control, std::vector<std::string> items) = 0;

    virtual bool Enabled(std::string_view control) const = 0;
    virtual void SetEnabled(std::string_view control, bool enabled) = 0;
    virtual bool Visible(std::string_view control) const = 0;
    virtual void SetVisible(std::string_view control, bool visible) = 0;

    // Caption of a label, button, group box or tab sheet.
    virtual std::string Caption(std::string_view control) const = 0;
    virtual void SetCaption(std::string_view control, std::string_view caption) = 0;
};

}  // namespace quorvane
