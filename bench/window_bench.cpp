// Times one export from the main window, for the benchmark of the window's share: the window
// runs the export as its export button does, the header options dialog is confirmed at once, and
// the result is saved to a file instead of being opened.
//
// Usage: quenly-bench-window SOURCE RESULT TIMINGS
// Writes sys.ini beside this executable (header rows 1-2, columns A-Y), then TIMINGS with the
// lines "export <s>" (from the confirmed dialog to the export's return, saving included),
// "export_cpu <s>" (CPU time of the process in that span), "save <s>", "click <s>" (the whole
// handler, dialog included) and "persons <n>". Exits 1 when the export does not finish.

#include "header_options.h"
#include "main_window.h"
#include "print/page_setup.h"
#include "server/spreadsheet_server.h"
#include "startup.h"
#include "sys_option_dialog.h"
#include "workbook_file.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTimer>

#include <charconv>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>

#include <sys/resource.h>

namespace {

// CPU time of the whole process so far (every thread), in seconds.
double processCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

std::string seconds(double value) {
    char text[32];
    const auto end =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 4).ptr;
    return std::string(text, end);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fputs("usage: quenly-bench-window SOURCE RESULT TIMINGS\n", stderr);
        return 2;
    }
    quenly::app::prepareProcessEnvironment();
    QApplication app(argc, argv);
    quenly::app::configureApplication(app);
    const std::filesystem::path source = std::filesystem::path(argv[1]);
    const std::filesystem::path result = std::filesystem::path(argv[2]);
    const std::filesystem::path timings = std::filesystem::path(argv[3]);

    const std::filesystem::path ini = quenly::defaultOptionsPath();
    {
        std::ofstream out(ini, std::ios::binary | std::ios::trunc);
        out << "[option]\r\nStartTitleRow=1\r\nEndTitleRow=2\r\nStartTitleCol=A\r\n"
               "EndTitleCol=Y\r\n";
        if (!out) {
            std::fprintf(stderr, "cannot write %s\n", ini.string().c_str());
            return 1;
        }
    }

    QElapsedTimer clock;
    double saveSeconds = -1;
    std::string saveError;
    quenly::wb::SpreadsheetServer server([&](std::shared_ptr<quenly::wb::Workbook> book) {
        QElapsedTimer saving;
        saving.start();
        try {
            quenly::wb::print::setUpPages(*book);
            quenly::wb::saveWorkbook(*book, result);
        } catch (const std::exception& e) {
            saveError = e.what();
        }
        saveSeconds = static_cast<double>(saving.nsecsElapsed()) / 1e9;
    });
    quenly::ServerRegistry registry;
    server.registerWith(registry);

    quenly::TfrmQuenly window(registry, ini, QUrl(QStringLiteral("about:blank")));
    window.show();
    window.edtExcelPath->setText(QString::fromStdString(source.string()));

    // Confirms the dialog as soon as it is shown; the export is timed from then on.
    qint64 confirmedAt = -1;
    double cpuAtConfirm = 0;
    QTimer confirm;
    confirm.setInterval(1);
    QObject::connect(&confirm, &QTimer::timeout, [&] {
        if (auto* dialog =
                qobject_cast<quenly::TfrmSysOption*>(QApplication::activeModalWidget())) {
            dialog->btnOKClick();
            confirmedAt = clock.nsecsElapsed();
            cpuAtConfirm = processCpuSeconds();
            confirm.stop();
        }
    });

    clock.start();
    confirm.start();
    window.rzbtbtnExportClick();
    const qint64 returnedAt = clock.nsecsElapsed();
    const double cpuAtReturn = processCpuSeconds();
    confirm.stop();

    const auto& outcome = window.lastOutcome();
    if (!outcome || outcome->status != quenly::ExportOutcome::Status::Finished) {
        std::fprintf(stderr, "the export did not finish: %s\n",
                     outcome ? outcome->reason.c_str() : "no outcome");
        return 1;
    }
    if (confirmedAt < 0 || saveSeconds < 0 || !saveError.empty()) {
        std::fprintf(stderr, "the dialog was not confirmed or the result not saved: %s\n",
                     saveError.c_str());
        return 1;
    }

    std::ofstream out(timings, std::ios::binary | std::ios::trunc);
    out << "export " << seconds(static_cast<double>(returnedAt - confirmedAt) / 1e9) << '\n'
        << "export_cpu " << seconds(cpuAtReturn - cpuAtConfirm) << '\n'
        << "save " << seconds(saveSeconds) << '\n'
        << "click " << seconds(static_cast<double>(returnedAt) / 1e9) << '\n'
        << "persons " << outcome->persons << '\n';
    return out ? 0 : 1;
}
