// Tests of the PDF writer: pages of whole slips, text and fonts, rendered pixels, and faults,
// checked with poppler's command-line tools.
#include "pdf/pdf_writer.h"
#include "pdf/rows_pdf.h"
#include "print/page_layout.h"
#include "slip_fixture.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

using namespace quenly::wb;
using namespace quenly::wb::pdf;

// fontconfig and cairo keep their font caches for the life of the process; what they still
// hold at exit is theirs, not a leak of the writer.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\nleak:libcairo.so\n";
}
using quenly::test::makeWageSlips;
using quenly::test::TempDir;

namespace {

bool haveTool(const std::string& tool) {
    return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

#define REQUIRE_POPPLER()                                                                          \
    do {                                                                                           \
        for (const char* tool : {"pdfinfo", "pdftotext", "pdffonts", "pdftoppm"}) {                \
            if (!haveTool(tool)) {                                                                 \
                GTEST_SKIP() << tool << " (poppler-utils) is not installed";                       \
            }                                                                                      \
        }                                                                                          \
    } while (0)

std::string run(const std::string& command) {
    FILE* p = popen(command.c_str(), "r");
    if (!p) {
        throw std::runtime_error("cannot run " + command);
    }
    std::string out;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) {
        out.append(buf, n);
    }
    if (pclose(p) != 0) {
        throw std::runtime_error("failed: " + command);
    }
    return out;
}

std::string quote(const std::filesystem::path& p) {
    return "'" + p.string() + "'";
}

struct Info {
    int pages = 0;
    double width = 0, height = 0;
};

Info pdfInfo(const std::filesystem::path& pdf) {
    const std::string out = run("pdfinfo " + quote(pdf));
    Info info;
    std::smatch m;
    if (std::regex_search(out, m, std::regex("Pages:\\s+(\\d+)"))) {
        info.pages = std::stoi(m[1]);
    }
    if (std::regex_search(out, m, std::regex("Page size:\\s+([0-9.]+) x ([0-9.]+) pts"))) {
        info.width = std::stod(m[1]);
        info.height = std::stod(m[2]);
    }
    return info;
}

std::string pageText(const std::filesystem::path& pdf, int page) {
    return run("pdftotext -layout -f " + std::to_string(page) + " -l " + std::to_string(page) +
               " " + quote(pdf) + " -");
}

std::size_t countOf(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos;
         at = text.find(what, at + what.size())) {
        ++n;
    }
    return n;
}

// One word as pdftotext places it, in points from the page's top left corner.
struct Word {
    std::string text;
    double xMin, yMin, xMax, yMax;
};

std::vector<Word> words(const std::filesystem::path& pdf, int page = 1) {
    const std::string html = run("pdftotext -bbox -f " + std::to_string(page) + " -l " +
                                 std::to_string(page) + " " + quote(pdf) + " -");
    const std::regex re("<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\" xMax=\"([0-9.]+)\" "
                        "yMax=\"([0-9.]+)\">([^<]*)</word>");
    std::vector<Word> out;
    for (auto it = std::sregex_iterator(html.begin(), html.end(), re); it != std::sregex_iterator();
         ++it) {
        const std::smatch& m = *it;
        out.push_back({m[5], std::stod(m[1]), std::stod(m[2]), std::stod(m[3]), std::stod(m[4])});
    }
    return out;
}

const Word* findWord(const std::vector<Word>& ws, const std::string& text) {
    for (const Word& w : ws) {
        if (w.text == text) {
            return &w;
        }
    }
    return nullptr;
}

// A page rendered by pdftoppm, RGB pixels.
struct Image {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;
    const unsigned char* at(int x, int y) const {
        return &rgb[(static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                     static_cast<std::size_t>(x)) *
                    3];
    }
    int darkness(int x, int y) const {
        const unsigned char* p = at(x, y);
        return 255 - (p[0] + p[1] + p[2]) / 3;
    }
    // The darkest pixel at (x, y) and its eight neighbours: a line lands on one of them.
    int darknessNear(int x, int y) const {
        int d = 0;
        for (int dy = -1; dy <= 1; ++dy) {
            for (int dx = -1; dx <= 1; ++dx) {
                d = std::max(d, darkness(x + dx, y + dy));
            }
        }
        return d;
    }
};

constexpr double kDpi = 50;

Image render(const std::filesystem::path& pdf, int page = 1, int dpi = static_cast<int>(kDpi)) {
    const std::filesystem::path base = pdf.string() + "-page";
    run("pdftoppm -r " + std::to_string(dpi) + " -f " + std::to_string(page) + " -l " +
        std::to_string(page) + " -singlefile " + quote(pdf) + " " + quote(base));
    std::ifstream in(base.string() + ".ppm", std::ios::binary);
    std::string magic;
    int maxval = 0;
    Image img;
    in >> magic >> img.width >> img.height >> maxval;
    in.get();
    if (magic != "P6" || maxval != 255) {
        throw std::runtime_error("unexpected pdftoppm output");
    }
    img.rgb.resize(static_cast<std::size_t>(img.width) * static_cast<std::size_t>(img.height) * 3);
    in.read(reinterpret_cast<char*>(img.rgb.data()), static_cast<std::streamsize>(img.rgb.size()));
    return img;
}

int px(double pt, double dpi = kDpi) {
    return static_cast<int>(std::lround(pt * dpi / 72));
}

// Where the cells of page `page` land on the paper, in points, as the writer places them.
struct Geometry {
    std::vector<double> x;             // left edges of columns 0 .. lastCol, then the right edge
    std::map<std::uint32_t, double> y; // top edge of each row of the page, and one past it
    double scale = 1;
};

