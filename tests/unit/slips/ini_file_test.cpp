// Tests of the INI reader and writer: the Windows profile reading rules and byte-exact rewriting.
#include "ini_file.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace quenly {
namespace {

std::optional<std::string> read(const std::string& content, const std::string& key,
                                const std::string& section = "option") {
    return IniFile::parse(content).value(section, key);
}

TEST(IniFileRead, NamesMatchWithoutAsciiCase) {
    const std::string content = "[OPTION]\r\nstarttitlerow=5\r\n";
    EXPECT_EQ(read(content, "StartTitleRow"), "5");
    EXPECT_EQ(read(content, "STARTTITLEROW", "Option"), "5");
    // Only ASCII letters fold: a non-ASCII name must match byte for byte.
    EXPECT_EQ(read("[选项]\r\nKey=1\r\n", "key", "选项"), "1");
    EXPECT_EQ(read("[Ä]\r\nKey=1\r\n", "key", "ä"), std::nullopt);
}

TEST(IniFileRead, FirstOccurrenceCounts) {
    const std::string content = "[option]\r\nA=first\r\na=second\r\n[option]\r\nA=third\r\nB=4\r\n";
    EXPECT_EQ(read(content, "A"), "first");
    // The second section of the same name is not looked at.
    EXPECT_EQ(read(content, "B"), std::nullopt);
}

TEST(IniFileRead, TrimsBlanksAndOnePairOfQuotes) {
    EXPECT_EQ(read("[option]\r\n  Key \t=  \t value with  inner  \t \r\n", "Key"),
              "value with  inner");
    EXPECT_EQ(read("[option]\nKey=\"quoted\"\n", "Key"), "quoted");
    EXPECT_EQ(read("[option]\nKey='single'\n", "Key"), "single");
    EXPECT_EQ(read("[option]\nKey=\"\"twice\"\"\n", "Key"), "\"twice\"");
    EXPECT_EQ(read("[option]\nKey=\" inside \"\n", "Key"), " inside ");
    // Unmatched or lone quotes stay.
    EXPECT_EQ(read("[option]\nKey=\"open\n", "Key"), "\"open");
    EXPECT_EQ(read("[option]\nKey=\"mixed'\n", "Key"), "\"mixed'");
    EXPECT_EQ(read("[option]\nKey=\"\n", "Key"), "\"");
    // Other characters are not trimmed.
    EXPECT_EQ(read("[option]\nKey=\xE3\x80\x80x\xE3\x80\x80\n", "Key"),
              "\xE3\x80\x80x\xE3\x80\x80");
}

TEST(IniFileRead, EmptyValueIsPresent) {
    EXPECT_EQ(read("[option]\r\nEndTitleCol=\r\n", "EndTitleCol"), "");
    EXPECT_EQ(read("[option]\r\nEndTitleCol=   \r\n", "EndTitleCol"), "");
    EXPECT_EQ(read("[option]\r\nEndTitleCol=\r\n", "StartTitleCol"), std::nullopt);
}

TEST(IniFileRead, ValuesAreCutAt2047Bytes) {
    const std::string exact(2047, 'v');
    EXPECT_EQ(read("[option]\nKey=" + exact + "\n", "Key"), exact);
    EXPECT_EQ(read("[option]\nKey=" + exact + "xyz\n", "Key"), exact);
    // The cut comes after the quotes are removed.
    EXPECT_EQ(read("[option]\nKey=\"" + exact + "\"\n", "Key"), exact);
}

TEST(IniFileRead, CommentsOtherLinesAndKeysOutsideSectionsAreIgnored) {
    const std::string content = "Key=outside\r\n"
                                "[option]\r\n"
                                ";Key=comment\r\n"
                                "  ; Key=indented comment\r\n"
                                "no equals sign\r\n"
                                "\r\n"
                                "[broken section\r\n"
                                "Key=inside\r\n";
    EXPECT_EQ(read(content, "Key"), "inside");
    EXPECT_EQ(read(content, ";Key"), std::nullopt);
    EXPECT_EQ(read("[option]\r\n;Key=comment\r\n", "Key"), std::nullopt);
}

TEST(IniFileRead, SectionNamesAndLineEnds) {
    EXPECT_EQ(read("  [ option ]  \nKey=1\n", "Key"), "1");
    EXPECT_EQ(read("[option]\nKey=1", "Key"), "1");
    EXPECT_EQ(read("[option]\rKey=1\r", "Key"), std::nullopt) << "a lone CR does not end a line";
    EXPECT_EQ(read("[other]\nKey=1\n", "Key"), std::nullopt);
}

TEST(IniFileRead, SectionWithoutKeysIsAbsent) {
    EXPECT_FALSE(IniFile::parse("").hasSection("option"));
    EXPECT_FALSE(IniFile::parse("[option]\r\n").hasSection("option"));
    EXPECT_FALSE(IniFile::parse("[option]\r\n; only a comment\r\n\r\n[other]\r\nA=1\r\n")
                     .hasSection("option"));
    EXPECT_TRUE(IniFile::parse("[Option]\r\nA=\r\n").hasSection("option"));
    // Only the first section of the name counts.
    EXPECT_FALSE(IniFile::parse("[option]\r\n[option]\r\nA=1\r\n").hasSection("option"));
}

TEST(IniFileRead, ByteOrderMarkIsSkipped) {
    EXPECT_EQ(read("\xEF\xBB\xBF[option]\r\nKey=1\r\n", "Key"), "1");
    EXPECT_EQ(IniFile::parse("\xEF\xBB\xBF[option]\r\nKey=1\r\n").text(),
              "\xEF\xBB\xBF[option]\r\nKey=1\r\n");
}

TEST(IniFileWrite, UntouchedFileComesBackByteForByte) {
    const std::string content = "\xEF\xBB\xBF; comment\n[a]\r\n x = 1 \r\n\r\n\tjunk line\n"
                                "[option]\nKey=\"v\"\n[b]\nlast=no end";
    EXPECT_EQ(IniFile::parse(content).text(), content);
    EXPECT_EQ(IniFile::parse("").text(), "");
}

TEST(IniFileWrite, ReplacesOnlyTheKeyLine) {
    IniFile ini = IniFile::parse("[other]\nKey=keep\n[OPTION]\n  key = old ; x\nKey=second\n"
                                 "Tail=1\n[b]\nKey=keep\n");
    ini.set("option", "Key", "new");
    EXPECT_EQ(ini.text(), "[other]\nKey=keep\n[OPTION]\nKey=new\r\nKey=second\nTail=1\n[b]\n"
                          "Key=keep\n");
    EXPECT_EQ(ini.value("option", "key"), "new");
}

TEST(IniFileWrite, AddsKeyAfterTheSectionsLastKey) {
    IniFile ini = IniFile::parse("[option]\nA=1\n; note\n\n[b]\nC=3\n");
    ini.set("option", "B", "2");
    EXPECT_EQ(ini.text(), "[option]\nA=1\nB=2\r\n; note\n\n[b]\nC=3\n");
}

TEST(IniFileWrite, FillsSectionWithoutKeys) {
    IniFile ini = IniFile::parse("[option]\n; note\n[b]\nC=3\n");
    ini.set("option", "A", "1");
    ini.set("option", "B", "");
    EXPECT_EQ(ini.text(), "[option]\nA=1\r\nB=\r\n; note\n[b]\nC=3\n");
    EXPECT_EQ(ini.value("option", "B"), "");
}

TEST(IniFileWrite, AppendsMissingSectionWithCrLf) {
    IniFile empty;
    empty.set("option", "StartTitleRow", "1");
    EXPECT_EQ(empty.text(), "[option]\r\nStartTitleRow=1\r\n");

    // A last line without an ending gets one before the new section.
    IniFile ini = IniFile::parse("\xEF\xBB\xBF[b]\nC=3");
    ini.set("option", "A", "1");
    EXPECT_EQ(ini.text(), "\xEF\xBB\xBF[b]\nC=3\r\n[option]\r\nA=1\r\n");

    IniFile header = IniFile::parse("[option]");
    header.set("option", "A", "1");
    EXPECT_EQ(header.text(), "[option]\r\nA=1\r\n");
}

TEST(IniFileWrite, RefusesLineBreaksAndBadKeys) {
    IniFile ini;
    EXPECT_THROW(ini.set("option", "Key", "a\r\n[evil]"), std::invalid_argument);
    EXPECT_THROW(ini.set("option", "Key\n", "a"), std::invalid_argument);
    EXPECT_THROW(ini.set("option", "", "a"), std::invalid_argument);
    EXPECT_THROW(ini.set("option", "a=b", "a"), std::invalid_argument);
    EXPECT_THROW(ini.set("option", ";x", "a"), std::invalid_argument);
    EXPECT_THROW(ini.set("op]tion", "x", "a"), std::invalid_argument);
    EXPECT_EQ(ini.text(), "");
}

} // namespace
} // namespace quenly
