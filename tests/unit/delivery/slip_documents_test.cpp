// Each person's documents: file names from awkward name cells, passwords cut by characters, and
// locked PDFs that open with their password only.
#include "slip_documents.h"

#include "delivery_fixture.h"
#include "qpdf_probe.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

// fontconfig and cairo keep their font caches for the life of the process; what they still hold
// at exit is theirs, not a leak of the slips.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\nleak:libcairo.so\n";
}

namespace quenly::delivery {
namespace {

using Names = std::vector<std::string>;

TEST(SlipFileNames, EqualNamesAreNumberedWithoutRegardToAsciiCase) {
    EXPECT_EQ(slipFileNames(Names{"张三", "李四", "张三", "Li", "LI", "张三"}),
              (Names{"张三.pdf", "李四.pdf", "张三-2.pdf", "Li.pdf", "LI-2.pdf", "张三-3.pdf"}));
    // A name that already looks numbered does not take another person's file.
    EXPECT_EQ(slipFileNames(Names{"王五-2", "王五", "王五"}),
              (Names{"王五-2.pdf", "王五.pdf", "王五-3.pdf"}));
}

TEST(SlipFileNames, CharactersAFileNameCannotHoldAreReplaced) {
    EXPECT_EQ(slipFileNames(Names{"财务/张三", "a:b*c?d\"e<f>g|h\\i", "tab\there\n"}),
              (Names{"财务_张三.pdf", "a_b_c_d_e_f_g_h_i.pdf", "tab_here_.pdf"}));
    // Dots and blanks around a name go, so nothing is hidden or names a folder.
    EXPECT_EQ(slipFileNames(Names{"..", " .赵六. ", "../../etc/passwd"}),
              (Names{"第1人.pdf", "赵六.pdf", "_.._etc_passwd.pdf"}));
}

TEST(SlipFileNames, EmptyAndLongNames) {
    EXPECT_EQ(slipFileNames(Names{"", "张三", "　", ""}),
              (Names{"第1人.pdf", "张三.pdf", "第3人.pdf", "第4人.pdf"}));
    // 100 characters of three bytes each: cut at a character's boundary, within the limit even
    // when numbered.
    std::string longName;
    for (int i = 0; i < 100; ++i) {
        longName += "张";
    }
    const Names names = slipFileNames(Names{longName, longName});
    for (const std::string& name : names) {
        EXPECT_LE(name.size(), kMaxFileNameBytes);
        EXPECT_EQ(name.rfind(".pdf"), name.size() - 4);
        EXPECT_EQ((name.size() - 4 - (name == names[1] ? 2 : 0)) % 3, 0u) << name;
    }
    EXPECT_NE(names[0], names[1]);
    EXPECT_EQ(names[1].substr(names[1].size() - 6), "-2.pdf");
}

TEST(SlipFileNames, FromARunsNameColumn) {
    test::TempDir dir;
    test::writeTable(dir / "t.xlsx");
    test::QuietHost host;
    const SlipRun run = runSlipExport(dir / "t.xlsx", test::header("1", "2", "A", "D"), host);
    EXPECT_EQ(slipFileNames(run, run.findColumn("姓名")),
              (Names{"张三.pdf", "王五.pdf", "李四.pdf"}));
    EXPECT_EQ(slipFileNames(run, std::nullopt), (Names{"第1人.pdf", "第2人.pdf", "第3人.pdf"}));
}

TEST(PasswordOf, LastCharactersNotBytes) {
    EXPECT_EQ(passwordOf("11010519491231002X", 6), "31002X");
    EXPECT_EQ(passwordOf("张三abc李四", 4), "bc李四");
    EXPECT_EQ(passwordOf("张三", 6), "张三");
    EXPECT_EQ(passwordOf("张三abc", 0), "张三abc");
    EXPECT_EQ(passwordOf("𠀀x", 2), "𠀀x"); // a character of four bytes
    EXPECT_EQ(passwordOf("", 3), "");
}

class LockPdf : public ::testing::Test {
protected:
    void SetUp() override {
        test::writeTable(m_dir / "t.xlsx");
        test::QuietHost host;
        m_run.emplace(runSlipExport(m_dir / "t.xlsx", test::header("1", "2", "A", "D"), host));
        m_pdf = slipPdf(*m_run, m_run->persons()[1]);
    }

