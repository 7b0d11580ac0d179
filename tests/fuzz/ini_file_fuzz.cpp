// libFuzzer harness for the INI reader: any bytes parse, write back unchanged, and survive a set.
#include "ini_file.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "INI invariant broken: %s\n", what);
        std::abort();
    }
}

// A name made of the letters of `bytes`, so that it is always a valid section or key.
std::string nameFrom(std::string_view bytes) {
    std::string out;
    for (char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        out.push_back(static_cast<char>('a' + u % 26));
    }
    return out.empty() ? std::string("k") : out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    quenly::IniFile file = quenly::IniFile::parse(input);
    check(file.text() == input, "the text read is written back byte for byte");

    // The settings the program reads, and names taken from the input itself.
    const std::string_view section = "option";
    const std::string fromInput = nameFrom(input.substr(0, 3));
    for (std::string_view key : {std::string_view("StartTitleRow"), std::string_view("EndTitleCol"),
                                 std::string_view(fromInput)}) {
        if (const auto v = file.value(section, key)) {
            check(v->size() <= quenly::kIniValueLimit, "values are cut at the limit");
        }
        file.hasSection(key);
    }

    const auto before = file.value("Other", "Kept");
    const std::string value = "v" + nameFrom(input.substr(input.size() / 2, 5));
    file.set(section, fromInput, value);
    check(file.value(section, fromInput) == value, "a value set reads back");
    check(file.value("Other", "Kept") == before, "a set leaves other sections alone");
    const quenly::IniFile reread = quenly::IniFile::parse(file.text());
    check(reread.value(section, fromInput) == value, "a value set survives writing and reading");
    check(reread.text() == file.text(), "the text written reads back to itself");
    return 0;
}
