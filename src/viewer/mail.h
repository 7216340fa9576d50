// A new mail message in the desktop's mail program, with a subject, a note
// and one attachment, through xdg-email.
#pragma once

#include <QString>
#include <chrono>
#include <string>

namespace kel {

enum class MailOutcome { Composed, NoMailProgram, Failed };

// Opens the compose window; waits for the helper to hand the message over.
MailOutcome composeMail(const QString &subject, const QString &body, const QString &attachment);

// Where mailed attachments wait for the mail program: a mail program may
// read the file long after the viewer has closed, so they are kept for a
// day in ~/.cache/kel/outbox (XDG_CACHE_HOME when set), not in the working
// folder that the viewer empties when it ends. "" when it cannot be made.
std::string outboxFolder();

// Removes the regular files of `folder` older than `age` (links and other
// entries are left alone); the viewer does this at every start.
void removeOldAttachments(const std::string &folder,
                          std::chrono::seconds age = std::chrono::hours(24));

} // namespace kel