Geometry geometry(const print::PageLayout& layout, std::size_t page = 0) {
    Geometry g;
    g.scale = layout.scale / 100.0;
    double total = 0;
    for (double w : layout.columnWidthsPt) {
        total += w;
    }
    const double left = layout.margins.left * 72;
    const double room = layout.paperWidthPt - left - layout.margins.right * 72;
    double x = left + std::max(0.0, (room - total * g.scale) / 2);
    for (double w : layout.columnWidthsPt) {
        g.x.push_back(x);
        x += w * g.scale;
    }
    g.x.push_back(x);
    const print::Page& p = layout.pages.at(page);
    double y = layout.margins.top * 72;
    for (std::uint32_t r = p.firstRow; r <= p.lastRow; ++r) {
        g.y[r] = y;
        y += layout.rowHeightsPt.at(r) * g.scale;
    }
    g.y[p.lastRow + 1] = y;
    return g;
}

// A small sheet to place single cells on: columns of 12 characters, rows of 20 points.
struct Sheet {
    std::unique_ptr<Workbook> book = std::make_unique<Workbook>();
    Worksheet* ws;
    CellFormat base;

    explicit Sheet(std::uint32_t cols = 4) {
        base.font.name = "宋体";
        base.font.size = 11;
        book->styles.setDefault(base);
        ws = &book->addSheet("Sheet1");
        for (std::uint32_t c = 0; c < cols; ++c) {
            ws->columnForWrite(c).width = 12;
            ws->columnForWrite(c).customWidth = true;
        }
    }
    void rowHeight(std::uint32_t r, double h) {
        Row& row = ws->rowForWrite(r);
        row.height = h;
        row.customHeight = true;
    }
    void text(std::uint32_t r, std::uint32_t c, const std::string& t, const CellFormat& f) {
        ws->cellForWrite(r, c) = Cell::makeText(book->strings.intern(t), book->styles.intern(f));
    }
    void number(std::uint32_t r, std::uint32_t c, double v, const CellFormat& f) {
        ws->cellForWrite(r, c) = Cell::makeNumber(v, book->styles.intern(f));
    }
};

// ---------------------------------------------------------------------------------------------

TEST(PdfPages, EveryPageHoldsWholeSlipsAsLaidOut) {
    REQUIRE_POPPLER();
    TempDir dir;
    const auto book = makeWageSlips(60, 12);
    const print::PageLayout layout = print::layoutPages(*book, book->sheet(0));
    ASSERT_GT(layout.pages.size(), 1u);
    const auto pdf = dir / "slips.pdf";
    std::vector<std::pair<std::size_t, std::size_t>> calls;
    PdfOptions options;
    options.progress = [&](std::size_t done, std::size_t total) {
        calls.emplace_back(done, total);
    };
    writePdf(*book, pdf, options);

    const Info info = pdfInfo(pdf);
    EXPECT_EQ(info.pages, static_cast<int>(layout.pages.size()));
    EXPECT_NEAR(info.width, layout.paperWidthPt, 0.5);
    EXPECT_NEAR(info.height, layout.paperHeightPt, 0.5);
    EXPECT_EQ(info.width > info.height, layout.landscape);

    std::size_t slipsSeen = 0;
    for (std::size_t p = 0; p < layout.pages.size(); ++p) {
        const std::string text = pageText(pdf, static_cast<int>(p + 1));
        const print::Page& page = layout.pages[p];
        std::size_t onPage = 0;
        for (std::size_t b = 0; b < layout.blocks.size(); ++b) {
            if (layout.blocks[b].firstRow >= page.firstRow &&
                layout.blocks[b].lastRow <= page.lastRow) {
                ++onPage;
                // The person's own row is on the page of the slip's header.
                EXPECT_EQ(countOf(text, "E" + std::to_string(100001 + b)), 1u)
                    << "slip " << b << " on page " << p + 1;
            }
        }
        ASSERT_GT(onPage, 0u);
        EXPECT_EQ(countOf(text, "2026年12月工资条"), onPage) << "page " << p + 1;
        EXPECT_EQ(countOf(text, "实发工资"), onPage) << "page " << p + 1;
        EXPECT_EQ(countOf(text, "个人所得税"), onPage) << "page " << p + 1;
        EXPECT_NE(text.find("第 " + std::to_string(p + 1) + " 页"), std::string::npos);
        slipsSeen += onPage;
    }
    EXPECT_EQ(slipsSeen, 60u);

    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.front(), std::make_pair(std::size_t{0}, layout.pages.size()));
    EXPECT_EQ(calls.back(), std::make_pair(layout.pages.size(), layout.pages.size()));
    for (std::size_t i = 1; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].first, calls[i - 1].first + 1);
    }
}

TEST(PdfPages, FontsAreEmbeddedAndChineseUsesACjkFace) {
    REQUIRE_POPPLER();
    TempDir dir;
    Sheet s;
    CellFormat f = s.base;
    s.text(0, 0, "姓名", f);
    f.font.name = "Calibri";
    s.text(0, 1, "Total 12", f);
    f.font.name = "楷体";
    s.text(0, 2, "实发工资", f);
    f.font.name = "Arial";
    f.font.bold = true;
    s.text(1, 0, "中文用 Arial", f);
    const auto pdf = dir / "fonts.pdf";
    writePdf(*s.book, pdf);
    const std::string fonts = run("pdffonts " + quote(pdf));
    std::istringstream lines(fonts);
    std::string line;
    int listed = 0;
    bool cjk = false, kai = false;
    while (std::getline(lines, line)) {
        if (line.starts_with("name") || line.starts_with("----")) {
            continue;
        }
        ++listed;
        // Columns: name type encoding emb sub uni ...; every font is embedded.
        EXPECT_NE(line.find(" yes "), std::string::npos) << line;
        cjk = cjk || line.find("CJK") != std::string::npos;
        kai = kai || line.find("UKai") != std::string::npos;
    }
    EXPECT_GT(listed, 0);
    EXPECT_TRUE(cjk) << fonts;
    EXPECT_TRUE(kai) << fonts;
    const std::string text = pageText(pdf, 1);
    for (const char* t : {"姓名", "Total 12", "实发工资", "中文用 Arial"}) {
        EXPECT_NE(text.find(t), std::string::npos) << t << " in\n" << text;
    }
}

