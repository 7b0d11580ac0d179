// The shared strings part of an .xlsx package (xl/sharedStrings.xml).
#pragma once

#include "workbook.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quenly::wb::xlsx_write {

/// The texts of `strings` that cells use, in pieces: the opening tag, then the texts, cut by an
/// upper bound of their XML so that a few very long texts make a piece alone.
class SharedStringsXml {
public:
    /// `order` holds the indices in `strings` of the texts in use, in the order they are
    /// written; `count` is the number of cells that hold text.
    SharedStringsXml(const StringTable& strings, std::vector<std::uint32_t> order,
                     std::uint64_t count);

    std::size_t pieceCount() const { return m_cuts.size(); }
    std::uint64_t sizeBound() const { return m_bound; }
    /// Replaces `out` with piece `index` (from 0), reusing its storage.
    void produce(std::size_t index, std::string& out) const;

private:
    const StringTable& m_strings;
    std::vector<std::uint32_t> m_order;
    std::uint64_t m_count;
    std::vector<std::size_t> m_cuts; // piece k > 0 holds the texts [m_cuts[k - 1], m_cuts[k])
    std::uint64_t m_bound = 512;
};

} // namespace quenly::wb::xlsx_write
