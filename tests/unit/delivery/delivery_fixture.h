// A small wage table of our own making and a host without a window, for the delivery tests.
#pragma once

#include "payslip_export.h"
#include "workbook_file.h"

#include <filesystem>
#include <string>

namespace quenly::test {

class QuietHost final : public ExportHost {
public:
    std::string excelPath() override { return "unused"; }
    void showMessage(const std::string&, const std::string&, MessageIcon) override {}
    void setProgressMaximum(int maximum) override { maximumSeen = maximum; }
    void setProgressPosition(int position) override { m_position = position; }
    int progressPosition() override { return m_position; }
    void setProcessText(const std::string&) override {}
    void processPendingMessages() override {}
    void confirmHeaderOptions() override {}
    int maximumSeen = -1;

private:
    int m_position = 0;
};

// Header rows 1-2 over A..D: 姓名 merged down A1:A2, 应发 merged across B1:C1 over 基本 and
// 奖金, "ID" (which is also a column's letters) in D2. Persons in rows 3-5, then an empty A6
// that ends the count and a row 7 that is not counted. Column F, outside the slip, holds a code.
inline void writeTable(const std::filesystem::path& file) {
    wb::Workbook book;
    wb::CellFormat base;
    base.font.name = "宋体";
    base.font.size = 11;
    book.styles.setDefault(base);
    wb::CellFormat money = base;
    money.numberFormat = "#,##0.00";
    const std::uint32_t moneyStyle = book.styles.intern(money);
    wb::Worksheet& ws = book.addSheet("工资表");
    auto text = [&](std::uint32_t r, std::uint32_t c, const std::string& s) {
        ws.cellForWrite(r, c) = wb::Cell::makeText(book.strings.intern(s));
    };
    text(0, 0, "姓名");
    ws.merges().add({0, 0, 1, 0});
    text(0, 1, "应发");
    ws.merges().add({0, 1, 0, 2});
    text(1, 1, "基本");
    text(1, 2, " 奖金 ");
    text(1, 3, "ID");
    const char* names[] = {"张三", "  王五\xE3\x80\x80", "李四"};
    for (std::uint32_t k = 0; k < 3; ++k) {
        text(2 + k, 0, names[k]);
        ws.cellForWrite(2 + k, 1) = wb::Cell::makeNumber(3000.5 + 1000 * k, moneyStyle);
        ws.cellForWrite(2 + k, 2) = wb::Cell::makeNumber(200 + k);
        text(2 + k, 3, "E00" + std::to_string(k + 1));
        text(2 + k, 5, "code" + std::to_string(k + 1));
    }
    text(6, 0, "不计入");
    wb::saveWorkbook(book, file);
}

inline ExportSettings header(const std::string& first, const std::string& last,
                             const std::string& firstCol, const std::string& lastCol) {
    ExportSettings settings;
    settings.iniPath = "/nonexistent/sys.ini";
    settings.optionsOverride = HeaderOptions{first, last, firstCol, lastCol};
    return settings;
}

} // namespace quenly::test
