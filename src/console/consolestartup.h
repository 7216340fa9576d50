// The console's start-up before any window or tick: the queue folder from
// the settings and the switches, the refusals that end the program, the
// connection to apply, and the lines the start-up window shows.
#pragma once

#include "app/commandline.h"
#include "app/result.h"

#include <QStringList>
#include <string>

namespace kel {

class Messages;
struct SettingsRecord;

// Message 92 titles the start-up's refusals.
inline constexpr int kMsgStartupTitle = 92;

// Applies "-P": the folder replaces QUEUE_PATH. Refused with 108 for a
// folder that ends in "\\", and with 257 when there is no queue folder at
// all (neither QUEUE_PATH nor "-P").
Status applyQueueSwitch(SettingsRecord &settings, const ConsoleSwitches &switches);

// The connection file to load at start-up: "-F" when given, else CNX_FILE
// when CHECK_EVERY is above 0 (".cnx" added to a name without "."); "" for
// none. `checkEverySeconds` is CHECK_EVERY, or 20 (the listing timer's
// own interval) when it is not above 0.
std::string startupConnection(const SettingsRecord &settings, const ConsoleSwitches &switches,
                              int &checkEverySeconds);

// The start-up window's status lines: the title and message 112, message
// 110 (flag V) or 111, message 113 and the folder; then message 114 and the
// connection file when one is loaded, 115 with "-E", 116 with "-I".
QStringList startupStatusLines(const Messages &messages, const ConsoleSwitches &switches,
                               const std::string &queueFolder, const std::string &connection);

// True when Qt can open windows here: the platform asked for (or the
// default one) has its display. "-H" aside, a console without one runs
// headless.
bool displayAvailable();

} // namespace kel
