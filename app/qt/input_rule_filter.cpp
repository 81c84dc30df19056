#include "app/qt/input_rule_filter.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPointer>
#include <QVariant>

#include <string>

#include "model/input_rules.h"

#include "app/qt/latin1.h"

namespace quorvane {

namespace {

const char* const kRuleProperty = "quorvaneInputRule";

const InputRule* RuleOf(const QObject& edit) {
    return static_cast<const InputRule*>(edit.property(kRuleProperty).value<const void*>());
}

// Select all, copy, cut, paste, undo and redo: they edit the box, they type nothing.
bool IsEditingShortcut(const QKeyEvent& event) {
    for (const QKeySequence::StandardKey key : {QKeySequence::SelectAll, QKeySequence::Copy, QKeySequence::Cut,
                                                QKeySequence::Paste, QKeySequence::Undo, QKeySequence::Redo}) {
        if (event.matches(key)) return true;
    }
    return false;
}

}  // namespace

void InsertFiltered(QLineEdit& edit, const InputRule& rule, const QString& text) {
    // The selection is replaced, so its characters do not count towards a limit.
    std::string current = FromQt(edit.text());
    if (edit.hasSelectedText()) {
        current.erase(static_cast<std::size_t>(edit.selectionStart()),
                      static_cast<std::size_t>(edit.selectedText().size()));
    }
    QString kept;
    for (const QChar c : text) {
        const char byte = c.unicode() <= 0xff ? static_cast<char>(c.unicode()) : '?';
        if (byte == kBackspace || !KeyPasses(rule, current, byte)) continue;
        current += byte;
        kept += c;
    }
    // Nothing that passes leaves the box as it was, its selection included.
    if (!kept.isEmpty()) edit.insert(kept);
}

std::optional<char> TypedCharacter(const QKeyEvent& event) {
    const int key = event.key();
    if (key == Qt::Key_Backspace) return kBackspace;
    if (IsEditingShortcut(event)) return std::nullopt;
    const Qt::KeyboardModifiers mods = event.modifiers();
    // Other Ctrl+C, Ctrl+V and the like type a control character on the systems this
    // window's rules come from, whether or not the platform reports one.
    if ((mods & Qt::ControlModifier) && !(mods & (Qt::AltModifier | Qt::MetaModifier)) && key >= Qt::Key_A &&
        key <= Qt::Key_Z)
        return static_cast<char>(key - Qt::Key_A + 1);
    const QString text = event.text();
    if (text.size() != 1) return std::nullopt;
    const QChar c = text.at(0);
    if (c.unicode() < 0x20 || c.unicode() == 0x7f) return std::nullopt;  // Tab, Return, Escape, Delete
    return c.unicode() <= 0xff ? static_cast<char>(c.unicode()) : '?';
}

void InputRuleFilter::Watch(QLineEdit& edit, const InputRule& rule) {
    edit.setProperty(kRuleProperty, QVariant::fromValue(static_cast<const void*>(&rule)));
    edit.installEventFilter(this);
}

// Pasted and dropped text goes into a filtered box as if it were typed: what the
// filter refuses is left out. True when `event` was such a paste and is done.
bool InputRuleFilter::PastesFiltered(QLineEdit& edit, const InputRule& rule, QEvent& event) {
    if (edit.isReadOnly()) return false;
    switch (event.type()) {
    case QEvent::KeyPress:
        if (!static_cast<QKeyEvent&>(event).matches(QKeySequence::Paste)) return false;
        InsertFiltered(edit, rule, QGuiApplication::clipboard()->text());
        return true;
    case QEvent::MouseButtonRelease: {
        // The middle button pastes the selection on systems that have one.
        if (static_cast<QMouseEvent&>(event).button() != Qt::MiddleButton ||
            !QGuiApplication::clipboard()->supportsSelection())
            return false;
        InsertFiltered(edit, rule, QGuiApplication::clipboard()->text(QClipboard::Selection));
        return true;
    }
    case QEvent::Drop: {
        auto& drop = static_cast<QDropEvent&>(event);
        if (drop.mimeData() == nullptr || !drop.mimeData()->hasText()) return false;
        edit.deselect();
        edit.setCursorPosition(edit.cursorPositionAt(drop.position().toPoint()));
        InsertFiltered(edit, rule, drop.mimeData()->text());
        drop.acceptProposedAction();
        return true;
    }
    case QEvent::ContextMenu: {
        // The box's own menu, with its Paste item going through the filter.
        QPointer<QLineEdit> box(&edit);
        QMenu* menu = edit.createStandardContextMenu();
        menu->setAttribute(Qt::WA_DeleteOnClose);
        for (QAction* action : menu->actions()) {
            if (action->objectName() != QLatin1String("edit-paste")) continue;
            action->disconnect();
            connect(action, &QAction::triggered, this, [box, &rule] {
                if (box != nullptr) InsertFiltered(*box, rule, QGuiApplication::clipboard()->text());
            });
        }
        menu->popup(static_cast<QContextMenuEvent&>(event).globalPos());
        return true;
    }
    default: return false;
    }
}

bool InputRuleFilter::eventFilter(QObject* watched, QEvent* event) {
    auto* edit = qobject_cast<QLineEdit*>(watched);
    const InputRule* rule = edit != nullptr ? RuleOf(*edit) : nullptr;
    if (rule == nullptr) return false;

    if (rule->filter != KeyFilter::None && PastesFiltered(*edit, *rule, *event)) return true;
    if (event->type() == QEvent::KeyPress && rule->filter != KeyFilter::None) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const std::optional<char> typed = TypedCharacter(*key);
        if (typed && !KeyPasses(*rule, FromQt(edit->text()), *typed)) return true;  // the box ignores it
        // Text typed in one go by an input method is checked character by character.
        if (!typed && key->text().size() > 1) {
            std::string text = FromQt(edit->text());
            for (char c : FromQt(key->text())) {
                if (!KeyPasses(*rule, text, c)) return true;
                text += c;
            }
        }
    } else if (event->type() == QEvent::InputMethod && rule->filter != KeyFilter::None) {
        // Text composed by an input method is typed too: keep what the filter lets through.
        auto* input = static_cast<QInputMethodEvent*>(event);
        if (!input->commitString().isEmpty()) {
            std::string text = FromQt(edit->text());
            QString kept;
            for (const QChar c : input->commitString()) {
                const char byte = c.unicode() <= 0xff ? static_cast<char>(c.unicode()) : '?';
                if (!KeyPasses(*rule, text, byte)) continue;
                text += byte;
                kept += c;
            }
            input->setCommitString(kept, input->replacementStart(), input->replacementLength());
        }
    } else if (event->type() == QEvent::FocusOut && rule->hasLeaveRule) {
        // Leaving the box for another control of the window, not switching windows
        // or opening a menu.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
            std::string text = FromQt(edit->text());
            if (ApplyLeaveRule(*rule, text)) edit->setText(ToQt(text));
        }
    }
    return false;
}

}  // namespace quorvane
