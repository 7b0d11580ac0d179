// The extension rule of a drop.
#include "dropped_file.h"

namespace quenly::app {

std::string_view dropExtension(std::string_view name) {
    const auto dot = name.rfind('.');
    if (dot == std::string_view::npos) {
        return {};
    }
    if (name.find('/', dot) != std::string_view::npos) {
        return {};
    }
    return name.substr(dot);
}

bool isAcceptedDropName(std::string_view name) {
    const std::string_view ext = dropExtension(name);
    return ext == ".xls" || ext == ".xlsx";
}

} // namespace quenly::app
