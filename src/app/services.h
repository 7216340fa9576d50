// One start-up for every front end (the viewer, the console, keltool): the
// program and temporary folders, the message table and the settings record,
// which live for the whole run and are passed by reference from here on.
#pragma once

#include "app/folders.h"
#include "app/messages.h"
#include "app/result.h"
#include "app/settings.h"

#include <QString>

namespace kel {

struct Services
{
    Folders folders;
    Messages messages;
    SettingsRecord settings;
};

enum class QueuePath { Skip, Read }; // QUEUE_PATH is the console's key

// Loads KEL.LNG, prepares the folders, loads KEL.INI (a missing KEL.INI
// gives an empty record) and applies the start-up defaults. Refused when the
// language file cannot be read (no message number; the detail is the text
// to show) or the temporary folder cannot be made safe (message 295; the
// detail names the folder and why).
Status loadServices(Services &services, QueuePath queuePath = QueuePath::Skip);

// The title of the box that shows a start-up refusal: the language file's
// failure has its own fixed title.
QString startupFailureTitle(const Refusal &refusal);

} // namespace kel
