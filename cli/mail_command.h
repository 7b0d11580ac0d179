// quenly-batch SOURCE --mail SETTINGS.ini: each person's slip sent to them alone by e-mail.
#pragma once

#include "batch_options.h"

namespace quenly::batch {

/// Runs the mail mode: the export, the checks (printed as a table), then the mails unless
/// --dry-run. Returns the exit code: 0 when every person was sent to (now or by an earlier run),
/// 1 when none or some were not (the reason and the list on standard error), 2 for a column
/// that names nothing.
int runMail(const Arguments& args);

} // namespace quenly::batch
