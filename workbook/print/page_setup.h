// The page set-up a result is saved with: what the page layout chose, kept in the model.
#pragma once

#include "print/page_layout.h"
#include "workbook.h"

namespace quenly::wb::print {

/// The page set-up that prints `layout` as it was laid out: A4, turned and scaled as laid out,
/// its margins, centred across the paper, its rows and columns as the print area (none for an
/// empty sheet), and a manual break before every page that starts a slip.
PageSetup pageSetupOf(const PageLayout& layout);

/// Lays out every sheet of `book`, gives the rows that print taller than they are the heights
/// they print at (storeFittedHeights), and gives each sheet the page set-up of its layout, as a
/// result is saved; the .xlsx writer then writes both.
void setUpPages(Workbook& book);

} // namespace quenly::wb::print
