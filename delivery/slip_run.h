// One export run for delivery: the result workbook with its page set-up, the source's cells, and
// every counted person with the rows of their slip block.
#pragma once

#include "delivery_error.h"
#include "header_options.h"
#include "payslip_export.h"
#include "workbook.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quenly::delivery {

/// One counted person.
struct Person {
    /// 1-based, in the order counted.
    int number = 0;
    /// 1-based row of the person in the source table (the header's last row + number).
    std::uint32_t sourceRow = 0;
    /// 0-based rows of the person's slip block in the result sheet: the header rows, then the
    /// person's row at lastRow.
    std::uint32_t firstRow = 0;
    std::uint32_t lastRow = 0;
};

/// What one export leaves for delivery. The source is kept with its first worksheet's cells, so
/// a person's cells can be read even in columns outside the slip.
class SlipRun {
public:
    /// `source` and `result` as the export read and made them; `options` the header settings it
    /// ran with (rows from 1 and column letters, already checked by the export); `persons` the
    /// number it counted.
    SlipRun(std::shared_ptr<const wb::Workbook> source, std::shared_ptr<wb::Workbook> result,
            const HeaderOptions& options, int persons);

    /// The result workbook, set up by print::setUpPages.
    const wb::Workbook& result() const { return *m_result; }
    const wb::Workbook& source() const { return *m_source; }
    const std::vector<Person>& persons() const { return m_persons; }
    /// The header settings the export ran with.
    const HeaderOptions& options() const { return m_options; }
    /// 0-based first and last column of the slips (the header columns).
    std::uint32_t firstColumn() const { return m_firstColumn; }
    std::uint32_t lastColumn() const { return m_lastColumn; }

    /// Column (0-based) named by letters ("B", "ab") or by its title in the header's last row
    /// ("姓名"); a title wins over letters; nothing when neither names a column. Surrounding
    /// blanks of `letterOrTitle` are ignored.
    std::optional<std::uint32_t> findColumn(std::string_view letterOrTitle) const;
    /// Every header column with a title, left to right: the text shown in the header's last row,
    /// or, where that cell is covered by a merge of the header, the merge's text.
    std::vector<std::pair<std::uint32_t, std::string>> titles() const;
    /// The person's cell in `column` of the source row, as the spreadsheet shows it (number
    /// format applied), without surrounding blanks.
    std::string shown(const Person& person, std::uint32_t column) const;

private:
    std::string titleOf(std::uint32_t column) const;

    std::shared_ptr<const wb::Workbook> m_source;
    std::shared_ptr<wb::Workbook> m_result;
    HeaderOptions m_options;
    std::uint32_t m_headerLastRow = 0; // 0-based
    std::uint32_t m_firstColumn = 0;
    std::uint32_t m_lastColumn = 0;
    std::vector<Person> m_persons;
};

/// Runs the same export as the window and the batch command (rzbtbtnExportClick over a
/// SpreadsheetServer that reads `source`, the same count rule), with the header settings of
/// `settings` (sys.ini as read after the host's confirmation step, or its override), and sets
/// the result's pages up as a saved result gets them. The host sees the progress of the export;
/// its message boxes are not used: a refusal or failure throws DeliveryError with the message
/// the window would have shown. A header whose first row lies below its last is refused, since
/// its slips would have no shape. A count of no person is not an error: the run has no persons.
SlipRun runSlipExport(const std::filesystem::path& source, const ExportSettings& settings,
                      ExportHost& host);

/// `text` without the blanks around it: ASCII white space, no-break and ideographic spaces.
std::string_view trimBlanks(std::string_view text);

} // namespace quenly::delivery
