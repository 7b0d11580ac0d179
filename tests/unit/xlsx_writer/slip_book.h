// A workbook shaped like a pay-slip result, for the writer's tests and its benchmark.
#pragma once

#include "workbook.h"

#include <memory>
#include <string>

namespace quenly::test {

/// `persons` slip blocks of `cols` columns from row 0: a title row merged across the block (its
/// cells empty but bordered), a row of column captions, the person's row (name, id, then
/// amounts with two decimals), one empty row. Every block has one merge.
inline std::unique_ptr<wb::Workbook> makeSlipBook(std::uint32_t persons, std::uint32_t cols) {
    auto book = std::make_unique<wb::Workbook>();
    wb::Worksheet& ws = book->addSheet("工资条");
    wb::CellFormat title;
    title.font.name = "宋体";
    title.font.size = 14;
    title.font.bold = true;
    title.alignment.horizontal = "center";
    title.border.bottom = {"thin", wb::Color::rgb(0xFF000000)};
    wb::CellFormat caption = title;
    caption.font.size = 10;
    caption.fill = {"solid", wb::Color::rgb(0xFFD9E1F2), wb::Color::automatic()};
    caption.border.left = caption.border.right = caption.border.top = caption.border.bottom;
    wb::CellFormat amount = caption;
    amount.font.bold = false;
    amount.fill = {};
    amount.numberFormat = "#,##0.00";
    amount.alignment.horizontal = "";
    const std::uint32_t titleStyle = book->styles.intern(title);
    const std::uint32_t captionStyle = book->styles.intern(caption);
    const std::uint32_t amountStyle = book->styles.intern(amount);
    const std::uint32_t titleText = book->strings.intern("2026年12月工资条");
    std::vector<std::uint32_t> captions;
    for (std::uint32_t c = 0; c < cols; ++c) {
        captions.push_back(book->strings.intern("项目" + std::to_string(c + 1)));
    }
    ws.reserveRows(persons * 4);
    for (std::uint32_t c = 0; c < cols; ++c) {
        ws.columnForWrite(c).width = c < 2 ? 12 : 10.5;
        ws.columnForWrite(c).customWidth = true;
    }
    for (std::uint32_t p = 0; p < persons; ++p) {
        const std::uint32_t r = p * 4;
        wb::Row& t = ws.rowForWrite(r);
        t.height = 22.5;
        t.customHeight = true;
        t.cells.assign(cols, wb::Cell{});
        t.cells[0] = wb::Cell::makeText(titleText, titleStyle);
        for (std::uint32_t c = 1; c < cols; ++c) {
            t.cells[c].style = titleStyle;
        }
        ws.merges().add({r, 0, r, cols - 1});
        wb::Row& h = ws.rowForWrite(r + 1);
        h.cells.resize(cols);
        for (std::uint32_t c = 0; c < cols; ++c) {
            h.cells[c] = wb::Cell::makeText(captions[c], captionStyle);
        }
        wb::Row& d = ws.rowForWrite(r + 2);
        d.cells.resize(cols);
        d.cells[0] =
            wb::Cell::makeText(book->strings.intern("员工" + std::to_string(p + 1)), amountStyle);
        d.cells[1] = wb::Cell::makeNumber(100000 + p, amountStyle);
        for (std::uint32_t c = 2; c < cols; ++c) {
            const double v = static_cast<double>((p * 7919u + c * 104729u) % 1000000u) / 100.0;
            d.cells[c] = wb::Cell::makeNumber(v, amountStyle);
        }
        ws.rowForWrite(r + 3);
    }
    return book;
}

} // namespace quenly::test
