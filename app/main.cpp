// Start-up of Quenly: the spreadsheet back end, the main window and the message loop.
#include "header_options.h"
#include "main_window.h"
#include "result_presenter.h"
#include "server/spreadsheet_server.h"
#include "startup.h"

#include <QApplication>

#include <memory>

int main(int argc, char* argv[]) {
    quenly::app::prepareProcessEnvironment();
    QApplication application(argc, argv);
    quenly::app::configureApplication(application);

    quenly::app::ResultPresenter presenter;
    auto server = std::make_shared<quenly::wb::SpreadsheetServer>(
        [&presenter](std::shared_ptr<quenly::wb::Workbook> book) { presenter.present(book); });
    quenly::ServerRegistry servers;
    server->registerWith(servers);

    quenly::TfrmQuenly window(servers, quenly::defaultOptionsPath(),
                              QUrl(QStringLiteral(QUENLY_HELP_URL)));
    presenter.setOwner(&window);
    presenter.setSourceProvider([&window] { return window.currentSourcePath(); });
    window.showInitially();
    return application.exec();
}
