// Not a test: prints how fast result sheets are written as PDF, and turns result workbooks into
// PDFs to look at. Usage: pdf_writer_bench PERSONS OUT.pdf | pdf_writer_bench --from BOOK OUT.pdf
#include "pdf/pdf_writer.h"
#include "slip_fixture.h"
#include "workbook_file.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <sys/resource.h>

using namespace quenly;

namespace {

double peakMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3 && !(argc == 4 && std::strcmp(argv[1], "--from") == 0)) {
        std::fprintf(stderr, "usage: %s PERSONS OUT.pdf | %s --from BOOK OUT.pdf\n", argv[0],
                     argv[0]);
        return 2;
    }
    try {
        const auto start = std::chrono::steady_clock::now();
        std::unique_ptr<wb::Workbook> book;
        if (argc == 4) {
            book = wb::loadWorkbook(argv[2]);
        } else {
            book = test::makeWageSlips(static_cast<std::uint32_t>(std::atoi(argv[1])), 25);
        }
        const auto built = std::chrono::steady_clock::now();
        std::size_t pages = 0;
        wb::pdf::PdfOptions options;
        options.progress = [&](std::size_t done, std::size_t) { pages = done; };
        wb::pdf::writePdf(*book, argv[argc - 1], options);
        const auto done = std::chrono::steady_clock::now();
        const auto ms = [](auto a, auto b) {
            return std::chrono::duration<double, std::milli>(b - a).count();
        };
        std::printf("book %.0f ms, pdf %.0f ms, %zu pages, peak %.0f MB\n", ms(start, built),
                    ms(built, done), pages, peakMegabytes());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
