#include "app/qt/input_rule_filter.h"

#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
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

}  // namespace

std::optional<char> TypedCharacter(const QKeyEvent& event) {
    const int key = event.key();
    if (key == Qt::Key_Backspace) return kBackspace;
    const Qt::KeyboardModifiers mods = event.modifiers();
    // Ctrl+C, Ctrl+V and the like type a control character on the systems this
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

bool InputRuleFilter::eventFilter(QObject* watched, QEvent* event) {
    auto* edit = qobject_cast<QLineEdit*>(watched);
    const InputRule* rule = edit != nullptr ? RuleOf(*edit) : nullptr;
    if (rule == nullptr) return false;

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
