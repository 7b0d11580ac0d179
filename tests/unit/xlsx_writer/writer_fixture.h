// What the tests of the .xlsx writer's parts share: a small book touching every kind of content
// the writer handles, and the parts of a written package.
#pragma once

#include "temp_dir.h"
#include "xlsx/xlsx_writer.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <filesystem>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>

namespace quenly::wb::test {

inline std::map<std::string, std::string> readParts(const std::filesystem::path& file) {
    int err = 0;
    zip_t* z = zip_open(file.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &err);
    if (!z) {
        throw std::runtime_error("zip_open failed: " + std::to_string(err));
    }
    std::map<std::string, std::string> out;
    for (zip_int64_t i = 0; i < zip_get_num_entries(z, 0); ++i) {
        zip_stat_t st;
        zip_stat_index(z, static_cast<zip_uint64_t>(i), 0, &st);
        zip_file_t* f = zip_fopen_index(z, static_cast<zip_uint64_t>(i), 0);
        std::string data(st.size, '\0');
        const zip_int64_t got = zip_fread(f, data.data(), data.size());
        char extra;
        const zip_int64_t more = zip_fread(f, &extra, 1);
        zip_fclose(f);
        if (got != static_cast<zip_int64_t>(st.size) || more != 0) {
            throw std::runtime_error(std::string("bad entry ") + st.name);
        }
        out[st.name] = std::move(data);
    }
    zip_close(z);
    return out;
}

inline const std::string kDecl = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";

// A small book touching every kind of content the writer handles.
inline std::unique_ptr<Workbook> sampleBook() {
    auto book = std::make_unique<Workbook>();
    CellFormat base;
    base.font.name = "宋体";
    base.font.size = 11;
    base.font.charset = 134;
    book->styles.setDefault(base);

    CellFormat title = base;
    title.font.bold = true;
    title.font.size = 14;
    title.font.color = Color::rgb(0xFFFF0000);
    title.fill = {"solid", Color::rgb(0xFFFFFF00), Color::automatic()};
    const BorderSide thin{"thin", Color::rgb(0xFF000000)};
    title.border = {thin, thin, thin, thin, {}, false, false};
    title.alignment.horizontal = "center";
    title.alignment.vertical = "center";
    CellFormat caption = base;
    caption.border = title.border;
    caption.numberFormat = "@";
    CellFormat money = caption;
    money.numberFormat = "#,##0.00";
    CellFormat yuan = caption;
    yuan.numberFormat = "\"¥\"#,##0.00";
    yuan.protection.locked = false;
    CellFormat date = base;
    date.numberFormat = "yyyy\"年\"m\"月\"";
    date.alignment.wrap = true;
    date.alignment.rotation = 90;
    date.fill = {"gray125", {}, {}};

    const auto sTitle = book->styles.intern(title);     // 1
    const auto sCaption = book->styles.intern(caption); // 2
    const auto sMoney = book->styles.intern(money);     // 3
    const auto sYuan = book->styles.intern(yuan);       // 4
    const auto sDate = book->styles.intern(date);       // 5

    auto& ws = book->addSheet("工资表");
    book->strings.intern("never used");
    ws.cellForWrite(0, 0) = Cell::makeText(book->strings.intern("2026年12月 工资条"), sTitle);
    for (std::uint32_t c = 1; c < 4; ++c) {
        ws.cellForWrite(0, c).style = sTitle;
    }
    ws.merges().add({0, 0, 0, 3});
    ws.rowForWrite(0).height = 24;
    ws.rowForWrite(0).customHeight = true;
    const char* captions[] = {"姓名", "基本工资", "绩效", "备注"};
    for (std::uint32_t c = 0; c < 4; ++c) {
        ws.cellForWrite(1, c) = Cell::makeText(book->strings.intern(captions[c]), sCaption);
    }
    ws.cellForWrite(2, 0) = Cell::makeText(book->strings.intern("张三"), sCaption);
    ws.cellForWrite(2, 1) = Cell::makeNumber(8500.5, sMoney);
    ws.cellForWrite(2, 2) = Cell::makeNumber(0.1 + 0.2, sMoney);
    ws.cellForWrite(2, 3) = Cell::makeText(book->strings.intern(" 前后空格 "), sCaption);
    ws.cellForWrite(3, 0) = Cell::makeText(book->strings.intern("李四&<>\"'"), sCaption);
    ws.cellForWrite(3, 1) = Cell::makeNumber(-1234.5, sYuan);
    ws.cellForWrite(3, 2) = Cell::makeBool(true, sCaption);
    ws.cellForWrite(3, 3) = Cell::makeError(0x2A, sCaption);
    ws.cellForWrite(4, 0) = Cell::makeNumber(1e21);
    ws.rowForWrite(4).hidden = true;
    ws.cellForWrite(5, 0);                  // empty, no style: not written
    ws.cellForWrite(5, 2).style = sCaption; // empty with a border: written
    ws.cellForWrite(6, 4) = Cell::makeNumber(46000, sDate);
    SharedString rich;
    rich.text = "红色普通";
    RichRun red{"红色", true, base.font};
    red.font.bold = true;
    red.font.color = Color::rgb(0xFFFF0000);
    rich.runs = {red, RichRun{"普通", false, {}}};
    ws.cellForWrite(7, 0) = Cell::makeText(book->strings.addRich(rich));
    ws.cellForWrite(7, 1) = Cell::makeText(book->strings.intern(std::string("a\x01"
                                                                            "b\r\n_x0041_")));
    ws.cellForWrite(7, 2) = Cell::makeText(book->strings.intern("张三")); // interned again
    ws.rowForWrite(9).height = 30; // a row with a height and no cells
    ws.rowForWrite(10);            // a row with nothing: not written

    ws.columnForWrite(0).width = 12;
    ws.columnForWrite(0).customWidth = true;
    for (std::uint32_t c = 1; c < 3; ++c) {
        ws.columnForWrite(c).width = 15.25;
        ws.columnForWrite(c).customWidth = true;
    }
    ws.columnForWrite(3).width = 9;
    ws.columnForWrite(3).customWidth = true;
    ws.columnForWrite(3).hidden = true;
    ws.columnForWrite(5).style = sCaption; // column 4 stays default: no <col>
    ws.defaultRowHeight = 13.5;

    // Printed as a result is: margins of its own, centred, its cells only.
    PageSetup print;
    print.margins = {0.5, 0.5, 0.6, 0.6, 0.3, 0.3};
    print.centredHorizontally = true;
    print.printArea = CellRange{0, 0, 7, 4};
    ws.pageSetup = print;

    auto& second = book->addSheet("第二页");
    second.cellForWrite(0, 0) = Cell::makeNumber(1);
    second.cellForWrite(2, 27) = Cell::makeText(book->strings.intern("张三"));
    second.baseColumnWidth = 10;
    print.landscape = true;
    print.scale = 55;
    print.printArea = CellRange{0, 0, 2, 27};
    print.rowBreaks = {1, 2};
    second.pageSetup = print;
    book->activeSheet = 1;
    book->date1904 = true;
    return book;
}

inline std::string sheetPrefix() {
    return kDecl +
           "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
           "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">";
}

inline std::string sheetEnd(const std::string& pageSetup = "scale=\"100\" orientation=\"portrait\"",
                            const std::string& breaks = "") {
    return "<printOptions horizontalCentered=\"1\"/><pageMargins left=\"0.5\" right=\"0.5\" "
           "top=\"0.6\" bottom=\"0.6\" header=\"0.3\" footer=\"0.3\"/><pageSetup "
           "paperSize=\"9\" " +
           pageSetup + "/>" + breaks + "</worksheet>";
}

/// The sample book written as a package, its parts by name.
class XlsxParts : public ::testing::Test {
protected:
    void SetUp() override {
        book = sampleBook();
        file = dir / "sample.xlsx";
        writeXlsx(*book, file, {2});
        parts = readParts(file);
    }
    quenly::test::TempDir dir;
    std::unique_ptr<Workbook> book;
    std::filesystem::path file;
    std::map<std::string, std::string> parts;
};

} // namespace quenly::wb::test
