// quenly-batch: turns the wage table of SOURCE into pay slips saved as RESULT (.xlsx, or a PDF
// ready to print when RESULT ends in .pdf), or one PDF per person (--each), with the same export
// engine as the main window and a host without a window.
#include "batch_host.h"
#include "batch_options.h"
#include "each_command.h"
#include "mail_command.h"
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
using quenly::batch::Arguments;
using quenly::batch::BatchHost;
using quenly::batch::Clock;

bool sameFile(const fs::path& a, const fs::path& b) {
    std::error_code ec;
    if (fs::exists(a, ec) && fs::exists(b, ec)) {
        return fs::equivalent(a, b, ec);
    }
    const fs::path ca = fs::weakly_canonical(a, ec);
    const fs::path cb = fs::weakly_canonical(b, ec);
    return !ec && ca == cb;
}

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
                host.showCount("正在生成 PDF", done, total, "页");
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

    const quenly::ExportSettings settings = quenly::batch::exportSettingsOf(args);

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
        std::cerr << "quenly-batch：" << quenly::batch::noPersonsText(options) << "\n";
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
        args = quenly::batch::parseArguments(argc, argv);
    } catch (const quenly::batch::UsageError& e) {
        if (!e.message.empty()) {
            std::cerr << "quenly-batch：" << e.message << "\n";
        }
        std::cerr << quenly::batch::kUsage;
        return e.message.empty() ? 0 : 2;
    }
    try {
        if (args.each) {
            return quenly::batch::runEach(args);
        }
        return args.mail ? quenly::batch::runMail(args) : run(args);
    } catch (const std::exception& e) {
        std::cerr << "quenly-batch：" << e.what() << "\n";
        return 1;
    }
}