TEST(PdfPages, ASlipTallerThanAPageIsCutAtRowsAndNothingIsLost) {
    REQUIRE_POPPLER();
    TempDir dir;
    Sheet s;
    for (std::uint32_t r = 0; r < 150; ++r) {
        s.text(r, 0, "第" + std::to_string(r + 1) + "行", s.base);
        s.number(r, 1, r + 1, s.base);
    }
    const print::PageLayout layout = print::layoutPages(*s.book, *s.ws);
    ASSERT_GT(layout.pages.size(), 1u);
    const auto pdf = dir / "tall.pdf";
    writePdf(*s.book, pdf);
    ASSERT_EQ(pdfInfo(pdf).pages, static_cast<int>(layout.pages.size()));
    std::vector<int> seen(150, 0);
    for (std::size_t p = 0; p < layout.pages.size(); ++p) {
        const std::string text = pageText(pdf, static_cast<int>(p + 1));
        for (std::uint32_t r = 0; r < 150; ++r) {
            const bool here = text.find("第" + std::to_string(r + 1) + "行") != std::string::npos;
            seen[r] += here ? 1 : 0;
            EXPECT_EQ(here, r >= layout.pages[p].firstRow && r <= layout.pages[p].lastRow)
                << "row " << r << " page " << p + 1;
        }
    }
    for (std::uint32_t r = 0; r < 150; ++r) {
        EXPECT_EQ(seen[r], 1) << "row " << r;
    }
}

TEST(PdfPages, EmptySheetGivesOneBlankPage) {
    REQUIRE_POPPLER();
    TempDir dir;
    Sheet s;
    const auto pdf = dir / "empty.pdf";
    writePdf(*s.book, pdf);
    EXPECT_EQ(pdfInfo(pdf).pages, 1);
}

// ---------------------------------------------------------------------------------------------

TEST(PdfText, AlignmentPlacesTextInItsCellOrMergedBox) {
    REQUIRE_POPPLER();
    TempDir dir;
    Sheet s;
    CellFormat f = s.base;
    s.text(0, 0, "左边", f);   // text: left by default
    s.number(0, 1, 1234.5, f); // number: right by default
    f.alignment.horizontal = "center";
    s.text(0, 2, "中间", f);
    f.alignment.horizontal = "right";
    s.text(0, 3, "右边", f);
    CellFormat t = s.base;
    t.alignment.horizontal = "center";
    s.text(1, 0, "合并标题", t);
    s.ws->merges().add({1, 0, 1, 3});
    f.alignment.horizontal = "left";
    f.alignment.indent = 2;
    s.text(2, 0, "缩进", f);
    // Centred across A4:C4, whose empty cells centre continuously too; D4 does not.
    CellFormat across = s.base;
    across.alignment.horizontal = "centerContinuous";
    s.text(3, 0, "跨列居中", across);
    s.ws->cellForWrite(3, 1).style = s.book->styles.intern(across);
    s.ws->cellForWrite(3, 2).style = s.book->styles.intern(across);
    // A text that fills its cell, repeated.
    CellFormat filler = s.base;
    filler.alignment.horizontal = "fill";
    s.text(4, 1, "*-", filler);
    const auto pdf = dir / "align.pdf";
    writePdf(*s.book, pdf);
    const print::PageLayout layout = print::layoutPages(*s.book, *s.ws);
    const Geometry g = geometry(layout);
    const auto ws = words(pdf);

    const Word* left = findWord(ws, "左边");
    const Word* number = findWord(ws, "1234.5");
    const Word* centre = findWord(ws, "中间");
    const Word* right = findWord(ws, "右边");
    const Word* title = findWord(ws, "合并标题");
    const Word* indented = findWord(ws, "缩进");
    ASSERT_TRUE(left && number && centre && right && title && indented);
    EXPECT_NEAR(left->xMin, g.x[0], 4);
    EXPECT_NEAR(number->xMax, g.x[2], 4);
    EXPECT_NEAR((centre->xMin + centre->xMax) / 2, (g.x[2] + g.x[3]) / 2, 2);
    EXPECT_NEAR(right->xMax, g.x[4], 4);
    // The merged title centres across all four columns, not in its first cell.
    EXPECT_NEAR((title->xMin + title->xMax) / 2, (g.x[0] + g.x[4]) / 2, 2);
    EXPECT_GT(indented->xMin, left->xMin + 8);
    const Word* across3 = findWord(ws, "跨列居中");
    ASSERT_TRUE(across3);
    EXPECT_NEAR((across3->xMin + across3->xMax) / 2, (g.x[0] + g.x[3]) / 2, 2);
    const std::string text = pageText(pdf, 1);
    std::smatch m;
    ASSERT_TRUE(std::regex_search(text, m, std::regex("(\\*-)+")));
    // As many whole copies as the cell holds, and no more: at least five in 12 characters.
    EXPECT_GE(m[0].length(), 10) << text;
    const Word* fill = nullptr;
    for (const Word& w : ws) {
        if (w.text.find("*-*-") != std::string::npos) {
            fill = &w;
        }
    }
    ASSERT_TRUE(fill);
    EXPECT_GE(fill->xMin, g.x[1] - 0.5);
    EXPECT_LE(fill->xMax, g.x[2] + 0.5);
    // Bottom alignment by default: the text sits in the lower part of its row.
    EXPECT_GT(left->yMax, (g.y.at(0) + g.y.at(1)) / 2);
    EXPECT_LT(left->yMax, g.y.at(1) + 1);
}

