// Prints what the number-format engine shows for cases read from standard input, one a line:
// "N<TAB>code<TAB>value" for numbers (value in C notation), "N4<TAB>..." for the 1904 system,
// "T<TAB>code<TAB>text" for texts. Each answer is one line; the shown text's own line breaks
// and tabs are written as \n and \t.
#include <charconv>
#include <iostream>
#include <string>

#include "print/number_format.h"

int main() {
    using quenly::wb::print::formatNumber;
    using quenly::wb::print::formatText;
    std::string line;
    while (std::getline(std::cin, line)) {
        const std::size_t tab1 = line.find('\t');
        const std::size_t tab2 = tab1 == std::string::npos ? tab1 : line.find('\t', tab1 + 1);
        if (tab2 == std::string::npos) {
            std::cout << "?\n";
            continue;
        }
        const std::string kind = line.substr(0, tab1);
        const std::string code = line.substr(tab1 + 1, tab2 - tab1 - 1);
        const std::string arg = line.substr(tab2 + 1);
        std::string shown;
        if (kind == "T") {
            shown = formatText(arg, code).text;
        } else {
            double value = 0;
            std::from_chars(arg.data(), arg.data() + arg.size(), value);
            shown = formatNumber(value, code, kind == "N4").text;
        }
        for (char c : shown) {
            if (c == '\n') {
                std::cout << "\\n";
            } else if (c == '\t') {
                std::cout << "\\t";
            } else {
                std::cout << c;
            }
        }
        std::cout << '\n';
    }
    return 0;
}
