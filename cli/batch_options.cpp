// The command line of quenly-batch: its options, their checks and the usage text.
#include "batch_options.h"

#include <charconv>

namespace quenly::batch {

const std::string_view kUsage =
    "用法：quenly-batch 源工作簿 结果.xlsx [--rows 起始行-结束行] [--cols 起始列-结束列]\n"
    "  例如：quenly-batch 工资表.xlsx 工资条.xlsx --rows 1-2 --cols A-M\n"
    "  结果文件名以 .pdf 结尾时，工资条存成可直接打印的 PDF。\n"
    "  未给出的表头设置取自程序所在文件夹中的 sys.ini。\n"
    "\n"
    "      quenly-batch 源工作簿 --each 文件夹 --name-col 列 [--overwrite]\n"
    "                   [--password-col 列 [--password-last N]] [--rows ..] [--cols ..]\n"
    "  每人一个 PDF，存入文件夹（没有时新建），文件名取自 --name-col 所指的列（表头最后一行的\n"
    "  标题，如 姓名，或列字母，如 B）；同名者加 -2、-3。已有同名文件时不写入任何文件，除非给出\n"
    "  --overwrite。给出 --password-col 时，每个 PDF 以此人该列的内容（或其最后 N 个字符）\n"
    "  为密码加密（AES-256）。\n"
    "  例如：quenly-batch 工资表.xlsx --each 工资条 --name-col 姓名 --password-col 身份证号 "
    "--password-last 6\n"
    "\n"
    "      quenly-batch 源工作簿 --mail 邮件设置.ini --to-col 列 [--name-col 列]\n"
    "                   [--password-col 列 [--password-last N]] [--dry-run] [--resume]\n"
    "                   [--new-run] [--interval 秒] [--cafile 证书] [--skip-invalid]\n"
    "  把每人的工资条（PDF）发到此人 --to-col 列中的邮箱。先检查全部地址并列表显示，有问题时\n"
    "  不发送任何邮件（--skip-invalid 只跳过有问题的人）；--dry-run 只检查不发送。发送记录\n"
    "  保存在 ~/.local/state/quenly/，--resume 只发给尚未发送的人。邮箱密码取自环境变量\n"
    "  QUENLY_SMTP_PASSWORD，或在终端中输入。设置文件的写法见 docs/delivery.md。\n"
    "  例如：quenly-batch 工资表.xlsx --mail 邮件设置.ini --to-col 邮箱 --name-col 姓名\n";

std::pair<std::string, std::string> splitSpan(std::string_view option, std::string_view text,
                                              bool (*valid)(std::string_view),
                                              std::string_view what) {
    const std::size_t dash = text.find('-');
    if (dash == std::string_view::npos || text.find('-', dash + 1) != std::string_view::npos) {
        throw UsageError{std::string(option) + " 需要“起始-结束”的形式，收到“" + std::string(text) +
                         "”"};
    }
    std::string first(text.substr(0, dash));
    std::string last(text.substr(dash + 1));
    if (!valid(first) || !valid(last)) {
        throw UsageError{std::string(option) + " 的起始和结束必须是" + std::string(what) +
                         "，收到“" + std::string(text) + "”"};
    }
    return {first, last};
}

bool isRowNumber(std::string_view s) {
    if (s.empty() || s.size() > 7) {
        return false;
    }
    for (char c : s) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    int v = 0;
    std::from_chars(s.data(), s.data() + s.size(), v);
    return v >= 1 && v <= 1048576;
}

bool isColumnLetters(std::string_view s) {
    if (s.empty() || s.size() > 3) {
        return false;
    }
    for (char c : s) {
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) {
            return false;
        }
    }
    return true;
}

std::string upper(std::string s) {
    for (char& c : s) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return s;
}