TEST(PdfText, WrapShrinkAndNumbersThatDoNotFit) {
    REQUIRE_POPPLER();
    TempDir dir;
    Sheet s;
    CellFormat wrap = s.base;
    wrap.alignment.wrap = true;
    wrap.alignment.vertical = "top";
    s.rowHeight(0, 120);
    s.text(0, 3, "第一段文字很长很长需要折行显示在格子里", wrap);
    CellFormat shrink = s.base;
    shrink.alignment.shrink = true;
    s.text(1, 1, "缩小字体以适合单元格宽度的文字", shrink);
    CellFormat money = s.base;
    money.numberFormat = "#,##0.00";
    s.number(2, 0, 123456789012.0, money);
    s.number(2, 2, 1234.0, money);
    s.number(3, 0, 3.14159265358979, s.base);
    s.ws->columnForWrite(0).width = 6;
    const auto pdf = dir / "fit.pdf";
    writePdf(*s.book, pdf);
    const print::PageLayout layout = print::layoutPages(*s.book, *s.ws);
    const Geometry g = geometry(layout);
    const auto ws = words(pdf);

    // Wrapped text: several lines, all inside column D, from its top.
    std::vector<const Word*> wrapped;
    for (const Word& w : ws) {
        if (w.yMax < g.y.at(1) && w.xMin > g.x[3] - 1) {
            wrapped.push_back(&w);
        }
    }
    ASSERT_GE(wrapped.size(), 3u);
    EXPECT_LT(wrapped.front()->yMin, g.y.at(0) + 6);
    std::string joined;
    for (const Word* w : wrapped) {
        EXPECT_LE(w->xMax, g.x[4] + 0.5);
        joined += w->text;
    }
    EXPECT_EQ(joined, "第一段文字很长很长需要折行显示在格子里");

    const Word* small = findWord(ws, "缩小字体以适合单元格宽度的文字");
    ASSERT_TRUE(small);
    EXPECT_GE(small->xMin, g.x[1] - 0.5);
    EXPECT_LE(small->xMax, g.x[2] + 0.5);

    const std::string text = pageText(pdf, 1);
    EXPECT_EQ(text.find("123,456,789,012"), std::string::npos);
    EXPECT_NE(text.find("1,234.00"), std::string::npos);
    // An amount that cannot fit shows "###", as LibreOffice prints it.
    EXPECT_EQ(countOf(text, "###"), 1u) << text;
    EXPECT_EQ(countOf(text, "####"), 0u) << text;
    // A General number gives up decimals to fit instead.
    EXPECT_NE(text.find("3.14"), std::string::npos) << text;
    EXPECT_EQ(text.find("3.14159265358979"), std::string::npos) << text;
}

TEST(PdfText, AccountingFormatsFillBetweenTheSignAndTheNumber) {
    REQUIRE_POPPLER();
    TempDir dir;
    Sheet s(2);
    s.ws->columnForWrite(0).width = 20;
    CellFormat money = s.base;
    money.numberFormat = "_(\"$\"* #,##0.00_);_(\"$\"* (#,##0.00);_(\"$\"* \"-\"??_);_(@_)";
    s.number(0, 0, -1234.5, money);
    s.number(3, 0, 5678.25, money);
    CellFormat sign = s.base;
    sign.numberFormat = "_-* #,##0.00_-;-* #,##0.00_-;_-* \"-\"??_-;_-@_-";
    s.number(1, 0, -98.5, sign);
    s.number(2, 0, 0, sign);
    const auto pdf = dir / "accounting.pdf";
    writePdf(*s.book, pdf);
    const print::PageLayout layout = print::layoutPages(*s.book, *s.ws);
    const Geometry g = geometry(layout);
    const auto ws = words(pdf);
    const Word* dollar = findWord(ws, "$");
    const Word* amount = findWord(ws, "(1,234.50)");
    ASSERT_TRUE(dollar && amount);
    // The currency at the left edge after a room as wide as "(", the number at the right edge;
    // a positive number keeps a room as wide as ")" after it.
    EXPECT_NEAR(dollar->xMin, g.x[0] + 5 * g.scale, 3);
    EXPECT_NEAR(amount->xMax, g.x[1], 2.5);
    EXPECT_GT(amount->xMin - dollar->xMax, 40);
    const Word* positive = findWord(ws, "5,678.25");
    ASSERT_TRUE(positive);
    EXPECT_LT(positive->xMax, g.x[1] - 3 * g.scale);
    EXPECT_GT(positive->xMax, g.x[1] - 8 * g.scale);
    std::vector<const Word*> minus;
    for (const Word& w : ws) {
        if (w.text == "-") {
            minus.push_back(&w);
        }
    }
    // The minus of -98.50 at the left edge; zero shows as "-" before two digits' room.
    ASSERT_EQ(minus.size(), 2u);
    EXPECT_NEAR(minus[0]->xMin, g.x[0] + 2 * g.scale, 3);
    EXPECT_GT(minus[1]->xMin, (g.x[0] + g.x[1]) / 2);
    const Word* small = findWord(ws, "98.50");
    ASSERT_TRUE(small);
    EXPECT_GT(small->xMin, (g.x[0] + g.x[1]) / 2);
}

TEST(PdfText, HiddenRowsAndColumnsAreNotPrinted) {
    REQUIRE_POPPLER();
    TempDir dir;
    Sheet s;
    s.text(0, 0, "看得见", s.base);
    s.text(0, 1, "隐藏列", s.base);
    s.text(0, 2, "也看得见", s.base);
    s.text(1, 0, "隐藏行", s.base);
    s.text(2, 0, "最后", s.base);
    s.ws->columnForWrite(1).hidden = true;
    s.ws->rowForWrite(1).hidden = true;
    const auto pdf = dir / "hidden.pdf";
    writePdf(*s.book, pdf);
    const std::string text = pageText(pdf, 1);
    EXPECT_NE(text.find("看得见"), std::string::npos);
    EXPECT_NE(text.find("也看得见"), std::string::npos);
    EXPECT_NE(text.find("最后"), std::string::npos);
    EXPECT_EQ(text.find("隐藏列"), std::string::npos);
    EXPECT_EQ(text.find("隐藏行"), std::string::npos);
}

