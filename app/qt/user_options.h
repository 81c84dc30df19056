// The user's own options for the window (the Tools menu's switches, the backup
// folder, ...), kept between runs in the user's configuration folder. They are never
// written into a settings file: those hold the tracker's configuration only.
#pragma once

#include <QSettings>
#include <QString>
#include <QVariant>

namespace quorvane {

class UserOptions {
public:
    // The file "options.ini" in the user's configuration folder for this program.
    UserOptions();
    // Another file (tests).
    explicit UserOptions(const QString& path);

    bool Flag(const QString& key, bool fallback) const;
    void SetFlag(const QString& key, bool value);
    QString Text(const QString& key, const QString& fallback = QString()) const;
    void SetText(const QString& key, const QString& value);
    // Several keys at once, written to the file once.
    void SetTexts(const QList<QPair<QString, QString>>& values);

    QString Path() const { return settings_.fileName(); }

    static QString DefaultPath();

private:
    QSettings settings_;
};

}  // namespace quorvane
