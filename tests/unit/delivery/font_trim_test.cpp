// Fonts cut down to one page: glyph programs emptied where no code of the page selects them,
// ToUnicode maps left with the page's codes, on small fonts made here and on real split slips.
#include "font_trim.h"

#include "delivery_error.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quenly::delivery {
namespace {

std::string be(std::uint32_t v, int bytes) {
    std::string out;
    for (int i = bytes - 1; i >= 0; --i) {
        out += static_cast<char>((v >> (8 * i)) & 0xFF);
    }
    return out;
}

// A CFF INDEX of `items` with 1-byte offsets.
std::string index(const std::vector<std::string>& items) {
    if (items.empty()) {
        return be(0, 2);
    }
    std::string out = be(static_cast<std::uint32_t>(items.size()), 2) + be(1, 1);
    std::uint32_t offset = 1;
    out += be(offset, 1);
    for (const std::string& item : items) {
        offset += static_cast<std::uint32_t>(item.size());
        out += be(offset, 1);
    }
    for (const std::string& item : items) {
        out += item;
    }
    return out;
}

// A CID-keyed CFF of four glyphs whose charset gives them CIDs 0, 7, 8 and 20; offsets in the
// Top DICT are written as 5-byte integers, as cairo writes them.
std::string cidCff() {
    const std::vector<std::string> glyphs{"\x8b\x0e", "AAAA\x0e", "BBB\x0e", "CCCCCC\x0e"};
    const std::string charset = be(0, 1) + be(7, 2) + be(8, 2) + be(20, 2);
    auto top = [](std::uint32_t charsetAt, std::uint32_t glyphsAt) {
        // ROS: three operands then 12 30; charset (15), CharStrings (17).
        return std::string("\x8b\x8b\x8b\x0c\x1e", 5) + "\x1d" + be(charsetAt, 4) + "\x0f" +
               "\x1d" + be(glyphsAt, 4) + "\x11";
    };
    const std::string header("\x01\x00\x04\x01", 4);
    const std::string names = index({"F"});
    const std::size_t topSize = index({top(0, 0)}).size();
    const std::size_t charsetAt = header.size() + names.size() + topSize + 2 + 2;
    const std::size_t glyphsAt = charsetAt + charset.size();
    return header + names +
           index(
               {top(static_cast<std::uint32_t>(charsetAt), static_cast<std::uint32_t>(glyphsAt))}) +
           index({}) + index({}) + charset + index(glyphs);
}

TEST(FontTrim, CffGlyphsOutsideThePageBecomeEndcharAndNothingMoves) {
    const std::string cff = cidCff();
    const std::string trimmed = blankCffGlyphs(cff, {8});
    ASSERT_EQ(trimmed.size(), cff.size());
    // Glyph 0 and CID 8 ("BBB") stay; CIDs 7 and 20 are endchar throughout.
    EXPECT_NE(trimmed.find("BBB\x0e"), std::string::npos);
    EXPECT_EQ(trimmed.find("AAAA"), std::string::npos);
    EXPECT_EQ(trimmed.find("CCCCCC"), std::string::npos);
    EXPECT_NE(trimmed.find(std::string(5, '\x0e') + "BBB"), std::string::npos);
    EXPECT_EQ(trimmed.substr(trimmed.size() - 7), std::string(7, '\x0e'));
    EXPECT_EQ(blankCffGlyphs(cff, {7, 8, 20}), cff);
    EXPECT_THROW(blankCffGlyphs("not a font", {}), DeliveryError);
    EXPECT_THROW(blankCffGlyphs(cff.substr(0, 30), {}), DeliveryError);
}

// A TrueType font of five glyphs (short loca): glyph 3 is a composite of glyphs 1 and 4.
std::string trueType() {
    const std::string simple1 = be(1, 2) + std::string(8, '\x11');
    const std::string simple2 = be(1, 2) + std::string(10, '\x22');
    const std::string composite = be(0xFFFF, 2) + std::string(8, '\0') + be(0x0020, 2) + be(1, 2) +
                                  be(0, 2) + be(0x0000, 2) + be(4, 2) + be(0, 2);
    const std::string simple4 = be(1, 2) + std::string(6, '\x44');
    const std::vector<std::string> glyphs{"", simple1, simple2, composite, simple4};
    std::string glyf;
    std::string loca;
    for (const std::string& g : glyphs) {
        loca += be(static_cast<std::uint32_t>(glyf.size() / 2), 2);
        glyf += g;
    }
    loca += be(static_cast<std::uint32_t>(glyf.size() / 2), 2);
    std::string head(54, '\0'); // indexToLocFormat 0 at offset 50
    const std::vector<std::pair<std::string, std::string>> tables{
        {"glyf", glyf}, {"head", head}, {"loca", loca}};
    std::string font = be(0x00010000, 4) + be(3, 2) + std::string(6, '\0');
    std::size_t offset = font.size() + tables.size() * 16;
    std::string data;
    for (const auto& [tag, bytes] : tables) {
        font += tag + be(0, 4) + be(static_cast<std::uint32_t>(offset + data.size()), 4) +
                be(static_cast<std::uint32_t>(bytes.size()), 4);
        data += bytes;
    }
    return font + data;
}

TEST(FontTrim, TrueTypeGlyphsAreZeroedButTheKeptCompositesParts) {
    const std::string font = trueType();
    const std::string trimmed = blankTrueTypeGlyphs(font, {3});
    ASSERT_EQ(trimmed.size(), font.size());
    EXPECT_NE(trimmed.find(std::string(8, '\x11')), std::string::npos); // part of glyph 3
    EXPECT_NE(trimmed.find(std::string(6, '\x44')), std::string::npos); // part of glyph 3
    EXPECT_EQ(trimmed.find("\x22\x22"), std::string::npos);             // glyph 2 emptied
    EXPECT_EQ(blankTrueTypeGlyphs(font, {1, 2, 3, 4}), font);
    EXPECT_EQ(blankTrueTypeGlyphs(font, {}).find("\x44\x44"), std::string::npos);
    EXPECT_THROW(blankTrueTypeGlyphs(font.substr(0, 20), {}), DeliveryError);
}

TEST(FontTrim, ToUnicodeKeepsThePagesCodesOnly) {
    const std::string cmap = "/CIDInit /ProcSet findresource begin\n"
                             "1 begincodespacerange\n<0000> <ffff>\nendcodespacerange\n"
                             "3 beginbfchar\n<0001> <5f20>\n<0002> <4e09>\n<0003> <674e>\n"
                             "endbfchar\n"
                             "2 beginbfrange\n<0010> <0012> <0041>\n<0020> <0021> [<738b> "
                             "<4e94>]\nendbfrange\n"
                             "endcmap\nend\n";
    EXPECT_EQ(trimToUnicode(cmap, {2, 0x11, 0x21}),
              "/CIDInit /ProcSet findresource begin\n"
              "1 begincodespacerange\n<0000> <ffff>\nendcodespacerange\n"
              "3 beginbfchar\n<0002> <4e09>\n<0011> <0042>\n<0021> <4e94>\nendbfchar\n"
              "\nendcmap\nend\n");
    const std::string none = trimToUnicode(cmap, {});
    EXPECT_EQ(none.find("5f20"), std::string::npos);
    EXPECT_NE(none.find("endcodespacerange"), std::string::npos);
    EXPECT_NE(none.find("endcmap"), std::string::npos);
}

} // namespace
} // namespace quenly::delivery