TEST(PdfText, BrokenUtf8ShowsReplacementsAndSpoilsNothingElse) {
    REQUIRE_POPPLER();
    TempDir dir;
    Sheet s;
    s.text(0, 0, std::string("\xE4\x41\x41", 3) + "坏字", s.base);
    s.text(0, 1, std::string("12\xFF", 3), s.base);
    s.text(1, 0, "后面的字", s.base);
    const auto pdf = dir / "broken.pdf";
    writePdf(*s.book, pdf);
    const std::string text = pageText(pdf, 1);
    EXPECT_NE(text.find("\xEF\xBF\xBD"), std::string::npos) << text; // U+FFFD
    EXPECT_NE(text.find("坏字"), std::string::npos) << text;
    EXPECT_NE(text.find("后面的字"), std::string::npos) << text;
}

// ---------------------------------------------------------------------------------------------

// The mean colour of the pixels of a box given in points, shrunk by `inset` points each side.
std::array<int, 3> meanColour(const Image& img, double x0, double y0, double x1, double y1,
                              double inset = 2) {
    long sum[3] = {0, 0, 0};
    long n = 0;
    for (int y = px(y0 + inset); y <= px(y1 - inset); ++y) {
        for (int x = px(x0 + inset); x <= px(x1 - inset); ++x) {
            const unsigned char* p = img.at(x, y);
            for (int k = 0; k < 3; ++k) {
                sum[k] += p[k];
            }
            ++n;
        }
    }
    if (n == 0) {
        return {255, 255, 255};
    }
    return {static_cast<int>(sum[0] / n), static_cast<int>(sum[1] / n),
            static_cast<int>(sum[2] / n)};
}

// How many pixels of the box (points) are darker than `level`.
int inkIn(const Image& img, double x0, double y0, double x1, double y1, int level = 60) {
    int n = 0;
    for (int y = std::max(px(y0), 0); y <= std::min(px(y1), img.height - 1); ++y) {
        for (int x = std::max(px(x0), 0); x <= std::min(px(x1), img.width - 1); ++x) {
            n += img.darkness(x, y) > level ? 1 : 0;
        }
    }
    return n;
}

TEST(PdfPixels, FillsBordersAndColours) {
    REQUIRE_POPPLER();
    TempDir dir;
    Sheet s;
    s.rowHeight(0, 30);
    s.rowHeight(2, 30);
    CellFormat red = s.base;
    red.fill = {"solid", Color::rgb(0xFFFF0000), Color::automatic()};
    s.ws->cellForWrite(0, 0).style = s.book->styles.intern(red);
    CellFormat grey = s.base;
    grey.fill = {"gray125", Color::automatic(), Color::automatic()};
    s.ws->cellForWrite(0, 2).style = s.book->styles.intern(grey);
    CellFormat boxed = s.base;
    const BorderSide thick{"thick", Color::rgb(0xFF000000)};
    boxed.border = {thick, thick, thick, thick, {}, false, false};
    s.ws->cellForWrite(2, 1).style = s.book->styles.intern(boxed);
    CellFormat blue = s.base;
    blue.font.color = Color::rgb(0xFF0000FF);
    blue.font.size = 20;
    s.rowHeight(4, 30);
    s.text(4, 0, "蓝蓝蓝", blue);
    CellFormat negRed = s.base;
    negRed.font.size = 20;
    negRed.numberFormat = "0.00;[Red]-0.00";
    s.number(4, 2, -88.5, negRed);
    // Rich text: a green run after a black one.
    s.rowHeight(6, 30);
    SharedString rich;
    RichRun plain{"黑字", false, {}};
    Font greenFont = s.base.font;
    greenFont.size = 20;
    greenFont.color = Color::rgb(0xFF00A000);
    RichRun green{"绿字", true, greenFont};
    rich.runs = {plain, green};
    rich.text = "黑字绿字";
    s.ws->cellForWrite(6, 1) = Cell::makeText(s.book->strings.addRich(rich), 0);
    const auto pdf = dir / "pixels.pdf";
    writePdf(*s.book, pdf);
    const print::PageLayout layout = print::layoutPages(*s.book, *s.ws);
    const Geometry g = geometry(layout);
    const Image img = render(pdf);

    const auto r = meanColour(img, g.x[0], g.y.at(0), g.x[1], g.y.at(1));
    EXPECT_GT(r[0], 220);
    EXPECT_LT(r[1], 40);
    EXPECT_LT(r[2], 40);
    // gray125: an eighth of black over white.
    const auto gr = meanColour(img, g.x[2], g.y.at(0), g.x[3], g.y.at(1));
    EXPECT_GT(gr[0], 200);
    EXPECT_LT(gr[0], 245);
    // The unfilled cell between them stays white.
    const auto w = meanColour(img, g.x[1], g.y.at(0), g.x[2], g.y.at(1));
    EXPECT_GT(w[0], 250);

    // A thick border: dark along all four edges of B3, white inside.
    const double midX = (g.x[1] + g.x[2]) / 2, midY = (g.y.at(2) + g.y.at(3)) / 2;
    EXPECT_GT(img.darknessNear(px(midX), px(g.y.at(2))), 150);
    EXPECT_GT(img.darknessNear(px(midX), px(g.y.at(3))), 150);
    EXPECT_GT(img.darknessNear(px(g.x[1]), px(midY)), 150);
    EXPECT_GT(img.darknessNear(px(g.x[2]), px(midY)), 150);
    // No border on the neighbours' far sides.
    EXPECT_LT(img.darknessNear(px(g.x[3]), px(midY)), 10);
    EXPECT_LT(img.darkness(px(midX), px(midY)), 10);

    // Font colour and the colour of a format section.
    auto bluest = 0, reddest = 0;
    for (int y = px(g.y.at(4)); y <= px(g.y.at(5)); ++y) {
        for (int x = px(g.x[0]); x <= px(g.x[1]); ++x) {
            const unsigned char* p = img.at(x, y);
            bluest = std::max(bluest, p[2] - std::max(p[0], p[1]));
        }
        for (int x = px(g.x[2]); x <= px(g.x[3]); ++x) {
            const unsigned char* p = img.at(x, y);
            reddest = std::max(reddest, p[0] - std::max(p[1], p[2]));
        }
    }
    EXPECT_GT(bluest, 120);
    EXPECT_GT(reddest, 120);
    auto greenest = 0;
    for (int y = px(g.y.at(6)); y <= px(g.y.at(7)); ++y) {
        for (int x = px(g.x[1]); x <= px(g.x[2]); ++x) {
            const unsigned char* p = img.at(x, y);
            greenest = std::max(greenest, p[1] - std::max(p[0], p[2]));
        }
    }
    EXPECT_GT(greenest, 80);
    EXPECT_NE(pageText(pdf, 1).find("黑字绿字"), std::string::npos);
}

