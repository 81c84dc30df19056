// Applies the edit boxes' input rules to the real widgets: each typed character goes
// through the box's key filter, and an empty box gets its replacement when left.
#pragma once

#include <QObject>

#include <optional>

#include "model/window_model.h"

class QKeyEvent;
class QLineEdit;

namespace quorvane {

class InputRuleFilter : public QObject {
public:
    explicit InputRuleFilter(QObject* parent = nullptr) : QObject(parent) {}

    // Watches `edit` with `rule`; the rule must outlive the edit.
    void Watch(QLineEdit& edit, const InputRule& rule);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

// The character a key press types, as the key filters see it: backspace as 8, a
// Ctrl+letter shortcut as its control character, a printable key as its Latin-1 byte
// ('?' when it has none). Keys that type nothing (arrows, Delete, Tab, Home) give
// nullopt and are never filtered.
std::optional<char> TypedCharacter(const QKeyEvent& event);

}  // namespace quorvane
