// The worksheet part, exactly: columns, rows, cells of every kind, merges and the page set-up;
// merges at volume and rows to the last of the sheet.
#include "writer_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace quenly::wb {
namespace {

using quenly::test::TempDir;
using test::readParts;
using test::sheetEnd;
using test::sheetPrefix;
using test::XlsxParts;

TEST_F(XlsxParts, SheetWithColumnRunsRowsMergesAndPageSetUp) {
    EXPECT_EQ(
        parts["xl/worksheets/sheet1.xml"],
        sheetPrefix() +
            "<dimension ref=\"A1:E8\"/><sheetViews><sheetView workbookViewId=\"0\"/></sheetViews>"
            "<sheetFormatPr defaultColWidth=\"8.43\" defaultRowHeight=\"13.5\"/>"
            "<cols><col min=\"1\" max=\"1\" width=\"12\" customWidth=\"1\"/>"
            "<col min=\"2\" max=\"3\" width=\"15.25\" customWidth=\"1\"/>"
            "<col min=\"4\" max=\"4\" width=\"9\" hidden=\"1\" customWidth=\"1\"/>"
            "<col min=\"6\" max=\"6\" width=\"8.43\" style=\"2\"/></cols>"
            "<sheetData>"
            "<row r=\"1\" ht=\"24\" customHeight=\"1\"><c r=\"A1\" s=\"1\" t=\"s\"><v>0</v></c>"
            "<c r=\"B1\" s=\"1\"/><c r=\"C1\" s=\"1\"/><c r=\"D1\" s=\"1\"/></row>"
            "<row r=\"2\"><c r=\"A2\" s=\"2\" t=\"s\"><v>1</v></c><c r=\"B2\" s=\"2\" t=\"s\">"
            "<v>2</v></c><c r=\"C2\" s=\"2\" t=\"s\"><v>3</v></c><c r=\"D2\" s=\"2\" t=\"s\">"
            "<v>4</v></c></row>"
            "<row r=\"3\"><c r=\"A3\" s=\"2\" t=\"s\"><v>5</v></c><c r=\"B3\" s=\"3\"><v>8500.5</v>"
            "</c><c r=\"C3\" s=\"3\"><v>0.30000000000000004</v></c><c r=\"D3\" s=\"2\" t=\"s\">"
            "<v>6</v></c></row>"
            "<row r=\"4\"><c r=\"A4\" s=\"2\" t=\"s\"><v>7</v></c><c r=\"B4\" "
            "s=\"4\"><v>-1234.5</v>"
            "</c><c r=\"C4\" s=\"2\" t=\"b\"><v>1</v></c><c r=\"D4\" s=\"2\" t=\"e\"><v>#N/A</v>"
            "</c></row>"
            "<row r=\"5\" hidden=\"1\"><c r=\"A5\"><v>1e+21</v></c></row>"
            "<row r=\"6\"><c r=\"C6\" s=\"2\"/></row>"
            "<row r=\"7\"><c r=\"E7\" s=\"5\"><v>46000</v></c></row>"
            "<row r=\"8\"><c r=\"A8\" t=\"s\"><v>8</v></c><c r=\"B8\" t=\"s\"><v>9</v></c>"
            "<c r=\"C8\" t=\"s\"><v>5</v></c></row>"
            "<row r=\"10\" ht=\"30\"/>"
            "</sheetData><mergeCells count=\"1\"><mergeCell ref=\"A1:D1\"/></mergeCells>" +
            sheetEnd());
    EXPECT_EQ(parts["xl/worksheets/sheet2.xml"],
              sheetPrefix() +
                  "<dimension ref=\"A1:AB3\"/><sheetViews><sheetView tabSelected=\"1\" "
                  "workbookViewId=\"0\"/></sheetViews>"
                  "<sheetFormatPr baseColWidth=\"10\" defaultRowHeight=\"15\"/><sheetData>"
                  "<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>"
                  "<row r=\"3\"><c r=\"AB3\" t=\"s\"><v>5</v></c></row></sheetData>" +
                  sheetEnd("scale=\"55\" orientation=\"landscape\"",
                           "<rowBreaks count=\"2\" manualBreakCount=\"2\"><brk id=\"1\" "
                           "max=\"16383\" man=\"1\"/><brk id=\"2\" max=\"16383\" "
                           "man=\"1\"/></rowBreaks>"));
}

TEST(SheetPart, ASheetWithoutAPageSetUpLeavesPrintingToTheApplication) {
    TempDir dir;
    Workbook book;
    book.addSheet("Sheet1").cellForWrite(0, 0) = Cell::makeNumber(1);
    PageSetup plain;
    plain.paperSize = 8; // A3, upright, at the application's margins, not centred
    book.addSheet("Sheet2").pageSetup = plain;
    writeXlsx(book, dir / "plain.xlsx", {1});
    auto parts = readParts(dir / "plain.xlsx");
    EXPECT_EQ(parts["xl/worksheets/sheet1.xml"],
              sheetPrefix() +
                  "<dimension ref=\"A1\"/><sheetViews><sheetView tabSelected=\"1\" "
                  "workbookViewId=\"0\"/></sheetViews><sheetFormatPr defaultColWidth=\"8.43\" "
                  "defaultRowHeight=\"15\"/><sheetData><row r=\"1\"><c r=\"A1\"><v>1</v></c>"
                  "</row></sheetData></worksheet>");
    EXPECT_NE(parts["xl/worksheets/sheet2.xml"].find(
                  "<sheetData></sheetData><pageMargins left=\"0.7\" right=\"0.7\" top=\"0.75\" "
                  "bottom=\"0.75\" header=\"0.3\" footer=\"0.3\"/><pageSetup paperSize=\"8\" "
                  "scale=\"100\" orientation=\"portrait\"/></worksheet>"),
              std::string::npos)
        << parts["xl/worksheets/sheet2.xml"];
    EXPECT_EQ(parts["xl/workbook.xml"].find("definedNames"), std::string::npos);
}

// The model keeps a break before every page; a file keeps no more than spreadsheet applications
// do, the first ones.
TEST(SheetPart, RowBreaksStopAtTheApplicationsLimit) {
    TempDir dir;
    Workbook book;
    Worksheet& ws = book.addSheet("Sheet1");
    ws.cellForWrite(0, 0) = Cell::makeNumber(1);
    PageSetup setup;
    for (std::uint32_t row = 1; row <= 1100; ++row) {
        setup.rowBreaks.push_back(row * 4);
    }
    ws.pageSetup = setup;
    writeXlsx(book, dir / "breaks.xlsx", {1});
    const std::string sheet = readParts(dir / "breaks.xlsx")["xl/worksheets/sheet1.xml"];
    EXPECT_NE(sheet.find("<rowBreaks count=\"1026\" manualBreakCount=\"1026\"><brk id=\"4\" "),
              std::string::npos);
    EXPECT_NE(sheet.find("<brk id=\"4104\" max=\"16383\" man=\"1\"/></rowBreaks>"),
              std::string::npos);
    EXPECT_EQ(sheet.find("<brk id=\"4108\""), std::string::npos);
}

TEST(SheetPart, SeventyThousandMergesCountedExactly) {
    TempDir dir;
    Workbook book;
    auto& ws = book.addSheet("Sheet1");
    const std::uint32_t n = 70000;
    for (std::uint32_t i = 0; i < n; ++i) {
        ws.cellForWrite(i * 2, 0) = Cell::makeNumber(i);
        ws.merges().add({i * 2, 0, i * 2 + 1, 2});
    }
    ws.merges().add({n * 2 + 5, 3, n * 2 + 5, 3}); // a single cell is no merge: left out
    writeXlsx(book, dir / "m.xlsx", {2});
    const std::string sheet = readParts(dir / "m.xlsx")["xl/worksheets/sheet1.xml"];
    EXPECT_NE(sheet.find("<mergeCells count=\"70000\"><mergeCell ref=\"A1:C2\"/>"),
              std::string::npos);
    std::size_t count = 0;
    for (std::size_t p = sheet.find("<mergeCell "); p != std::string::npos;
         p = sheet.find("<mergeCell ", p + 1)) {
        ++count;
    }
    EXPECT_EQ(count, n);
    EXPECT_NE(sheet.find("<mergeCell ref=\"A139999:C140000\"/></mergeCells>"), std::string::npos);
}

TEST(SheetPart, RowsToTheLastOfTheSheet) {
    TempDir dir;
    Workbook book;
    auto& ws = book.addSheet("Sheet1");
    ws.cellForWrite(kMaxRows - 1, kMaxCols - 1) = Cell::makeNumber(7);
    ws.merges().add({kMaxRows - 2, kMaxCols - 2, kMaxRows - 1, kMaxCols - 1});
    writeXlsx(book, dir / "last.xlsx", {2});
    const std::string sheet = readParts(dir / "last.xlsx")["xl/worksheets/sheet1.xml"];
    EXPECT_NE(sheet.find("<dimension ref=\"XFD1048576\"/>"), std::string::npos);
    EXPECT_NE(sheet.find("<row r=\"1048576\"><c r=\"XFD1048576\"><v>7</v></c></row>"),
              std::string::npos);
    EXPECT_NE(sheet.find("<mergeCell ref=\"XFC1048575:XFD1048576\"/>"), std::string::npos);
}

TEST(SheetPart, NumbersASpreadsheetCannotHoldBecomeErrors) {
    TempDir dir;
    Workbook book;
    auto& ws = book.addSheet("Sheet1");
    ws.cellForWrite(0, 0) = Cell::makeNumber(std::nan(""));
    ws.cellForWrite(0, 1) = Cell::makeNumber(-HUGE_VAL);
    writeXlsx(book, dir / "nan.xlsx", {1});
    const std::string sheet = readParts(dir / "nan.xlsx")["xl/worksheets/sheet1.xml"];
    EXPECT_NE(sheet.find("<c r=\"A1\" t=\"e\"><v>#NUM!</v></c><c r=\"B1\" t=\"e\"><v>#NUM!</v>"),
              std::string::npos);
}

TEST(SheetPart, OverlappingMergesKeepTheFirst) {
    TempDir dir;
    Workbook book;
    auto& ws = book.addSheet("Sheet1");
    ws.cellForWrite(0, 0) = Cell::makeNumber(1);
    ws.merges().add({0, 0, 3, 1}); // A1:B4
    ws.merges().add({2, 1, 2, 4}); // B3:E3 overlaps A1:B4
    ws.merges().add({3, 2, 5, 3}); // C4:D6 touches neither
    ws.merges().add({5, 0, 5, 1}); // A6:B6 below A1:B4
    ws.merges().add({4, 3, 4, 5}); // D5:F5 overlaps C4:D6
    writeXlsx(book, dir / "o.xlsx", {1});
    const std::string sheet = readParts(dir / "o.xlsx")["xl/worksheets/sheet1.xml"];
    EXPECT_NE(sheet.find("<mergeCells count=\"3\"><mergeCell ref=\"A1:B4\"/>"
                         "<mergeCell ref=\"C4:D6\"/><mergeCell ref=\"A6:B6\"/></mergeCells>"),
              std::string::npos)
        << sheet;
}

} // namespace
} // namespace quenly::wb