TEST(PdfPixels, DoubleAndDiagonalBordersAndTurnedText) {
    REQUIRE_POPPLER();
    TempDir dir;
    Sheet s;
    s.rowHeight(1, 40);
    CellFormat doubled = s.base;
    doubled.border.bottom = {"double", Color::rgb(0xFF000000)};
    s.ws->cellForWrite(1, 1).style = s.book->styles.intern(doubled);
    CellFormat diagonal = s.base;
    diagonal.border.diagonal = {"thin", Color::rgb(0xFF000000)};
    diagonal.border.diagonalDown = true;
    s.ws->cellForWrite(1, 3).style = s.book->styles.intern(diagonal);
    CellFormat turned = s.base;
    turned.alignment.rotation = 90;
    s.rowHeight(3, 160);
    s.text(3, 0, "竖着排的一行很长的文字", turned);
    const auto pdf = dir / "lines.pdf";
    writePdf(*s.book, pdf);
    const print::PageLayout layout = print::layoutPages(*s.book, *s.ws);
    const Geometry g = geometry(layout);
    constexpr double dpi = 300;
    const Image img = render(pdf, 1, static_cast<int>(dpi));

    // Down through the double line: dark, light, dark.
    const int x = px((g.x[1] + g.x[2]) / 2, dpi);
    std::string profile;
    for (int y = px(g.y.at(2) - 3, dpi); y <= px(g.y.at(2) + 3, dpi); ++y) {
        const char mark = img.darkness(x, y) > 128 ? '#' : '.';
        if (profile.empty() || profile.back() != mark) {
            profile += mark;
        }
    }
    EXPECT_EQ(profile, ".#.#.");

    // The diagonal from top left to bottom right passes through the middle of D2, not through
    // the other diagonal's points.
    const double cx = (g.x[3] + g.x[4]) / 2, cy = (g.y.at(1) + g.y.at(2)) / 2;
    EXPECT_GT(img.darknessNear(px(cx, dpi), px(cy, dpi)), 100);
    const double qx = g.x[3] + (g.x[4] - g.x[3]) / 4, qy = g.y.at(1) + (g.y.at(2) - g.y.at(1)) / 4;
    EXPECT_GT(img.darknessNear(px(qx, dpi), px(qy, dpi)), 100);
    EXPECT_LT(img.darknessNear(px(qx, dpi), px(g.y.at(2) - (qy - g.y.at(1)), dpi)), 20);

    // Text turned a quarter: its ink is far taller than wide.
    int top = img.height, bottom = -1, left = img.width, right = -1;
    for (int y = px(g.y.at(3), dpi) + 2; y < px(g.y.at(4), dpi) - 2; ++y) {
        for (int xx = px(g.x[0], dpi) + 2; xx < px(g.x[1], dpi) - 2; ++xx) {
            if (img.darkness(xx, y) > 100) {
                top = std::min(top, y);
                bottom = std::max(bottom, y);
                left = std::min(left, xx);
                right = std::max(right, xx);
            }
        }
    }
    ASSERT_GE(bottom, top);
    EXPECT_GT(bottom - top, 4 * (right - left));
}

TEST(PdfPixels, AMergedRangeIsOneBoxOutlinedByItsCellsOuterSides) {
    REQUIRE_POPPLER();
    TempDir dir;
    Sheet s;
    s.rowHeight(1, 30);
    s.rowHeight(2, 30);
    CellFormat boxed = s.base;
    const BorderSide thick{"thick", Color::rgb(0xFF000000)};
    boxed.border = {thick, thick, thick, thick, {}, false, false};
    boxed.fill = {"solid", Color::rgb(0xFFFFFF00), Color::automatic()};
    for (std::uint32_t r = 1; r <= 2; ++r) {
        for (std::uint32_t c = 1; c <= 2; ++c) {
            s.ws->cellForWrite(r, c).style = s.book->styles.intern(boxed);
        }
    }
    s.ws->merges().add({1, 1, 2, 2});
    const auto pdf = dir / "merged.pdf";
    writePdf(*s.book, pdf);
    const print::PageLayout layout = print::layoutPages(*s.book, *s.ws);
    const Geometry g = geometry(layout);
    const Image img = render(pdf, 1, 150);
    // How dark the red channel gets near a point: black lines show, the yellow fill does not.
    const auto at = [&](double x, double y) {
        int d = 0;
        for (int dy = -1; dy <= 1; ++dy) {
            for (int dx = -1; dx <= 1; ++dx) {
                d = std::max(d, 255 - img.at(px(x, 150) + dx, px(y, 150) + dy)[0]);
            }
        }
        return d;
    };
    const double midX = (g.x[1] + g.x[3]) / 2, midY = (g.y.at(1) + g.y.at(3)) / 2;
    const double quarterX = (g.x[1] + g.x[2]) / 2, quarterY = (g.y.at(1) + g.y.at(2)) / 2;
    // The outer edges are drawn from the cells' own sides...
    EXPECT_GT(at(quarterX, g.y.at(1)), 150);
    EXPECT_GT(at(quarterX, g.y.at(3)), 150);
    EXPECT_GT(at(g.x[1], quarterY), 150);
    EXPECT_GT(at(g.x[3], quarterY), 150);
    // ...the inner ones not at all, and the fill covers the whole box.
    EXPECT_LT(at(g.x[2], quarterY), 60);
    EXPECT_LT(at(quarterX, g.y.at(2)), 60);
    const unsigned char* p = img.at(px(midX + 3, 150), px(midY + 3, 150));
    EXPECT_GT(p[0], 230);
    EXPECT_GT(p[1], 230);
    EXPECT_LT(p[2], 40);
}

