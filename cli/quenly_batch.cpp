// quenly-batch: turns the wage table of SOURCE into pay slips saved as RESULT (.xlsx, or a PDF
// ready to print when RESULT ends in .pdf), with the same export engine as the main window and a
// host without a window.
#include "payslip_export.h"
#include "pdf/pdf_writer.h"
#include "print/page_setup.h"
#include "server/spreadsheet_server.h"
#include "workbook_file.h"

#include <array>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr std::string_view kUsage =
    "用法：quenly-batch 源工作簿 结果.xlsx [--rows 起始行-结束行] [--cols 起始列-结束列]\n"
    "  例如：quenly-batch 工资表.xlsx 工资条.xlsx --rows 1-2 --cols A-M\n"
    "  结果文件名以 .pdf 结尾时，工资条存成可直接打印的 PDF。\n"
    "  未给出的表头设置取自程序所在文件夹中的 sys.ini。\n";

struct UsageError {
    std::string message;
};

struct Arguments {
    std::string source;
    std::string result;
    std::optional<std::pair<std::string, std::string>> rows;
    std::optional<std::pair<std::string, std::string>> cols;
    std::optional<std::string> timings;
};

// "START-END" split at its one "-"; both parts checked by `valid`.
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
        auto value = [&]() -> std::string_view {
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

bool sameFile(const fs::path& a, const fs::path& b) {
    std::error_code ec;
    if (fs::exists(a, ec) && fs::exists(b, ec)) {
        return fs::equivalent(a, b, ec);
    }
    const fs::path ca = fs::weakly_canonical(a, ec);
    const fs::path cb = fs::weakly_canonical(b, ec);
    return !ec && ca == cb;
}

// The host of the batch command: the path is SOURCE, the confirmation returns at once, progress
// goes to a terminal's stderr at most ten times a second.
class BatchHost final : public quenly::ExportHost {
public:
    explicit BatchHost(std::string path)
        : m_path(std::move(path))
        , m_terminal(isatty(STDERR_FILENO) == 1) {}

    std::string excelPath() override { return m_path; }
    void showMessage(const std::string& text, const std::string&, quenly::MessageIcon) override {
        m_message = text;
    }
    void setProgressMaximum(int maximum) override {
        m_maximumSetAt = Clock::now();
        m_maximum = maximum;
    }
    void setProgressPosition(int position) override { m_position = position; }
    int progressPosition() override { return m_position; }
    void setProcessText(const std::string& text) override {
        showLine(m_position >= m_maximum, [&] { std::fprintf(stderr, "\r%s", text.c_str()); });
    }
    void processPendingMessages() override {}
    void confirmHeaderOptions() override {}

    // Pages of a PDF result, drawn after the export's own progress.
    void showPageProgress(std::size_t done, std::size_t total) {
        showLine(done >= total, [&] {
            std::fprintf(stderr, "\r\033[K正在生成 PDF：第 %zu 页，共 %zu 页", done, total);
        });
    }

    void endProgressLine() {
        if (m_shown) {
            std::fputc('\n', stderr);
            m_shown = false;
        }
    }

    const std::string& message() const { return m_message; }
    std::optional<Clock::time_point> maximumSetAt() const { return m_maximumSetAt; }

private:
    // Rewrites the progress line on a terminal, at most ten times a second but always when
    // `last`.
    template <class Print>
    void showLine(bool last, Print print) {
        if (!m_terminal) {
            return;
        }
        const auto now = Clock::now();
        if (!last && now - m_lastShown < std::chrono::milliseconds(100)) {
            return;
        }
        m_lastShown = now;
        print();
        std::fflush(stderr);
        m_shown = true;
    }

    std::string m_path;
    bool m_terminal;
    bool m_shown = false;
    int m_maximum = 0;
    int m_position = 0;
    Clock::time_point m_lastShown{};
    std::optional<Clock::time_point> m_maximumSetAt;
    std::string m_message;
};

bool isPdfName(const std::string& path) {
    const std::string ext = fs::path(path).extension().string();
    return ext.size() == 4 && ext[0] == '.' && (ext[1] | 0x20) == 'p' && (ext[2] | 0x20) == 'd' &&
           (ext[3] | 0x20) == 'f';
}

std::string seconds(std::chrono::duration<double> d) {
    std::array<char, 32> buf{};
    const double s = std::chrono::duration<double>(d).count();
    auto res = std::to_chars(buf.data(), buf.data() + buf.size(), s, std::chars_format::fixed, 4);
    return std::string(buf.data(), res.ptr);
}

// Why a finished export holds no slip: the count of persons, made down the first header column
// from the row below the header, ended at once at an empty cell. Names that cell.
std::string noPersonsText(const quenly::HeaderOptions& options) {
    const std::string column = upper(options.StartTitleCol);
    const auto endRow = quenly::parseRowSetting(options.EndTitleRow);
    const std::string cell = column + std::to_string(std::int64_t{endRow.value_or(0)} + 1);
    return "没有数到任何人员：人员从表头下一行起沿起始标题列 " + column +
           " 往下数，到第一个空单元格为止，而 " + cell +
           " 就是空的，所以结果中只有列宽。请检查起始标题列（--cols "
           "的起始列，应是每人都有值的一列，"
           "如姓名或工号）和结束标题行（--rows 的结束行，应是表头的最后一行）。";
}

int run(const Arguments& args) {
    const auto started = Clock::now();
    if (sameFile(args.source, args.result)) {
        std::cerr << "quenly-batch：结果文件“" << args.result
                  << "”就是源工作簿，不能覆盖源文件；请另选结果文件名\n";
        return 2;
    }

    // A result that cannot be saved is refused before the work, not after it.
    std::error_code ec;
    const fs::path resultPath(args.result);
    if (fs::is_directory(resultPath, ec)) {
        std::cerr << "quenly-batch：“" << args.result
                  << "”是一个文件夹；请给出结果文件的名字，如 工资条.xlsx\n";
        return 2;
    }
    const fs::path resultDir = resultPath.parent_path();
    if (!resultDir.empty() && !fs::is_directory(resultDir, ec)) {
        std::cerr << "quenly-batch：保存结果的文件夹“" << resultDir.string() << "”不存在\n";
        return 2;
    }

    BatchHost host(args.source);
    std::shared_ptr<quenly::wb::Workbook> result;
    std::optional<Clock::time_point> shownAt;
    std::optional<Clock::time_point> savedAt;
    // Showing the result instance hands its workbook over, and that is where it is saved: a save
    // that fails (no space, no permission, the folder gone) ends the export through its failure
    // path, with the reason, and leaves no file under the result's name.
    quenly::wb::SpreadsheetServer server([&](std::shared_ptr<quenly::wb::Workbook> book) {
        shownAt = Clock::now();
        // The pages are laid out once, into the result's page set-up, which both writers read.
        quenly::wb::print::setUpPages(*book);
        if (isPdfName(args.result)) {
            quenly::wb::pdf::PdfOptions options;
            options.progress = [&host](std::size_t done, std::size_t total) {
                host.showPageProgress(done, total);
            };
            quenly::wb::pdf::writePdf(*book, args.result, options);
        } else {
            quenly::wb::saveWorkbook(*book, args.result);
        }
        savedAt = Clock::now();
        result = std::move(book);
    });
    quenly::ServerRegistry registry;
    server.registerWith(registry);

    quenly::ExportSettings settings;
    settings.iniPath = quenly::defaultOptionsPath();
    if (args.rows || args.cols) {
        quenly::HeaderOptions options =
            quenly::HeaderOptionsStore(settings.iniPath).readForExport();
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

    quenly::ExportOutcome outcome;
    try {
        outcome = quenly::rzbtbtnExportClick(host, registry, settings);
    } catch (const std::exception& e) {
        host.endProgressLine();
        std::cerr << "quenly-batch：输出工资条失败：" << e.what() << "\n";
        return 1;
    }
    host.endProgressLine();
    if (outcome.status != quenly::ExportOutcome::Status::Finished || !result) {
        const std::string text = !host.message().empty() ? host.message()
                                 : !outcome.reason.empty() ? "输出工资条失败：" + outcome.reason
                                                           : std::string("输出工资条失败");
        std::cerr << "quenly-batch：" << text << "\n";
        return 1;
    }

    if (outcome.persons == 0) {
        const quenly::HeaderOptions options =
            settings.optionsOverride ? *settings.optionsOverride
                                     : quenly::HeaderOptionsStore(settings.iniPath).readForExport();
        std::cerr << "quenly-batch：" << noPersonsText(options) << "\n";
    }

    const auto writeStarted = shownAt.value_or(Clock::now());
    const auto finished = savedAt.value_or(Clock::now());

    if (args.timings) {
        const quenly::wb::OpenTimings open = server.openTimings();
        const Clock::time_point openEnd = open.opens > 0 ? open.lastEnd : started;
        const Clock::time_point maxAt = host.maximumSetAt().value_or(openEnd);
        const Clock::time_point shown = shownAt.value_or(writeStarted);
        std::ofstream out(*args.timings);
        out << "read " << seconds(open.total) << "\n"
            << "count " << seconds(maxAt - openEnd) << "\n"
            << "copy " << seconds(shown - maxAt) << "\n"
            << "write " << seconds(finished - writeStarted) << "\n"
            << "total " << seconds(finished - started) << "\n";
        out.close();
        if (!out) {
            std::cerr << "quenly-batch：无法写入计时文件“" << *args.timings << "”\n";
            return 1;
        }
    }
    // Everything is saved. Freeing a workbook of a million rows cell by cell takes longer than
    // letting the system take the whole process back, so leave at once.
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    std::_Exit(0);
}

} // namespace

int main(int argc, char** argv) {
    Arguments args;
    try {
        args = parseArguments(argc, argv);
    } catch (const UsageError& e) {
        if (!e.message.empty()) {
            std::cerr << "quenly-batch：" << e.message << "\n";
        }
        std::cerr << kUsage;
        return e.message.empty() ? 0 : 2;
    }
    try {
        return run(args);
    } catch (const std::exception& e) {
        std::cerr << "quenly-batch：" << e.what() << "\n";
        return 1;
    }
}
