// Saving a PDF whole or not at all, under any name a file may have.
#include "pdf/pdf_writer.h"
#include "slip_fixture.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace quenly::wb::pdf {
namespace {

TEST(PdfSave, ANameTooLongForTheUsualTemporaryNameStillSaves) {
    test::TempDir dir;
    // 250 bytes: a valid name, but too long for the temporary name made of it.
    std::string name;
    while (name.size() < 245) {
        name += "工";
    }
    name += ".pdf";
    writePdf(*test::makeWageSlips(2, 4), dir / name);
    EXPECT_EQ(test::entriesOf(dir.path()), std::vector<std::string>{name});
    EXPECT_GT(std::filesystem::file_size(dir / name), 1000u);
}

} // namespace
} // namespace quenly::wb::pdf
