// The host of quenly-batch's exports: no window, progress on a terminal's standard error.
#pragma once

#include "header_options.h"
#include "payslip_export.h"

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>

namespace quenly::batch {

using Clock = std::chrono::steady_clock;

/// The path is SOURCE, the confirmation returns at once, message boxes are kept for the caller,
/// progress goes to a terminal's stderr at most ten times a second (counts only).
class BatchHost final : public ExportHost {
public:
    explicit BatchHost(std::string path);

    std::string excelPath() override { return m_path; }
    void showMessage(const std::string& text, const std::string&, MessageIcon) override {
        m_message = text;
    }
    void setProgressMaximum(int maximum) override;
    void setProgressPosition(int position) override { m_position = position; }
    int progressPosition() override { return m_position; }
    void setProcessText(const std::string& text) override;
    void processPendingMessages() override {}
    void confirmHeaderOptions() override {}

    /// A line of progress after the export's own: "`what`：第 `done` `unit`，共 `total` `unit`".
    void showCount(const std::string& what, std::size_t done, std::size_t total,
                   const std::string& unit);
    /// Ends the progress line, if one is shown.
    void endProgressLine();

    const std::string& message() const { return m_message; }
    std::optional<Clock::time_point> maximumSetAt() const { return m_maximumSetAt; }

private:
    // Rewrites the progress line on a terminal, at most ten times a second but always when
    // `last`.
    template <class Print>
    void showLine(bool last, Print print);

    std::string m_path;
    bool m_terminal;
    bool m_shown = false;
    int m_maximum = 0;
    int m_position = 0;
    Clock::time_point m_lastShown{};
    std::optional<Clock::time_point> m_maximumSetAt;
    std::string m_message;
};

/// Why a finished export holds no slip: the count of persons, made down the first header column
/// from the row below the header, ended at once at an empty cell. Names that cell.
std::string noPersonsText(const HeaderOptions& options);

} // namespace quenly::batch
