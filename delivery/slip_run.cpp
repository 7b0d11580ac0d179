// One export run for delivery: runs the export engine over the spreadsheet server, keeps both
// workbooks, and maps each counted person to their rows.
#include "slip_run.h"

#include "cell_names.h"
#include "print/number_format.h"
#include "print/page_setup.h"
#include "server/spreadsheet_server.h"
#include "workbook_file.h"

#include <utility>

namespace quenly::delivery {

namespace {

// Gives the export the source's path and forwards its progress to the caller's host; keeps the
// message boxes to itself, so a refusal becomes an exception, and checks the header the export is
// about to use.
class RunHost final : public ExportHost {
public:
    RunHost(std::string source, ExportHost& inner, const ExportSettings& settings)
        : m_source(std::move(source))
        , m_inner(inner)
        , m_settings(settings) {}

    // The source is the path text, as the window's path box is.
    std::string excelPath() override { return m_source; }
    void showMessage(const std::string& text, const std::string&, MessageIcon) override {
        m_message = text;
    }
    void setProgressMaximum(int maximum) override { m_inner.setProgressMaximum(maximum); }
    void setProgressPosition(int position) override { m_inner.setProgressPosition(position); }
    int progressPosition() override { return m_inner.progressPosition(); }
    void setProcessText(const std::string& text) override { m_inner.setProcessText(text); }
    void processPendingMessages() override { m_inner.processPendingMessages(); }

    // The export reads the settings right after this step; read them the same way, so the run
    // knows the header its slips were made with.
    void confirmHeaderOptions() override {
        m_inner.confirmHeaderOptions();
        m_options = m_settings.optionsOverride
                        ? *m_settings.optionsOverride
                        : HeaderOptionsStore(m_settings.iniPath).readForExport();
        const auto first = parseRowSetting(m_options.StartTitleRow);
        const auto last = parseRowSetting(m_options.EndTitleRow);
        if (first && last && *first > *last) {
            throw DeliveryError("起始标题行（" + m_options.StartTitleRow + "）在结束标题行（" +
                                m_options.EndTitleRow + "）之后，无法组成工资条");
        }
    }

