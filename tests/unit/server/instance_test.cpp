// The application, workbook, worksheet and range objects of one instance and across instances.
#include "server_fixture.h"

#include <gtest/gtest.h>

namespace quenly::wb::test {
namespace {

std::shared_ptr<Workbook> smallBook() {
    auto book = std::make_shared<Workbook>();
    Worksheet& ws = book->addSheet("工资");
    book->addSheet("其他");
    ws.cellForWrite(0, 0) = Cell::makeText(book->strings.intern("姓名"));
    ws.cellForWrite(1, 0) = Cell::makeNumber(2.5);
    ws.cellForWrite(2, 0) = Cell::makeBool(true);
    ws.cellForWrite(3, 0) = Cell::makeError(0x2A);
    ws.cellForWrite(4, 0) = Cell::makeText(book->strings.intern(" "));
    ws.cellForWrite(5, 0); // a cell that exists but is empty
    ws.defaultColumnWidth = 9.140625;
    ws.columnForWrite(1).width = 12.7109375;
    ws.columnForWrite(1).customWidth = true;
    ws.columnForWrite(2).width = 20;
    ws.columnForWrite(2).hidden = true;
    return book;
}

TEST(Instance, FindsMembersByNameInAnyCase) {
    ServerFixture f;
    Dispatch app = f.startWith("/w.xlsx", smallBook());
    EXPECT_EQ(app.getObject("RANGE", Variant("a1")).get("value"), Variant("姓名"));
    EXPECT_EQ(app.getObject("range", Variant("A2")).get("VaLuE"), Variant(2.5));
    EXPECT_EQ(errorOf([&] { app.get("Cells"); }), "对象不支持成员 Cells");
    // The application object is the instance itself.
    EXPECT_EQ(app.getObject("Application").object(), app.object());
}

TEST(Instance, ChecksHowMembersAreCalledAndTheirArguments) {
    ServerFixture f;
    Dispatch app = f.startWith("/w.xlsx", smallBook());
    Dispatch cell = app.getObject("Range", Variant("A1"));
    EXPECT_EQ(errorOf([&] { cell.put("Copy", Variant(true)); }), "成员 Copy 不能赋值");
    EXPECT_EQ(errorOf([&] { cell.call("Value"); }), "成员 Value 不能作为方法调用");
    EXPECT_EQ(errorOf([&] { cell.put("Value", Variant(1.0)); }), "成员 Value 不能赋值");
    EXPECT_EQ(errorOf([&] { app.get("Range"); }), "成员 Range 需要 1 个参数，收到 0 个");
    EXPECT_EQ(errorOf([&] { app.get("Range", Variant(std::int32_t{1})); }),
              "成员 Range 的第 1 个参数应为文本，收到 1");
    EXPECT_EQ(errorOf([&] { app.get("Worksheets", Variant("1")); }),
              "成员 Worksheets 的第 1 个参数应为整数序号，收到 \"1\"");
    EXPECT_EQ(errorOf([&] { cell.put("ColumnWidth", Variant("wide")); }),
              "成员 ColumnWidth 的第 1 个参数应为数值，收到 \"wide\"");
    const Variant two[] = {Variant(1.0), Variant(2.0)};
    EXPECT_EQ(errorOf([&] { cell.call("Copy", two); }), "成员 Copy 需要 0 个参数，收到 2 个");
    EXPECT_EQ(errorOf([&] { app.getObject("Range", Variant("A0")); }),
              "单元格地址“A0”无效：行号必须在 1 到 1048576 之间");
    EXPECT_EQ(errorOf([&] { app.getObject("Worksheets", 3); }),
              "工作簿中没有第 3 张工作表（共 2 张）");
    EXPECT_EQ(errorOf([&] { app.getObject("Workbooks", 2); }),
              "没有打开第 2 个工作簿（共打开 1 个）");
}

TEST(Instance, AddressNamesTheRangeWhetherCalledOrRead) {
    ServerFixture f;
    Dispatch app = f.startWith("/w.xlsx", smallBook());
    // Given in any form, named in the plain one, corners ordered.
    Dispatch range = app.getObject("Range", Variant("$c$3:b2"));
    EXPECT_EQ(range.get("Address"), Variant("B2:C3"));
    EXPECT_EQ(range.call("address"), Variant("B2:C3"));
    EXPECT_EQ(
        app.getObject("Worksheets", 1).getObject("Range", Variant("XFD1048576")).get("Address"),
        Variant("XFD1048576"));
    EXPECT_EQ(errorOf([&] { range.put("Address", Variant("A1")); }), "成员 Address 不能赋值");
    const Variant one[] = {Variant(1.0)};
    EXPECT_EQ(errorOf([&] { range.call("Address", one); }),
              "成员 Address 需要 0 个参数，收到 1 个");
}

TEST(Instance, ValueGivesEachKindOfCell) {
    ServerFixture f;
    Dispatch app = f.startWith("/w.xlsx", smallBook());
    auto value = [&](const char* a) { return app.getObject("Range", Variant(a)).get("Value"); };
    EXPECT_EQ(value("A1"), Variant("姓名"));
    EXPECT_EQ(value("A2"), Variant(2.5));
    EXPECT_EQ(value("A3"), Variant(true));
    EXPECT_EQ(value("A4"), Variant(CellErrorCode::NA));
    EXPECT_EQ(value("A5"), Variant(" "));
    EXPECT_TRUE(value("A6").isEmpty());
    EXPECT_TRUE(value("A7").isEmpty());
    EXPECT_TRUE(value("XFD1048576").isEmpty());
    EXPECT_EQ(errorOf([&] { value("A1:A2"); }),
              "区域 A1:A2 包含多个单元格，只能读取单个单元格的值");
}

TEST(Instance, OpenActivatesAndReportsLoaderFaults) {
    ServerFixture f;
    Dispatch app = f.start();
    EXPECT_EQ(errorOf([&] { app.getObject("Range", Variant("A1")); }),
              "电子表格中没有打开的工作簿");
    Dispatch books = app.getObject("Workbooks");
    EXPECT_EQ(books.get("Count"), Variant(std::int32_t{0}));
    EXPECT_EQ(errorOf([&] { books.call("Open", ServerFixture::args({Variant("/nope.xlsx")})); }),
              "文件“/nope.xlsx”不存在");
    f.files["/a.xlsx"] = smallBook();
    f.files["/b.xlsx"] = smallBook();
    f.files["/b.xlsx"]->sheet(0).cellForWrite(0, 0) = Cell::makeNumber(7);
    books.call("Open", ServerFixture::args({Variant("/a.xlsx")}));
    books.call("Open", ServerFixture::args({Variant("/b.xlsx")}));
    EXPECT_EQ(books.get("Count"), Variant(std::int32_t{2}));
    // The workbook opened last is active; Workbooks(1) is the first one opened.
    EXPECT_EQ(app.getObject("Range", Variant("A1")).get("Value"), Variant(7.0));
    EXPECT_EQ(app.getObject("Workbooks", 1).get("Name"), Variant("a.xlsx"));
    EXPECT_EQ(app.getObject("Workbooks", 1).getObject("Worksheets").get("Count"),
              Variant(std::int32_t{2}));
    // Activating a sheet of the first workbook makes that workbook active again.
    Dispatch other = app.getObject("Workbooks", 1).getObject("Worksheets").getObject("Item", 2);
    EXPECT_EQ(other.get("Name"), Variant("其他"));
    other.call("Activate");
    EXPECT_TRUE(app.getObject("Range", Variant("A1")).get("Value").isEmpty());
    app.getObject("Worksheets", 1).call("Activate");
    EXPECT_EQ(app.getObject("Range", Variant("A1")).get("Value"), Variant("姓名"));
    const OpenTimings t = f.server.openTimings();
    EXPECT_EQ(t.opens, 3);
    EXPECT_GE(t.total.count(), 0.0);
}

TEST(Instance, AddGivesAnEmptyWorkbookWithSheet1) {
    ServerFixture f;
    Dispatch sheet;
    Dispatch app = f.startEmpty(sheet);
    EXPECT_EQ(sheet.get("Name"), Variant("Sheet1"));
    EXPECT_EQ(app.getObject("Workbooks", 1).getObject("Worksheets").get("Count"),
              Variant(std::int32_t{1}));
    EXPECT_TRUE(app.getObject("Range", Variant("A1")).get("Value").isEmpty());
}

TEST(Instance, RenamesSheetsWithinTheRulesOfSheetNames) {
    ServerFixture f;
    Dispatch app = f.startWith("/w.xlsx", smallBook());
    Dispatch sheet = app.getObject("Worksheets", 1);
    std::string longest;
    for (int i = 0; i < 31; ++i) {
        longest += "薪";
    }
    sheet.put("Name", Variant(longest));
    EXPECT_EQ(sheet.get("Name"), Variant(longest));
    const std::string rules = "”无效：名称不能为空，不能超过 31 个字符，也不能含有 : \\ / ? * [ ]";
    EXPECT_EQ(errorOf([&] { sheet.put("Name", Variant(longest + "薪")); }),
              "工作表名称“" + longest + "薪" + rules);
    EXPECT_EQ(errorOf([&] { sheet.put("Name", Variant("a/b")); }), "工作表名称“a/b" + rules);
    EXPECT_EQ(errorOf([&] { sheet.put("Name", Variant("")); }), "工作表名称“" + rules);
    EXPECT_EQ(errorOf([&] { sheet.put("Name", Variant("其他")); }),
              "工作表名称“其他”已被同一工作簿中的另一张工作表使用");
    EXPECT_EQ(sheet.get("Name"), Variant(longest));
}

TEST(Instance, ColumnWidthRoundTripsAndHides) {
    ServerFixture f;
    Dispatch src = f.startWith("/w.xlsx", smallBook());
    auto width = [](Dispatch& app, const char* a) {
        return app.getObject("Range", Variant(a)).get("ColumnWidth");
    };
    // No width set: the sheet's default; a hidden column reads 0.
    EXPECT_EQ(width(src, "A1"), Variant(9.140625));
    EXPECT_EQ(width(src, "B7"), Variant(12.7109375));
    EXPECT_EQ(width(src, "C1"), Variant(0.0));
    EXPECT_TRUE(width(src, "A1:B1").isEmpty()); // the widths differ

    Dispatch sheet;
    Dispatch dst = f.startEmpty(sheet);
    for (const char* a : {"A1", "B1", "C1"}) {
        dst.getObject("Range", Variant(a)).put("ColumnWidth", width(src, a));
    }
    dst.put("Visible", Variant(true));
    ASSERT_EQ(f.results.size(), 1u);
    const Worksheet& ws = f.results[0]->sheet(0);
    EXPECT_EQ(ws.column(0).width, 9.140625);
    EXPECT_TRUE(ws.column(0).customWidth);
    EXPECT_EQ(ws.column(1).width, 12.7109375);
    EXPECT_FALSE(ws.column(1).hidden);
    EXPECT_TRUE(ws.column(2).hidden);

    Dispatch again = f.start();
    again.getObject("Workbooks").call("Add");
    Dispatch cols = again.getObject("Range", Variant("D1:E1"));
    cols.put("ColumnWidth", Variant(std::int32_t{15}));
    EXPECT_EQ(cols.get("ColumnWidth"), Variant(15.0));
    cols.put("ColumnWidth", Variant(0.0));
    EXPECT_EQ(cols.get("ColumnWidth"), Variant(0.0));
    cols.put("ColumnWidth", Variant(3.5)); // showing it again
    EXPECT_EQ(cols.get("ColumnWidth"), Variant(3.5));
    EXPECT_EQ(errorOf([&] { cols.put("ColumnWidth", Variant(-1.0)); }),
              "列宽必须在 0 到 255 之间，收到 -1");
    EXPECT_EQ(errorOf([&] { cols.put("ColumnWidth", Variant(256.0)); }),
              "列宽必须在 0 到 255 之间，收到 256");
}

TEST(Instance, QuitEndsEveryObjectOfTheInstance) {
    ServerFixture f;
    Dispatch app = f.startWith("/w.xlsx", smallBook());
    Dispatch books = app.getObject("Workbooks");
    Dispatch book = app.getObject("Workbooks", 1);
    Dispatch sheets = book.getObject("Worksheets");
    Dispatch sheet = app.getObject("Worksheets", 1);
    Dispatch range = app.getObject("Range", Variant("A1"));
    app.call("Quit");
    const std::string quit = "电子表格实例已退出";
    EXPECT_EQ(errorOf([&] { app.get("Visible"); }), quit);
    EXPECT_EQ(errorOf([&] { app.call("Quit"); }), quit);
    EXPECT_EQ(errorOf([&] { books.get("Count"); }), quit);
    EXPECT_EQ(errorOf([&] { book.get("Name"); }), quit);
    EXPECT_EQ(errorOf([&] { sheets.get("Count"); }), quit);
    EXPECT_EQ(errorOf([&] { sheet.call("Paste"); }), quit);
    EXPECT_EQ(errorOf([&] { range.get("Value"); }), quit);
    EXPECT_TRUE(f.results.empty()); // quitting shows nothing
}

TEST(Instance, CloseDiscardsEveryWorkbook) {
    ServerFixture f;
    Dispatch app = f.startWith("/w.xlsx", smallBook());
    app.getObject("Workbooks").call("Add");
    Dispatch range = app.getObject("Range", Variant("A1"));
    Dispatch sheet = app.getObject("Worksheets", 1);
    app.put("DisplayAlerts", Variant(false));
    EXPECT_EQ(app.get("DisplayAlerts"), Variant(false));
    app.getObject("Workbooks").call("Close");
    EXPECT_EQ(app.getObject("Workbooks").get("Count"), Variant(std::int32_t{0}));
    EXPECT_EQ(errorOf([&] { app.getObject("Range", Variant("A1")); }),
              "电子表格中没有打开的工作簿");
    EXPECT_EQ(errorOf([&] { range.get("Value"); }), "工作簿“新工作簿”已关闭，不能再对它操作");
    EXPECT_EQ(errorOf([&] { sheet.get("Name"); }), "工作簿“新工作簿”已关闭，不能再对它操作");
    // The instance itself goes on.
    app.getObject("Workbooks").call("Add");
    EXPECT_EQ(app.getObject("Workbooks").get("Count"), Variant(std::int32_t{1}));
    app.call("Quit");
    EXPECT_TRUE(f.results.empty());
}

TEST(Instance, VisibleHandsTheActiveWorkbookOver) {
    ServerFixture f;
    Dispatch sheet;
    Dispatch app = f.startEmpty(sheet);
    EXPECT_EQ(app.get("Visible"), Variant(false));
    app.getObject("Range", Variant("A1")).put("ColumnWidth", Variant(30.0));
    app.put("Visible", Variant(false));
    EXPECT_TRUE(f.results.empty());
    app.put("Visible", Variant(true));
    EXPECT_EQ(app.get("Visible"), Variant(true));
    ASSERT_EQ(f.results.size(), 1u);
    EXPECT_EQ(f.results[0]->sheet(0).name(), "Sheet1");
    EXPECT_EQ(f.results[0]->sheet(0).column(0).width, 30.0);
    // The instance let go of it: nothing more can change it.
    EXPECT_EQ(errorOf([&] { sheet.call("Paste"); }), "工作簿“新工作簿”已关闭，不能再对它操作");
    EXPECT_EQ(app.getObject("Workbooks").get("Count"), Variant(std::int32_t{0}));
}

TEST(Instance, InstancesShareOnlyTheClipboard) {
    ServerFixture f;
    Dispatch a = f.startWith("/w.xlsx", smallBook());
    Dispatch sheet;
    Dispatch b = f.startEmpty(sheet);
    EXPECT_EQ(a.getObject("Workbooks").get("Count"), Variant(std::int32_t{1}));
    EXPECT_EQ(b.getObject("Workbooks").get("Count"), Variant(std::int32_t{1}));
    a.getObject("Range", Variant("B7")).put("ColumnWidth", Variant(40.0));
    EXPECT_EQ(b.getObject("Range", Variant("B7")).get("ColumnWidth"), Variant(8.43));
    a.put("DisplayAlerts", Variant(false));
    EXPECT_EQ(b.get("DisplayAlerts"), Variant(true));
    copyPaste(a, "A1:A2", b, sheet, "C3");
    EXPECT_EQ(b.getObject("Range", Variant("C3")).get("Value"), Variant("姓名"));
    EXPECT_EQ(b.getObject("Range", Variant("C4")).get("Value"), Variant(2.5));
    a.call("Quit");
    EXPECT_EQ(b.getObject("Range", Variant("C3")).get("Value"), Variant("姓名"));
    // Quitting the source cleared what it had put on the clipboard.
    EXPECT_EQ(errorOf([&] { sheet.call("Paste"); }), "剪贴板是空的：请先复制要粘贴的区域");
}

TEST(Instance, ServerRegisteredUnderItsProgramIdentifier) {
    std::vector<std::shared_ptr<Workbook>> shown;
    ServerRegistry registry;
    {
        SpreadsheetServer server(
            [&](std::shared_ptr<Workbook> b) { shown.push_back(b); },
            [](const std::string&) -> std::shared_ptr<Workbook> { throw WorkbookError("x"); });
        server.registerWith(registry);
    }
    Dispatch app = registry.start("excel.application");
    app.getObject("Workbooks").call("Add");
    app.put("Visible", Variant(true));
    EXPECT_EQ(shown.size(), 1u);
    Dispatch other = registry.start("Excel.Application");
    EXPECT_NE(other.object(), app.object());
    EXPECT_EQ(other.getObject("Workbooks").get("Count"), Variant(std::int32_t{0}));
}

} // namespace
} // namespace quenly::wb::test
