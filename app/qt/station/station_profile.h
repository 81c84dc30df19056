// A station run's profile: what to write, the per-tracker values, the command, the
// command line's options (verify, back up, retry, repeat), the record and the
// ports. The last one is kept in the user's options ("station/..."); a job for the
// core station is made from it.
#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <string>
#include <vector>

#include "station/station_job.h"

namespace quorvane {

class UserOptions;

struct StationProfile {
    enum class Values { Window, File };
    enum class Command { WriteAll, ReadAll, WriteGroup };

    QString name = QStringLiteral("Bench");
    Values values = Values::Window;
    QString valuesFile;   // a settings file or a backup
    QString perTracker;   // CSV; empty for none
    Command command = Command::WriteAll;
    QString group = QStringLiteral("gprs");  // WriteGroup: the group's command-line name
    QString readFolder;   // ReadAll: one settings file per tracker here
    bool verify = false;
    bool backup = false;
    QString backupFolder;
    int retry = 0;
    bool repeat = false;
    bool record = true;
    QString recordFile;
    bool allPorts = true;
    QStringList ticked;  // the ports served when not all

    static StationProfile Load(const UserOptions& options);
    void Save(UserOptions& options) const;

    // The record file, the backup folder and the traffic files, in the user's data folder.
    static QString DefaultRecordFile();
    static QString DefaultBackupFolder();
    static QString TrafficBase();
};

// The core station's job for `profile` on `ports`. `windowValues` is the settings
// file holding the main window's values (Values::Window); `auth` the authorization
// code of the connect request.
StationJob JobOf(const StationProfile& profile, const std::vector<std::string>& ports,
                 const std::optional<std::string>& windowValues, const std::string& auth);

}  // namespace quorvane