    const std::string& message() const { return m_message; }
    const HeaderOptions& options() const { return m_options; }

private:
    std::string m_source;
    ExportHost& m_inner;
    const ExportSettings& m_settings;
    std::string m_message;
    HeaderOptions m_options;
};

bool isBlankAt(std::string_view s, std::size_t at, std::size_t& length) {
    const auto c = static_cast<unsigned char>(s[at]);
    if (c == ' ' || (c >= '\t' && c <= '\r')) {
        length = 1;
        return true;
    }
    // U+00A0 no-break space, U+3000 ideographic space.
    if (s.substr(at, 2) == "\xC2\xA0") {
        length = 2;
        return true;
    }
    if (s.substr(at, 3) == "\xE3\x80\x80") {
        length = 3;
        return true;
    }
    return false;
}

bool endsWithBlank(std::string_view s, std::size_t& length) {
    for (std::size_t n : {std::size_t{1}, std::size_t{2}, std::size_t{3}}) {
        std::size_t found = 0;
        if (s.size() >= n && isBlankAt(s, s.size() - n, found) && found == n) {
            length = n;
            return true;
        }
    }
    return false;
}

std::uint32_t columnOf(const std::string& letters) {
    const auto column = cells::columnFromName(letters);
    if (!column) {
        throw DeliveryError("列字母“" + letters + "”不是有效的列");
    }
    return *column;
}

} // namespace

std::string_view trimBlanks(std::string_view text) {
    std::size_t length = 0;
    while (!text.empty() && isBlankAt(text, 0, length)) {
        text.remove_prefix(length);
    }
    while (!text.empty() && endsWithBlank(text, length)) {
        text.remove_suffix(length);
    }
    return text;
}

SlipRun::SlipRun(std::shared_ptr<const wb::Workbook> source, std::shared_ptr<wb::Workbook> result,
                 const HeaderOptions& options, int persons)
    : m_source(std::move(source))
    , m_result(std::move(result))
    , m_options(options) {
    const auto first = parseRowSetting(options.StartTitleRow);
    const auto last = parseRowSetting(options.EndTitleRow);
    if (!first || !last || *first < 1 || *last < *first) {
        throw DeliveryError("表头行“" + options.StartTitleRow + "-" + options.EndTitleRow +
                            "”无法组成工资条");
    }
    m_headerLastRow = static_cast<std::uint32_t>(*last - 1);
    m_firstColumn = columnOf(options.StartTitleCol);
    m_lastColumn = columnOf(options.EndTitleCol);
    // The export writes person k (from 0) at result rows k*(H+2)+1 .. k*(H+2)+H+1 (from 1): the
    // header's H rows, the person's row, then an empty row.
    const std::uint32_t height = static_cast<std::uint32_t>(*last - *first + 1);
    m_persons.reserve(static_cast<std::size_t>(persons));
    for (int k = 0; k < persons; ++k) {
        Person p;
        p.number = k + 1;
        p.sourceRow = static_cast<std::uint32_t>(*last) + static_cast<std::uint32_t>(k) + 1;
        p.firstRow = static_cast<std::uint32_t>(k) * (height + 2);
        p.lastRow = p.firstRow + height;
        m_persons.push_back(p);
    }
}

std::string SlipRun::titleOf(std::uint32_t column) const {
    if (m_source->sheetCount() == 0) {
        return {};
    }
    const wb::Worksheet& sheet = m_source->sheet(0);
    std::uint32_t row = m_headerLastRow;
    std::uint32_t col = column;
    const wb::Cell* cell = sheet.cell(row, col);
    if (cell == nullptr || cell->type == wb::CellType::Empty) {
        // A title merged down over the header's last row is written in the merge's first cell.
        const auto merges = sheet.merges().intersecting({row, col, row, col});
        if (merges.empty()) {
            return {};
        }
        row = merges.front().firstRow;
        col = merges.front().firstCol;
        cell = sheet.cell(row, col);
        if (cell == nullptr) {
            return {};
        }
    }
    return std::string(trimBlanks(wb::print::displayText(*m_source, *cell).text));
}

std::vector<std::pair<std::uint32_t, std::string>> SlipRun::titles() const {
    std::vector<std::pair<std::uint32_t, std::string>> out;
    for (std::uint32_t c = m_firstColumn; c <= m_lastColumn; ++c) {
        std::string title = titleOf(c);
        if (!title.empty()) {
            out.emplace_back(c, std::move(title));
        }
    }
    return out;
}

std::optional<std::uint32_t> SlipRun::findColumn(std::string_view letterOrTitle) const {
    const std::string_view wanted = trimBlanks(letterOrTitle);
    if (wanted.empty()) {
        return std::nullopt;
    }
    for (std::uint32_t c = m_firstColumn; c <= m_lastColumn; ++c) {
        if (titleOf(c) == wanted) {
            return c;
        }
    }
    return cells::columnFromName(wanted);
}

std::string SlipRun::shown(const Person& person, std::uint32_t column) const {
    if (m_source->sheetCount() == 0 || person.sourceRow == 0) {
        return {};
    }
    const wb::Cell* cell = m_source->sheet(0).cell(person.sourceRow - 1, column);
    if (cell == nullptr) {
        return {};
    }
    return std::string(trimBlanks(wb::print::displayText(*m_source, *cell).text));
}

SlipRun runSlipExport(const std::filesystem::path& source, const ExportSettings& settings,
                      ExportHost& host) {
    std::shared_ptr<wb::Workbook> sourceBook;
    std::shared_ptr<wb::Workbook> result;
    wb::SpreadsheetServer server(
        [&](std::shared_ptr<wb::Workbook> book) {
            // The pages are laid out once, as a saved result gets them; each slip's PDF is drawn
            // from this set-up.
            wb::print::setUpPages(*book);
            result = std::move(book);
        },
        [&](const std::string& path) {
            sourceBook = std::shared_ptr<wb::Workbook>(wb::loadWorkbook(path));
            return sourceBook;
        });
    ServerRegistry registry;
    server.registerWith(registry);

    RunHost runHost(source.string(), host, settings);
    const ExportOutcome outcome = rzbtbtnExportClick(runHost, registry, settings);
    if (outcome.status != ExportOutcome::Status::Finished || !result || !sourceBook) {
        throw DeliveryError(!runHost.message().empty() ? runHost.message()
                                                       : "输出工资条失败：" + outcome.reason);
    }
    return SlipRun(std::move(sourceBook), std::move(result), runHost.options(), outcome.persons);
}

} // namespace quenly::delivery
