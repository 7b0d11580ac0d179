// The command line of quenly-batch: its options, their checks and the usage text, shared by the
// command's modes.
#pragma once

#include "header_options.h"
#include "payslip_export.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quenly::batch {

/// A wrong command line: the message says what is wrong (empty for --help); the usage follows.
struct UsageError {
    std::string message;
};

/// The usage text, one line per mode.
extern const std::string_view kUsage;

struct Arguments {
    std::string source;
    /// The result file of the plain mode.
    std::string result;
    std::optional<std::pair<std::string, std::string>> rows;
    std::optional<std::pair<std::string, std::string>> cols;
    std::optional<std::string> timings;

    /// --each FOLDER: one PDF per person in FOLDER instead of a result file.
    std::optional<std::string> each;
    bool overwrite = false;
    /// The persons' columns, by title or letters: their names, their passwords.
    std::optional<std::string> nameCol;
    std::optional<std::string> passwordCol;
    /// Only the last N characters of the password cell (0: all of it).
    int passwordLast = 0;

    /// --mail SETTINGS.ini: each person's slip sent to them by e-mail, to the address in toCol.
    std::optional<std::string> mail;
    std::optional<std::string> toCol;
    std::optional<std::string> cafile;
    /// Seconds between two mails.
    double interval = 0;
    bool dryRun = false;
    bool resume = false;
    bool newRun = false;
    bool skipInvalid = false;
};

/// Returns the value of the option being read; throws UsageError when it has none.
using OptionValue = std::function<std::string_view()>;

/// "START-END" split at its one "-"; both parts checked by `valid`, or UsageError saying that
/// they must be `what`.
std::pair<std::string, std::string> splitSpan(std::string_view option, std::string_view text,
                                              bool (*valid)(std::string_view),
                                              std::string_view what);
/// A row number from 1 to 1048576, in decimal digits.
bool isRowNumber(std::string_view s);
/// One to three ASCII letters.
bool isColumnLetters(std::string_view s);
std::string upper(std::string s);

/// Reads an option of the mail mode into `a`; false when `arg` is none of them.
bool parseMailOption(std::string_view arg, const OptionValue& value, Arguments& a);
/// Checks the mail mode's command line (one positional argument, the source).
void checkMailArguments(Arguments& a, const std::vector<std::string>& positional);

/// Reads the command line; throws UsageError.
Arguments parseArguments(int argc, char** argv);

/// The settings of the export: sys.ini beside the program, its rows or columns replaced by
/// --rows and --cols.
ExportSettings exportSettingsOf(const Arguments& args);

} // namespace quenly::batch
