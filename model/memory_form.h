// A headless window: every control of the window model with its start value, held
// in memory. The command line and the tests drive the window's logic through it.
#pragma once

#include <string>
#include <string_view>
#include <initializer_list>
#include <vector>

#include "seams/form.h"
#include "model/window_model.h"

namespace quorvane {

// Unknown names throw EUnknownControl. An accessor used on the wrong kind of
// control (Checked on an edit, ItemIndex on a check box) throws std::logic_error
// naming the control: a codec addressing a control wrongly is a programming error.
class MemoryForm : public Form {
public:
    MemoryForm();

    // Every control and tab sheet back to its start state.
    void Reset();

    std::string Text(std::string_view control) const override;
    void SetText(std::string_view control, std::string_view text) override;
    bool Checked(std::string_view control) const override;
    void SetChecked(std::string_view control, bool checked) override;
    int ItemIndex(std::string_view control) const override;
    void SetItemIndex(std::string_view control, int index) override;
    bool Enabled(std::string_view control) const override;
    void SetEnabled(std::string_view control, bool enabled) override;
    bool Visible(std::string_view control) const override;
    void SetVisible(std::string_view control, bool visible) override;
    std::string Caption(std::string_view control) const override;
    void SetCaption(std::string_view control, std::string_view caption) override;

    std::vector<std::string> Items(std::string_view control) const override;
    void SetItems(std::string_view control, std::vector<std::string> items) override;

    // True for a control or tab sheet name of the window.
    static bool Has(std::string_view name);

private:
    struct State {
        std::string text;  // edit, memo or shown combo text; caption of captioned controls
        std::vector<std::string> items;
        int itemIndex = -1;
        bool checked = false;
        bool visible = true;
        bool enabled = true;
    };

    const State& At(std::string_view name) const;
    State& At(std::string_view name);
    // The state of a control that must be of one of the kinds the accessor serves.
    const State& Expect(std::string_view name, const char* accessor, std::initializer_list<ControlKind> kinds,
                        bool tabSheets = false) const;
    State& Expect(std::string_view name, const char* accessor, std::initializer_list<ControlKind> kinds,
                  bool tabSheets = false);

    std::vector<State> states_;  // controls in model order, then the tab sheets
};

}  // namespace quorvane
