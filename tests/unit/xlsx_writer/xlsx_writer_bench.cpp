// Benchmark of the .xlsx writer on a pay-slip sized result: prints rows/s, MB/s and the ratio.
// Usage: xlsx_writer_bench [persons] [threads] [output file]
#include "slip_fixture.h"
#include "xlsx/xlsx_writer.h"

#include <zip.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>

int main(int argc, char** argv) {
    const std::uint32_t persons =
        argc > 1 ? static_cast<std::uint32_t>(std::atoi(argv[1])) : 100000;
    const unsigned threads = argc > 2 ? static_cast<unsigned>(std::atoi(argv[2])) : 0;
    const std::filesystem::path file = argc > 3 ? argv[3] : "/tmp/quenly-writer-bench.xlsx";

    auto t0 = std::chrono::steady_clock::now();
    auto book = quenly::test::makeWageSlips(persons, 25);
    auto t1 = std::chrono::steady_clock::now();
    const std::clock_t c1 = std::clock();
    quenly::wb::writeXlsx(*book, file, {threads});
    const std::clock_t c2 = std::clock();
    auto t2 = std::chrono::steady_clock::now();

    int err = 0;
    zip_t* z = zip_open(file.c_str(), ZIP_RDONLY, &err);
    if (!z) {
        std::fprintf(stderr, "cannot reopen %s\n", file.c_str());
        return 1;
    }
    std::uint64_t raw = 0, packed = 0;
    for (zip_int64_t i = 0; i < zip_get_num_entries(z, 0); ++i) {
        zip_stat_t st;
        zip_stat_index(z, static_cast<zip_uint64_t>(i), 0, &st);
        raw += st.size;
        packed += st.comp_size;
    }
    zip_close(z);

    const double build = std::chrono::duration<double>(t1 - t0).count();
    const double write = std::chrono::duration<double>(t2 - t1).count();
    const auto rows = book->sheet(0).rowCount();
    std::uint64_t cells = 0;
    for (std::uint32_t r = 0; r < rows; ++r) {
        cells += book->sheet(0).row(r)->cells.size();
    }
    std::printf("persons %u, rows %u, cells %llu, merges %zu, threads %u\n", persons, rows,
                static_cast<unsigned long long>(cells), book->sheet(0).merges().size(), threads);
    std::printf("model built in %.3f s\n", build);
    std::printf("writing took %.3f s of processor time (all threads)\n",
                static_cast<double>(c2 - c1) / CLOCKS_PER_SEC);
    std::printf("written in %.3f s: %.0f rows/s, %.1f MB/s of XML, %.1f MB XML -> %.1f MB file "
                "(ratio %.2f)\n",
                write, rows / write, raw / write / 1e6, raw / 1e6,
                static_cast<double>(std::filesystem::file_size(file)) / 1e6,
                static_cast<double>(raw) / static_cast<double>(packed));
    return 0;
}