TEST(PdfPixels, TextSpreadsIntoEmptyNeighboursOnly) {
    REQUIRE_POPPLER();
    TempDir dir;
    Sheet s;
    CellFormat big = s.base;
    big.font.size = 16;
    s.rowHeight(0, 24);
    s.rowHeight(2, 24);
    const std::string longText = "长长长长长长长长长长长长长长";
    s.text(0, 0, longText, big);
    s.text(2, 0, longText, big);
    s.text(2, 1, " ", s.base); // content without ink stops the spread
    const auto pdf = dir / "spread.pdf";
    writePdf(*s.book, pdf);
    const print::PageLayout layout = print::layoutPages(*s.book, *s.ws);
    const Geometry g = geometry(layout);
    const Image img = render(pdf);
    EXPECT_GT(inkIn(img, g.x[1] + 2, g.y.at(0), g.x[2] - 2, g.y.at(1)), 10);
    EXPECT_EQ(inkIn(img, g.x[1] + 2, g.y.at(2), g.x[2] - 2, g.y.at(3)), 0);
    EXPECT_GT(inkIn(img, g.x[0] + 2, g.y.at(2), g.x[1] - 2, g.y.at(3)), 10);
}

TEST(PdfPixels, CutLinesLieInTheEmptyRowsBetweenSlipsOnly) {
    REQUIRE_POPPLER();
    TempDir dir;
    const auto book = makeWageSlips(4, 6);
    const print::PageLayout layout = print::layoutPages(*book, book->sheet(0));
    ASSERT_EQ(layout.pages.size(), 1u);
    ASSERT_EQ(layout.blocks.size(), 4u);
    const auto withLines = dir / "lines.pdf";
    const auto without = dir / "plain.pdf";
    writePdf(*book, withLines);
    PdfOptions off;
    off.cutLines = false;
    writePdf(*book, without, off);
    const Image a = render(withLines);
    const Image b = render(without);
    ASSERT_EQ(a.width, b.width);
    ASSERT_EQ(a.height, b.height);
    const Geometry g = geometry(layout);

    // Every pixel that differs lies within an empty row between two slips.
    std::vector<std::pair<int, int>> gaps;
    for (std::size_t i = 0; i + 1 < layout.blocks.size(); ++i) {
        gaps.emplace_back(px(g.y.at(layout.blocks[i].lastRow + 1)) - 1,
                          px(g.y.at(layout.blocks[i + 1].firstRow)) + 1);
    }
    std::vector<int> differing(gaps.size(), 0);
    int outside = 0;
    for (int y = 0; y < a.height; ++y) {
        for (int x = 0; x < a.width; ++x) {
            if (std::abs(a.darkness(x, y) - b.darkness(x, y)) < 20) {
                continue;
            }
            bool in = false;
            for (std::size_t k = 0; k < gaps.size(); ++k) {
                if (y >= gaps[k].first && y <= gaps[k].second) {
                    ++differing[k];
                    in = true;
                }
            }
            outside += in ? 0 : 1;
        }
    }
    EXPECT_EQ(outside, 0);
    // A dashed line across the table's width in each gap: a good part of its pixels.
    const int across = px(g.x.back()) - px(g.x.front());
    for (std::size_t k = 0; k < gaps.size(); ++k) {
        EXPECT_GT(differing[k], across / 3) << "gap " << k;
    }
    // And none after the last slip.
    EXPECT_EQ(gaps.size(), 3u);
}

// ---------------------------------------------------------------------------------------------
// One slip alone on its page (RowsPdfWriter), as each person receives it.

void writeBytes(const std::filesystem::path& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary) << bytes;
}

TEST(RowsPdf, ASlipAloneIsDrawnAsOnTheWholePdfWithoutCutLine) {
    REQUIRE_POPPLER();
    TempDir dir;
    const auto book = makeWageSlips(12, 10);
    writePdf(*book, dir / "whole.pdf");
    const print::PageLayout layout = print::layoutPages(*book, book->sheet(0));
    ASSERT_GE(layout.pages.front().lastRow, 5u); // the first page holds a cut line after slip 1
    RowsPdfWriter writer(*book);
    writeBytes(dir / "first.pdf", writer.pagePdf(0, 2, "工资条"));
    const Info whole = pdfInfo(dir / "whole.pdf");
    const Info first = pdfInfo(dir / "first.pdf");
    EXPECT_EQ(first.pages, 1);
    EXPECT_EQ(first.width, whole.width);
    EXPECT_EQ(first.height, whole.height);
    // Pixel for pixel the same as the first slip of the whole PDF, and blank below it, where the
    // whole PDF has its cut line and the next slip.
    const Image a = render(dir / "whole.pdf", 1, 72);
    const Image b = render(dir / "first.pdf", 1, 72);
    ASSERT_EQ(a.width, b.width);
    ASSERT_EQ(a.height, b.height);
    const int slipEnd = px(geometry(layout).y.at(3), 72);
    int differing = 0;
    int inkBelow = 0;
    for (int y = 0; y < b.height; ++y) {
        for (int x = 0; x < b.width; ++x) {
            if (y < slipEnd) {
                differing += a.darkness(x, y) != b.darkness(x, y) ? 1 : 0;
            } else if (y > slipEnd + 1) {
                inkBelow += b.darkness(x, y) > 0 ? 1 : 0;
            }
        }
    }
    EXPECT_EQ(differing, 0);
    EXPECT_EQ(inkBelow, 0);
    EXPECT_GT(countOf(pageText(dir / "whole.pdf", 1), "E100002"), 0u);

    // A later person: their row and header, nobody else's.
    writeBytes(dir / "sixth.pdf", writer.pagePdf(20, 22, "工资条"));
    const std::string text = pageText(dir / "sixth.pdf", 1);
    EXPECT_EQ(countOf(text, "E100006"), 1u) << text;
    EXPECT_EQ(countOf(text, "应发合计"), 1u);
    EXPECT_EQ(countOf(text, "E1000"), 1u) << text;
    EXPECT_EQ(pdfInfo(dir / "sixth.pdf").pages, 1);
}

