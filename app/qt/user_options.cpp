#include "app/qt/user_options.h"

#include <QStandardPaths>

namespace quorvane {

UserOptions::UserOptions() : UserOptions(DefaultPath()) {}

UserOptions::UserOptions(const QString& path) : settings_(path, QSettings::IniFormat) {}

QString UserOptions::DefaultPath() {
    return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) + QStringLiteral("/options.ini");
}

bool UserOptions::Flag(const QString& key, bool fallback) const {
    return settings_.value(key, fallback).toBool();
}

void UserOptions::SetFlag(const QString& key, bool value) {
    settings_.setValue(key, value);
    settings_.sync();
}

QString UserOptions::Text(const QString& key, const QString& fallback) const {
    return settings_.value(key, fallback).toString();
}

void UserOptions::SetTexts(const QList<QPair<QString, QString>>& values) {
    for (const auto& [key, value] : values) settings_.setValue(key, value);
    settings_.sync();
}

void UserOptions::SetText(const QString& key, const QString& value) {
    settings_.setValue(key, value);
    settings_.sync();
}

}  // namespace quorvane
