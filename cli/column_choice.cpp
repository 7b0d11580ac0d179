// The columns a delivery option names, and lists of names as the batch command shows them.
#include "column_choice.h"

#include "cell_names.h"

#include <iostream>

namespace quenly::batch {

namespace {

// At most this many names in a list shown to the user; the rest are counted.
constexpr std::size_t kListed = 20;

} // namespace

std::string listOf(const std::vector<std::string>& items) {
    std::string out;
    for (std::size_t i = 0; i < items.size() && i < kListed; ++i) {
        out += (i == 0 ? "" : "、") + items[i];
    }
    if (items.size() > kListed) {
        out += " 等，共 " + std::to_string(items.size()) + " 个";
    }
    return out;
}

std::optional<std::uint32_t> columnOrSay(const delivery::SlipRun& run, const std::string& option,
                                         const std::string& text) {
    if (const auto column = run.findColumn(text)) {
        return column;
    }
    std::vector<std::string> titles;
    for (const auto& [column, title] : run.titles()) {
        titles.push_back(title + "（" + cells::columnName(column) + " 列）");
    }
    std::cerr << "quenly-batch：" << option << " 所指的列“" << text << "”既不是表头最后一行（第 "
              << run.options().EndTitleRow << " 行）的标题，也不是列字母。";
    if (!titles.empty()) {
        std::cerr << "表头的标题有：" << listOf(titles) << "。";
    }
    std::cerr << "\n";
    return std::nullopt;
}

} // namespace quenly::batch
