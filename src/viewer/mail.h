// A new mail message in the desktop's mail program, with a subject, a note
// and one attachment, through xdg-email.
#pragma once

#include <QString>

namespace kel {

enum class MailOutcome { Composed, NoMailProgram, Failed };

// Opens the compose window; waits for the helper to hand the message over.
MailOutcome composeMail(const QString &subject, const QString &body, const QString &attachment);

} // namespace kel
