// The port combo box: runs its drop-down handler each time its list is opened,
// before the list is shown.
#pragma once

#include <QComboBox>

#include <functional>

namespace quorvane {

class PortComboBox : public QComboBox {
public:
    using QComboBox::QComboBox;

    void SetDropDownHandler(std::function<void()> handler) { dropDown_ = std::move(handler); }

    void showPopup() override {
        if (dropDown_) dropDown_();
        QComboBox::showPopup();
    }

private:
    std::function<void()> dropDown_;
};

}  // namespace quorvane
