// The core's text is bytes, one char per 8-bit character; Qt's is QString. The
// window converts between them as Latin-1, so every byte value survives.
#pragma once

#include <QByteArray>
#include <QString>
#include <QValidator>

#include <string>
#include <string_view>

namespace quorvane {

inline QString ToQt(std::string_view bytes) {
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

inline std::string FromQt(const QString& text) {
    const QByteArray bytes = text.toLatin1();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

// Refuses a character the tracker's 8-bit text cannot hold, typed or pasted, so a
// box never shows what would reach the tracker as another character.
class Latin1Validator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int& /*pos*/) const override {
        for (const QChar c : input) {
            if (c.unicode() > 0xFF) return Invalid;
        }
        return Acceptable;
    }
};

}  // namespace quorvane
