// Start-up of Quenly: the spreadsheet back end, the main window and the message loop.
#include "header_options.h"
#include "main_window.h"
#include "result_cache.h"
#include "result_presenter.h"
#include "server/spreadsheet_server.h"
#include "startup.h"

#include <QApplication>
#include <QTimer>

#include <filesystem>
#include <memory>
#include <thread>

int main(int argc, char* argv[]) {
    quenly::app::prepareProcessEnvironment();
    QApplication application(argc, argv);
    quenly::app::configureApplication(application);
    // Results older than 30 days, and any past the newest 50, go when the program starts.
    quenly::app::sweepResultFolder(quenly::app::defaultResultFolder(),
                                   std::filesystem::file_time_type::clock::now());

    quenly::app::ResultPresenter presenter;
    auto server = std::make_shared<quenly::wb::SpreadsheetServer>(
        [&presenter](std::shared_ptr<quenly::wb::Workbook> book) {
            presenter.present(book);
            // Freeing a result of a few hundred thousand rows takes a moment: once the export has
            // let go of the workbook too, let it go on a thread of its own.
            QTimer::singleShot(0, [book = std::move(book)]() mutable {
                std::thread([last = std::move(book)] {}).detach();
            });
        });
    quenly::ServerRegistry servers;
    server->registerWith(servers);

    quenly::TfrmQuenly window(servers, quenly::defaultOptionsPath(),
                              QUrl(QStringLiteral(QUENLY_HELP_URL)));
    presenter.setOwner(&window);
    presenter.setSourceProvider([&window] { return window.currentSourcePath(); });
    window.showInitially();
    return application.exec();
}
