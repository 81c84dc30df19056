#include "app/qt/station/station_profile.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <algorithm>

#include "app/qt/user_options.h"
#include "link/groups.h"

namespace quorvane {
namespace {

std::string Local(const QString& path) {
    const QByteArray bytes = QFile::encodeName(path);
    return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

QString DataFile(const QString& name) {
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)).filePath(name);
}

}  // namespace

QString StationProfile::DefaultRecordFile() { return DataFile(QStringLiteral("station-record.jsonl")); }
QString StationProfile::DefaultBackupFolder() { return DataFile(QStringLiteral("backups")); }
QString StationProfile::TrafficBase() { return DataFile(QStringLiteral("station-traffic/traffic")); }

StationProfile StationProfile::Load(const UserOptions& o) {
    StationProfile p;
    p.name = o.Text(QStringLiteral("station/name"), p.name);
    p.values = o.Text(QStringLiteral("station/values")) == QLatin1String("file") ? Values::File : Values::Window;
    p.valuesFile = o.Text(QStringLiteral("station/valuesFile"));
    p.perTracker = o.Text(QStringLiteral("station/perTracker"));
    const QString command = o.Text(QStringLiteral("station/command"));
    if (command == QLatin1String("read-all")) {
        p.command = Command::ReadAll;
    } else if (command == QLatin1String("write")) {
        p.command = Command::WriteGroup;
    }
    const QString group = o.Text(QStringLiteral("station/group"), p.group);
    if (FindGroup(group.toStdString()) != nullptr) p.group = group;
    p.readFolder = o.Text(QStringLiteral("station/readFolder"));
    p.verify = o.Flag(QStringLiteral("station/verify"), false);
    p.backup = o.Flag(QStringLiteral("station/backup"), false);
    p.backupFolder = o.Text(QStringLiteral("station/backupFolder"), DefaultBackupFolder());
    p.retry = std::clamp(o.Text(QStringLiteral("station/retry"), QStringLiteral("0")).toInt(), 0, 9);
    p.repeat = o.Flag(QStringLiteral("station/repeat"), false);
    p.record = o.Flag(QStringLiteral("station/record"), true);
    p.recordFile = o.Text(QStringLiteral("station/recordFile"), DefaultRecordFile());
    p.allPorts = o.Flag(QStringLiteral("station/allPorts"), true);
    p.ticked = o.Text(QStringLiteral("station/ticked")).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return p;
}

void StationProfile::Save(UserOptions& o) const {
    auto flag = [](bool on) { return on ? QStringLiteral("true") : QStringLiteral("false"); };
    const char* words[] = {"write-all", "read-all", "write"};
    o.SetTexts({
        {QStringLiteral("station/name"), name},
        {QStringLiteral("station/values"), values == Values::File ? QStringLiteral("file") : QStringLiteral("window")},
        {QStringLiteral("station/valuesFile"), valuesFile},
        {QStringLiteral("station/perTracker"), perTracker},
        {QStringLiteral("station/command"), QString::fromLatin1(words[static_cast<int>(command)])},
        {QStringLiteral("station/group"), group},
        {QStringLiteral("station/readFolder"), readFolder},
        {QStringLiteral("station/verify"), flag(verify)},
        {QStringLiteral("station/backup"), flag(backup)},
        {QStringLiteral("station/backupFolder"), backupFolder},
        {QStringLiteral("station/retry"), QString::number(retry)},
        {QStringLiteral("station/repeat"), flag(repeat)},
        {QStringLiteral("station/record"), flag(record)},
        {QStringLiteral("station/recordFile"), recordFile},
        {QStringLiteral("station/allPorts"), flag(allPorts)},
        {QStringLiteral("station/ticked"), ticked.join(QLatin1Char('\n'))},
    });
}

StationJob JobOf(const StationProfile& p, const std::vector<std::string>& ports,
                 const std::optional<std::string>& windowValues, const std::string& auth) {
    StationJob job;
    job.ports = ports;
    job.auth = auth;
    switch (p.command) {
        case StationProfile::Command::WriteAll:
            job.command = JobCommand::WriteAll;
            job.commandWords = "write-all";
            break;
        case StationProfile::Command::ReadAll:
            job.command = JobCommand::ReadAll;
            job.saveDir = Local(p.readFolder);
            job.commandWords = "read-all " + *job.saveDir;
            break;
        case StationProfile::Command::WriteGroup:
            job.command = JobCommand::Write;
            job.group = p.group.toStdString();
            job.commandWords = "write " + job.group;
            break;
    }
    // A read puts the tracker's values in the file; nothing of the window goes out.
    if (p.command != StationProfile::Command::ReadAll) {
        job.load = p.values == StationProfile::Values::File ? std::optional<std::string>(Local(p.valuesFile))
                                                             : windowValues;
        if (!p.perTracker.isEmpty()) job.perTracker = Local(p.perTracker);
        if (p.backup) job.backupDir = Local(p.backupFolder);
        job.verify = p.verify;
    }
    job.retry = p.retry;
    job.repeat = p.repeat;
    if (p.record) job.report = Local(p.recordFile);
    job.trace = Local(StationProfile::TrafficBase());
    job.printValues = false;
    return job;
}

}  // namespace quorvane
