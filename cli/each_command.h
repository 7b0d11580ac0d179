// quenly-batch --each: one PDF per person, optionally locked, in a folder.
#pragma once

#include "batch_options.h"

namespace quenly::batch {

/// Runs the export of `args.source` and writes each counted person's slip to `args.each`, all
/// files or none. Returns the exit code: 0 written, 1 failed (the reason on standard error), 2
/// a column or folder that cannot be used.
int runEach(const Arguments& args);

} // namespace quenly::batch
