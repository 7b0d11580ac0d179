// A pay-slip result sheet built in memory, for the writers' tests and their benchmarks.
#pragma once

#include "workbook.h"

#include <array>
#include <memory>
#include <string>

namespace quenly::test {

inline constexpr std::array<const char*, 12> kSlipCaptions{
    "姓名",   "工号",     "部门",     "基本工资", "岗位工资",   "绩效奖金",
    "加班费", "应发合计", "养老保险", "医疗保险", "个人所得税", "实发工资",
};

/// `persons` slips of `cols` columns from row 0, each: a title row merged across all columns
/// (bold 宋体 14, centred), a caption row (filled, thin borders), the person's row (name,
/// number, department, then amounts under "#,##0.00"), then one empty row.
inline std::unique_ptr<wb::Workbook> makeWageSlips(std::uint32_t persons, std::uint32_t cols) {
    auto book = std::make_unique<wb::Workbook>();
    wb::CellFormat base;
    base.font.name = "宋体";
    base.font.size = 11;
    book->styles.setDefault(base);
    wb::Worksheet& ws = book->addSheet("工资条");
    const wb::BorderSide thin{"thin", wb::Color::rgb(0xFF000000)};
    wb::CellFormat title = base;
    title.font.size = 14;
    title.font.bold = true;
    title.alignment.horizontal = "center";
    title.alignment.vertical = "center";
    wb::CellFormat caption = base;
    caption.font.size = 10;
    caption.font.bold = true;
    caption.fill = {"solid", wb::Color::rgb(0xFFD9E1F2), wb::Color::automatic()};
    caption.border = {thin, thin, thin, thin, {}, false, false};
    caption.alignment.horizontal = "center";
    caption.alignment.vertical = "center";
    wb::CellFormat text = caption;
    text.font.bold = false;
    text.fill = {};
    wb::CellFormat amount = text;
    amount.alignment.horizontal = "";
    amount.numberFormat = "#,##0.00";
    const std::uint32_t titleStyle = book->styles.intern(title);
    const std::uint32_t captionStyle = book->styles.intern(caption);
    const std::uint32_t textStyle = book->styles.intern(text);
    const std::uint32_t amountStyle = book->styles.intern(amount);
    const std::uint32_t titleText = book->strings.intern("2026年12月工资条");
    std::vector<std::uint32_t> captions;
    for (std::uint32_t c = 0; c < cols; ++c) {
        captions.push_back(book->strings.intern(
            c < kSlipCaptions.size() ? kSlipCaptions[c] : "补贴" + std::to_string(c)));
    }
    const std::array<const char*, 4> departments{"财务部", "技术部", "销售部", "行政部"};
    const std::array<const char*, 8> surnames{"张", "王", "李", "赵", "刘", "陈", "杨", "黄"};
    const std::array<const char*, 8> given{"伟", "芳", "娜", "敏", "静", "强", "磊", "洋"};
    for (std::uint32_t c = 0; c < cols; ++c) {
        ws.columnForWrite(c).width = c == 2 ? 9 : 11;
        ws.columnForWrite(c).customWidth = true;
    }
    ws.reserveRows(persons * 4);
    for (std::uint32_t p = 0; p < persons; ++p) {
        const std::uint32_t r = p * 4;
        wb::Row& t = ws.rowForWrite(r);
        t.height = 24;
        t.customHeight = true;
        t.cells.assign(cols, wb::Cell{});
        t.cells[0] = wb::Cell::makeText(titleText, titleStyle);
        for (std::uint32_t c = 1; c < cols; ++c) {
            t.cells[c].style = titleStyle;
        }
        ws.merges().add({r, 0, r, cols - 1});
        wb::Row& h = ws.rowForWrite(r + 1);
        h.height = 18;
        h.customHeight = true;
        for (std::uint32_t c = 0; c < cols; ++c) {
            h.cells.push_back(wb::Cell::makeText(captions[c], captionStyle));
        }
        wb::Row& d = ws.rowForWrite(r + 2);
        d.height = 18;
        d.customHeight = true;
        const std::string name =
            std::string(surnames[p % 8]) + given[(p / 8) % 8] + (p % 3 == 0 ? given[p % 5] : "");
        d.cells.push_back(wb::Cell::makeText(book->strings.intern(name), textStyle));
        d.cells.push_back(
            wb::Cell::makeText(book->strings.intern("E" + std::to_string(100001 + p)), textStyle));
        if (cols > 2) {
            d.cells.push_back(
                wb::Cell::makeText(book->strings.intern(departments[p % 4]), textStyle));
        }
        for (std::uint32_t c = 3; c < cols; ++c) {
            const double v = static_cast<double>((p * 7919u + c * 104729u) % 1000000u) / 100.0;
            d.cells.push_back(wb::Cell::makeNumber(v, amountStyle));
        }
        ws.rowForWrite(r + 3);
    }
    return book;
}

} // namespace quenly::test