namespace {

// A count of 1 to 1000 given to `option`.
int countOf(std::string_view option, std::string_view text) {
    int v = 0;
    const auto res = std::from_chars(text.data(), text.data() + text.size(), v);
    if (res.ec != std::errc() || res.ptr != text.data() + text.size() || v < 1 || v > 1000) {
        throw UsageError{std::string(option) + " 需要 1 到 1000 之间的整数，收到“" +
                         std::string(text) + "”"};
    }
    return v;
}

void checkEachArguments(Arguments& a, const std::vector<std::string>& positional) {
    if (positional.size() != 1) {
        throw UsageError{positional.empty()
                             ? "缺少源工作簿"
                             : "--each 只需要源工作簿，结果存入文件夹“" + *a.each + "”"};
    }
    a.source = positional[0];
    if (a.source.empty() || a.each->empty()) {
        throw UsageError{"源工作簿和 --each 文件夹的路径不能为空"};
    }
    if (!a.nameCol) {
        throw UsageError{"--each 需要 --name-col 指明文件名所取的列（如 --name-col 姓名）"};
    }
    if (a.passwordLast > 0 && !a.passwordCol) {
        throw UsageError{"--password-last 需要与 --password-col 一起使用"};
    }
    if (a.timings) {
        throw UsageError{"--timings 不用于 --each"};
    }
}

} // namespace

Arguments parseArguments(int argc, char** argv) {
    Arguments a;
    std::vector<std::string> positional;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (optionsEnded) {
            positional.emplace_back(arg);
            continue;
        }
        const OptionValue value = [&]() -> std::string_view {
            if (i + 1 >= argc) {
                throw UsageError{std::string(arg) + " 后面缺少取值"};
            }
            return argv[++i];
        };
        if (arg == "--rows") {
            a.rows = splitSpan(arg, value(), isRowNumber, "1 到 1048576 之间的行号");
        } else if (arg == "--cols") {
            auto span = splitSpan(arg, value(), isColumnLetters, "列字母（如 A、AB）");
            a.cols = std::pair{upper(span.first), upper(span.second)};
        } else if (arg == "--timings") {
            a.timings = std::string(value());
        } else if (arg == "--each") {
            a.each = std::string(value());
        } else if (arg == "--overwrite") {
            a.overwrite = true;
        } else if (arg == "--name-col") {
            a.nameCol = std::string(value());
        } else if (arg == "--password-col") {
            a.passwordCol = std::string(value());
        } else if (arg == "--password-last") {
            a.passwordLast = countOf(arg, value());
        } else if (parseMailOption(arg, value, a)) {
        } else if (arg == "-h" || arg == "--help") {
            throw UsageError{};
        } else if (arg == "--") {
            optionsEnded = true; // what follows are file names, even if they start with "-"
        } else if (arg.size() > 1 && arg.front() == '-') {
            throw UsageError{"未知的选项“" + std::string(arg) + "”"};
        } else {
            positional.emplace_back(arg);
        }
    }
    if (a.each && a.mail) {
        throw UsageError{"--each 与 --mail 不能同时使用"};
    }
    const bool mailOptions =
        a.toCol || a.cafile || a.interval > 0 || a.dryRun || a.resume || a.newRun || a.skipInvalid;
    if (mailOptions && !a.mail) {
        throw UsageError{"--to-col、--dry-run、--resume 等选项只用于 --mail"};
    }
    if (a.each) {
        checkEachArguments(a, positional);
        return a;
    }
    if (a.mail) {
        checkMailArguments(a, positional);
        return a;
    }
    if (a.overwrite || a.nameCol || a.passwordCol || a.passwordLast > 0) {
        throw UsageError{
            "--overwrite、--name-col、--password-col 和 --password-last 只用于 --each 或 --mail"};
    }
    if (positional.size() != 2) {
        throw UsageError{positional.size() < 2 ? "缺少源工作簿或结果文件" : "参数过多"};
    }
    a.source = positional[0];
    a.result = positional[1];
    if (a.source.empty() || a.result.empty()) {
        throw UsageError{"源工作簿和结果文件的路径不能为空"};
    }
    return a;
}

ExportSettings exportSettingsOf(const Arguments& args) {
    ExportSettings settings;
    settings.iniPath = defaultOptionsPath();
    if (args.rows || args.cols) {
        HeaderOptions options = HeaderOptionsStore(settings.iniPath).readForExport();
        if (args.rows) {
            options.StartTitleRow = args.rows->first;
            options.EndTitleRow = args.rows->second;
        }
        if (args.cols) {
            options.StartTitleCol = args.cols->first;
            options.EndTitleCol = args.cols->second;
        }
        settings.optionsOverride = options;
    }
    return settings;
}

} // namespace quenly::batch