    test::TempDir m_dir;
    std::optional<SlipRun> m_run;
    std::string m_pdf;
};

TEST_F(LockPdf, OpensWithItsPasswordOnlyAsAes256Revision6) {
    ASSERT_EQ(m_pdf.rfind("%PDF-", 0), 0u);
    for (const std::string password : {"31002X", "王五1234"}) {
        const std::string locked = lockPdf(m_pdf, password);
        EXPECT_EQ(locked.rfind("%PDF-2.0", 0), 0u);
        const auto opened = test::probePdf(locked, password);
        ASSERT_TRUE(opened.has_value());
        EXPECT_EQ(opened->revision, 6);
        EXPECT_TRUE(opened->aes256);
        EXPECT_EQ(opened->pages, 1u);
        for (const char* wrong : {"", "31002x", "wrong"}) {
            EXPECT_FALSE(test::probePdf(locked, wrong).has_value()) << wrong;
        }
    }
}

TEST_F(LockPdf, SlipsDrawnTogetherComeApartEachWithItsOwnPassword) {
    const std::vector<std::string> passwords{"甲1", "乙2", "丙3"};
    SlipPdfs pdfs(*m_run);
    const std::vector<std::string> locked = pdfs.pdfs(m_run->persons(), passwords);
    ASSERT_EQ(locked.size(), 3u);
    for (std::size_t i = 0; i < locked.size(); ++i) {
        for (std::size_t j = 0; j < passwords.size(); ++j) {
            const auto opened = test::probePdf(locked[i], passwords[j]);
            EXPECT_EQ(opened.has_value(), i == j) << i << " " << j;
            if (opened) {
                EXPECT_EQ(opened->pages, 1u);
                EXPECT_TRUE(opened->aes256);
            }
        }
    }
    // In any order and on several threads, every person once.
    std::vector<int> seen(3, 0);
    makeSlipPdfs(
        *m_run, {},
        [&](std::size_t i, std::string pdf) {
            ++seen.at(i);
            EXPECT_EQ(pdf.rfind("%PDF-", 0), 0u);
        },
        2, 2);
    EXPECT_EQ(seen, (std::vector<int>{1, 1, 1}));
    EXPECT_THROW(pdfs.pdfs(m_run->persons(), {"a", "", "c"}), DeliveryError);
}

// The page of `pdf` as pdftoppm renders it (PPM bytes).
std::string rendered(const std::string& pdf, const test::TempDir& dir) {
    const auto file = dir / "render.pdf";
    std::ofstream(file, std::ios::binary) << pdf;
    FILE* p = popen(("pdftoppm -r 50 '" + file.string() + "'").c_str(), "r");
    std::string out;
    char buf[4096];
    for (std::size_t n; p && (n = std::fread(buf, 1, sizeof buf, p)) > 0;) {
        out.append(buf, n);
    }
    EXPECT_TRUE(p && pclose(p) == 0);
    return out;
}

TEST_F(LockPdf, SlipsDrawnTogetherKeepOnlyTheirOwnCharacters) {
    // The names 张三, 王五, 李四: the Unicode of each character as ToUnicode maps write it.
    const std::vector<std::vector<std::string>> own{
        {"5f20", "4e09"}, {"738b", "4e94"}, {"674e", "56db"}};
    SlipPdfs pdfs(*m_run);
    const std::vector<std::string> split = pdfs.pdfs(m_run->persons());
    for (std::size_t i = 0; i < split.size(); ++i) {
        const std::string streams = test::allStreams(split[i]);
        for (std::size_t j = 0; j < own.size(); ++j) {
            for (const std::string& code : own[j]) {
                EXPECT_EQ(streams.find("<" + code + ">") != std::string::npos, i == j)
                    << "person " << i << ", character " << code << " of person " << j;
            }
        }
        // Drawn just as the person's slip drawn alone.
        EXPECT_EQ(rendered(split[i], m_dir), rendered(pdfs.pdf(m_run->persons()[i]), m_dir));
    }
}

TEST_F(LockPdf, RefusesAnEmptyPasswordAndWhatIsNoPdf) {
    EXPECT_THROW(lockPdf(m_pdf, ""), DeliveryError);
    EXPECT_THROW(lockPdf("not a pdf at all", "secret"), DeliveryError);
}

} // namespace
} // namespace quenly::delivery