TEST(RowsPdf, RowsTallerThanAPageAreScaledOntoOne) {
    REQUIRE_POPPLER();
    TempDir dir;
    Sheet s;
    for (std::uint32_t r = 0; r < 150; ++r) {
        s.text(r, 0, "第" + std::to_string(r + 1) + "行", s.base);
    }
    RowsPdfWriter writer(*s.book);
    EXPECT_EQ(writer.fitOf(0, 9), 1.0);
    const double fit = writer.fitOf(0, 149);
    EXPECT_LT(fit, 0.5);
    EXPECT_GT(fit, 0.1);
    writeBytes(dir / "tall.pdf", writer.pagePdf(0, 149, "tall"));
    EXPECT_EQ(pdfInfo(dir / "tall.pdf").pages, 1);
    // Every row is on the page: the scaled text is small, so look at the words as placed.
    const std::string text = run("pdftotext -raw " + quote(dir / "tall.pdf") + " -");
    for (const char* row : {"第1行", "第75行", "第150行"}) {
        EXPECT_NE(text.find(row), std::string::npos) << row;
    }
    // Rows past the sheet give an empty page, not a fault.
    writeBytes(dir / "past.pdf", writer.pagePdf(400, 402, "past"));
    EXPECT_EQ(pdfInfo(dir / "past.pdf").pages, 1);
}

// ---------------------------------------------------------------------------------------------

TEST(PdfFaults, MissingFolderNamesTheFileAndLeavesNothing) {
    TempDir dir;
    const auto book = makeWageSlips(2, 4);
    const auto pdf = dir / "no-such-folder" / "工资条.pdf";
    try {
        writePdf(*book, pdf);
        FAIL() << "no error";
    } catch (const WorkbookError& e) {
        const std::string msg = e.what();
        EXPECT_NE(msg.find("工资条.pdf"), std::string::npos) << msg;
        EXPECT_NE(msg.find("不存在"), std::string::npos) << msg;
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(PdfFaults, FolderWithoutWritePermission) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "root may write anywhere";
    }
    TempDir dir;
    const auto book = makeWageSlips(2, 4);
    std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_read |
                                                 std::filesystem::perms::owner_exec);
    try {
        writePdf(*book, dir / "slips.pdf");
        FAIL() << "no error";
    } catch (const WorkbookError& e) {
        EXPECT_NE(std::string(e.what()).find("没有写入权限"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("slips.pdf"), std::string::npos) << e.what();
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(PdfFaults, TargetThatIsAFolderIsRefused) {
    TempDir dir;
    const auto book = makeWageSlips(2, 4);
    std::filesystem::create_directory(dir / "out.pdf");
    EXPECT_THROW(writePdf(*book, dir / "out.pdf"), WorkbookError);
    EXPECT_TRUE(std::filesystem::is_directory(dir / "out.pdf"));
}

TEST(PdfFaults, FullDiskKeepsTheOldFileAndLeavesNoTemporary) {
    TempDir dir;
    const auto book = makeWageSlips(1000, 12);
    const auto pdf = dir / "slips.pdf";
    {
        std::ofstream old(pdf);
        old << "old";
    }
    // Files may grow to 64 KiB only: the write fails part way, as on a full disk.
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 64 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string message;
    try {
        writePdf(*book, pdf);
    } catch (const WorkbookError& e) {
        message = e.what();
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_NE(message.find("slips.pdf"), std::string::npos) << message;
    EXPECT_NE(message.find("超出了该磁盘允许的文件大小"), std::string::npos) << message;
    std::ifstream in(pdf);
    std::string content;
    in >> content;
    EXPECT_EQ(content, "old");
    int entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) {
        ++entries;
    }
    EXPECT_EQ(entries, 1);
}

TEST(PdfFaults, ReplacesAnOldFileWholeAndLeavesNoTemporary) {
    REQUIRE_POPPLER();
    TempDir dir;
    const auto pdf = dir / "slips.pdf";
    {
        std::ofstream old(pdf);
        old << "old";
    }
    const auto book = makeWageSlips(3, 4);
    writePdf(*book, pdf);
    EXPECT_EQ(pdfInfo(pdf).pages, 1);
    int entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) {
        ++entries;
    }
    EXPECT_EQ(entries, 1);
}

TEST(PdfFaults, ACallbackThatThrowsLeavesNoFile) {
    TempDir dir;
    const auto book = makeWageSlips(60, 6);
    PdfOptions options;
    options.progress = [](std::size_t done, std::size_t) {
        if (done == 1) {
            throw std::runtime_error("cancelled");
        }
    };
    EXPECT_THROW(writePdf(*book, dir / "slips.pdf", options), std::runtime_error);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

} // namespace
