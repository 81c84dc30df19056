// Applies the edit boxes' input rules to the real widgets: each typed character goes
// through the box's key filter, pasted or dropped text as if typed, and an empty box
// gets its replacement when left. Editing shortcuts (select all, copy, cut, paste,
// undo, redo) are not typed characters: they pass.
#pragma once

#include <QObject>

#include <optional>

#include "model/window_model.h"

class QEvent;
class QKeyEvent;
class QLineEdit;
class QString;

namespace quorvane {

class InputRuleFilter : public QObject {
public:
    explicit InputRuleFilter(QObject* parent = nullptr) : QObject(parent) {}

    // Watches `edit` with `rule`; the rule must outlive the edit.
    void Watch(QLineEdit& edit, const InputRule& rule);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool PastesFiltered(QLineEdit& edit, const InputRule& rule, QEvent& event);
};

// Inserts `text` at the cursor (over the selection) keeping only the characters the
// rule lets through, each measured against the text before it as typing would.
void InsertFiltered(QLineEdit& edit, const InputRule& rule, const QString& text);

// The character a key press types, as the key filters see it: backspace as 8, an
// editing shortcut as nothing, any other Ctrl+letter as its control character, a printable key as its Latin-1 byte
// ('?' when it has none). Keys that type nothing (arrows, Delete, Tab, Home) give
// nullopt and are never filtered.
std::optional<char> TypedCharacter(const QKeyEvent& event);

}  // namespace quorvane
