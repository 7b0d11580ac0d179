// The PDF library's share of delivery: one document per page of slips drawn together, with fonts
// trimmed to that page, and documents locked with a password (qpdf).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quenly::delivery {

/// `pdf` locked with AES-256 (PDF 2.0, revision 6) through qpdf: it opens with `password` only.
/// Printing and copying stay allowed once opened. The owner password is random and kept nowhere.
/// Throws DeliveryError when `pdf` cannot be read or the password is empty.
std::string lockPdf(std::string_view pdf, const std::string& password);

/// Each page of `pdf` as a document of its own, its fonts trimmed to what that page shows
/// (trimFontsToPage), streams otherwise copied as they are; locked as lockPdf locks with
/// passwords[i] when `passwords` is not empty (then one per page, none empty). Throws
/// DeliveryError.
std::vector<std::string> splitPages(const std::string& pdf,
                                    const std::vector<std::string>& passwords);

} // namespace quenly::delivery
