// The host of quenly-batch's exports: no window, progress on a terminal's standard error.
#include "batch_host.h"

#include "batch_options.h"

#include <cstdint>
#include <cstdio>

#include <unistd.h>

namespace quenly::batch {

BatchHost::BatchHost(std::string path)
    : m_path(std::move(path))
    , m_terminal(isatty(STDERR_FILENO) == 1) {}

void BatchHost::setProgressMaximum(int maximum) {
    m_maximumSetAt = Clock::now();
    m_maximum = maximum;
}

void BatchHost::setProcessText(const std::string& text) {
    showLine(m_position >= m_maximum, [&] { std::fprintf(stderr, "\r%s", text.c_str()); });
}

void BatchHost::showCount(const std::string& what, std::size_t done, std::size_t total,
                          const std::string& unit) {
    showLine(done >= total, [&] {
        std::fprintf(stderr, "\r\033[K%s：第 %zu %s，共 %zu %s", what.c_str(), done, unit.c_str(),
                     total, unit.c_str());
    });
}

void BatchHost::endProgressLine() {
    if (m_shown) {
        std::fputc('\n', stderr);
        m_shown = false;
    }
}

template <class Print>
void BatchHost::showLine(bool last, Print print) {
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

std::string noPersonsText(const HeaderOptions& options) {
    const std::string column = upper(options.StartTitleCol);
    const auto endRow = parseRowSetting(options.EndTitleRow);
    const std::string cell = column + std::to_string(std::int64_t{endRow.value_or(0)} + 1);
    return "没有数到任何人员：人员从表头下一行起沿起始标题列 " + column +
           " 往下数，到第一个空单元格为止，而 " + cell +
           " 就是空的，所以结果中只有列宽。请检查起始标题列（--cols "
           "的起始列，应是每人都有值的一列，"
           "如姓名或工号）和结束标题行（--rows 的结束行，应是表头的最后一行）。";
}

} // namespace quenly::batch
