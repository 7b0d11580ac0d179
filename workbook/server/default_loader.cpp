// The server that opens workbook files by their content, as the program and the batch command use
// it.
#include "server/spreadsheet_server.h"
#include "workbook_file.h"

namespace quenly::wb {

SpreadsheetServer::SpreadsheetServer(ResultHandler onVisible)
    : SpreadsheetServer(std::move(onVisible), [](const std::string& path) {
        return std::shared_ptr<Workbook>(loadWorkbook(std::filesystem::path(path)));
    }) {}

} // namespace quenly::wb
