// The Form over the window's real widgets, found by object name: every widget's
// object name is its control name. Text crosses the boundary as Latin-1 bytes.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "seams/form.h"

class QTabWidget;
class QWidget;

namespace quorvane {

// Unknown names throw EUnknownControl; an accessor used on the wrong kind of control
// throws std::logic_error, as the headless form does. Setters block the widgets'
// signals, so a programmatic change never looks like the user's.
class WidgetForm : public Form {
public:
    // Indexes once the widgets below `root` named after a control of the window
    // model, and the tab sheets of `pages`.
    WidgetForm(QWidget& root, QTabWidget& pages);

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

    // The widget of a control or tab sheet.
    QWidget& Widget(std::string_view control) const;

private:
    struct Entry {
        QWidget* widget = nullptr;
        int tabIndex = -1;  // a tab sheet's page index, -1 for controls
        // Unnamed labels that name the control or give its unit; shown and hidden with it.
        std::vector<QWidget*> companions;
    };

    const Entry& At(std::string_view name) const;
    template <class W>
    W& Expect(std::string_view name, const char* accessor) const;

    QTabWidget& pages_;
    std::map<std::string, Entry, std::less<>> entries_;
};

// Form-side memo text uses "\r\n" line breaks; the widget uses "\n".
std::string ToFormLineBreaks(std::string_view widgetText);
std::string ToWidgetLineBreaks(std::string_view formText);

}  // namespace quorvane
