// Tests of the zip writer: archives read back with libzip, zip64 records, faults of the file.
#include "temp_dir.h"
#include "workbook.h"
#include "xlsx/piece_deflater.h"
#include "xlsx/zip_writer.h"

#include <gtest/gtest.h>
#include <libdeflate.h>
#include <zip.h>
#include <zlib.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <stdexcept>
#include <string>

using quenly::test::TempDir;
using quenly::wb::WorkbookError;
using quenly::wb::zip::ZipWriter;
using quenly::wb::zip::ZipWriterOptions;

namespace {

// Every entry of the archive, read through libzip, which checks each entry's CRC as it reads.
std::map<std::string, std::string> readArchive(const std::filesystem::path& file) {
    int err = 0;
    zip_t* z = zip_open(file.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &err);
    if (!z) {
        zip_error_t e;
        zip_error_init_with_code(&e, err);
        const std::string msg = zip_error_strerror(&e);
        zip_error_fini(&e);
        throw std::runtime_error("zip_open: " + msg);
    }
    std::map<std::string, std::string> out;
    const zip_int64_t n = zip_get_num_entries(z, 0);
    for (zip_int64_t i = 0; i < n; ++i) {
        zip_stat_t st;
        zip_stat_index(z, static_cast<zip_uint64_t>(i), 0, &st);
        zip_file_t* f = zip_fopen_index(z, static_cast<zip_uint64_t>(i), 0);
        if (!f) {
            zip_close(z);
            throw std::runtime_error(std::string("zip_fopen: ") + st.name);
        }
        std::string data(st.size, '\0');
        const zip_int64_t got = zip_fread(f, data.data(), data.size());
        char extra;
        const zip_int64_t more = zip_fread(f, &extra, 1); // reaching the end checks the CRC
        zip_fclose(f);
        if (got != static_cast<zip_int64_t>(st.size) || more != 0) {
            zip_close(z);
            throw std::runtime_error(std::string("bad data or CRC in ") + st.name);
        }
        out[st.name] = std::move(data);
    }
    zip_close(z);
    return out;
}

std::string fileBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Piece i of a test entry: varied, partly compressible bytes.
std::string piece(std::size_t i) {
    std::string s;
    for (std::size_t k = 0; k < 20000 + 37 * i; ++k) {
        s.push_back(static_cast<char>((k * 31 + i * 7 + (k >> 7) * (k >> 3)) & 0xFF));
    }
    s += "<row r=\"" + std::to_string(i) + "\"/>";
    return s;
}

std::string pieces(std::size_t count) {
    std::string all;
    for (std::size_t i = 0; i < count; ++i) {
        all += piece(i);
    }
    return all;
}

void writeStreamed(ZipWriter& zip, const std::string& name, std::size_t count) {
    zip.addStreamedEntry(
        name, count, [](std::size_t i, std::string& out) { out = piece(i); }, 1u << 30);
}

} // namespace

TEST(ZipWriter, EntriesReadBackWithLibzipOnAnyThreadCount) {
    struct Case {
        unsigned threads;
        bool zlib;
    };
    for (const auto [threads, zlib] :
         {Case{1, false}, Case{2, false}, Case{5, false}, Case{2, true}}) {
        TempDir dir;
        const auto file = dir / "a.zip";
        ZipWriterOptions o;
        o.threads = threads;
        o.zlibPieces = zlib;
        ZipWriter zip(file, o);
        zip.addEntry("small.xml", "<a>中文</a>");
        zip.addEntry("empty.xml", "");
        writeStreamed(zip, "one.bin", 1);
        writeStreamed(zip, "many.bin", 57);
        zip.addStreamedEntry(
            "blank.bin", 3, [](std::size_t, std::string& out) { out.clear(); }, 0);
        zip.addStreamedEntry(
            "none.bin", 0, [](std::size_t, std::string&) {}, 0);
        zip.finish();

        const auto entries = readArchive(file);
        ASSERT_EQ(entries.size(), 6u) << threads;
        EXPECT_EQ(entries.at("small.xml"), "<a>中文</a>");
        EXPECT_EQ(entries.at("empty.xml"), "");
        EXPECT_EQ(entries.at("one.bin"), pieces(1));
        EXPECT_EQ(entries.at("many.bin"), pieces(57)) << threads;
        EXPECT_EQ(entries.at("blank.bin"), "");
        EXPECT_EQ(entries.at("none.bin"), "");
        const std::string bytes = fileBytes(file);
        EXPECT_EQ(bytes.find("PK\x06\x06"), std::string::npos) << "no zip64 needed";
    }
}

TEST(ZipWriter, ForcedZip64RecordsAreReadable) {
    TempDir dir;
    const auto file = dir / "z64.zip";
    ZipWriterOptions o;
    o.threads = 2;
    o.forceZip64 = true;
    ZipWriter zip(file, o);
    zip.addEntry("a.txt", "hello");
    writeStreamed(zip, "b.bin", 9);
    zip.finish();
    const std::string bytes = fileBytes(file);
    EXPECT_NE(bytes.find("PK\x06\x06"), std::string::npos);
    EXPECT_NE(bytes.find("PK\x06\x07"), std::string::npos);
    const auto entries = readArchive(file);
    EXPECT_EQ(entries.at("a.txt"), "hello");
    EXPECT_EQ(entries.at("b.bin"), pieces(9));
}

TEST(ZipWriter, SizeBoundBeyond4GiBGivesZip64LocalHeader) {
    TempDir dir;
    const auto file = dir / "big.zip";
    ZipWriter zip(file, {});
    zip.addStreamedEntry(
        "sheet.xml", 4, [](std::size_t i, std::string& out) { out = piece(i); },
        std::uint64_t{5} << 30);
    zip.finish();
    const std::string bytes = fileBytes(file);
    // Local header: version needed 45 and a zip64 extra field after the name.
    EXPECT_EQ(bytes.substr(4, 2), std::string("\x2D\x00", 2));
    EXPECT_EQ(bytes.substr(30 + 9, 4), std::string("\x01\x00\x10\x00", 4));
    EXPECT_EQ(readArchive(file).at("sheet.xml"), pieces(4));
}

TEST(ZipWriter, OffsetsBeyond4GiBUseZip64) {
    TempDir dir;
    const auto file = dir / "far.zip";
    ZipWriterOptions o;
    o.startOffset = (std::uint64_t{4} << 30) + 12345; // a hole; the file stays sparse
    {
        ZipWriter zip(file, o);
        zip.addEntry("a.txt", "first");
        writeStreamed(zip, "b.bin", 3);
        zip.finish();
    }
    int err = 0;
    zip_t* z = zip_open(file.c_str(), ZIP_RDONLY, &err);
    ASSERT_NE(z, nullptr) << err;
    ASSERT_EQ(zip_get_num_entries(z, 0), 2);
    zip_stat_t st;
    ASSERT_EQ(zip_stat(z, "b.bin", 0, &st), 0);
    zip_file_t* f = zip_fopen(z, "b.bin", 0);
    ASSERT_NE(f, nullptr);
    std::string data(st.size, '\0');
    EXPECT_EQ(zip_fread(f, data.data(), data.size()), static_cast<zip_int64_t>(st.size));
    zip_fclose(f);
    zip_close(z);
    EXPECT_EQ(data, pieces(3));
}

TEST(ZipWriter, MoreThan65535EntriesUseZip64EndRecords) {
    TempDir dir;
    const auto file = dir / "many.zip";
    ZipWriter zip(file, {});
    for (int i = 0; i < 70000; ++i) {
        zip.addEntry("e" + std::to_string(i), std::to_string(i));
    }
    zip.finish();
    int err = 0;
    zip_t* z = zip_open(file.c_str(), ZIP_RDONLY, &err);
    ASSERT_NE(z, nullptr) << err;
    EXPECT_EQ(zip_get_num_entries(z, 0), 70000);
    zip_stat_t st;
    ASSERT_EQ(zip_stat(z, "e69999", 0, &st), 0);
    EXPECT_EQ(st.size, 5u);
    zip_close(z);
    EXPECT_NE(fileBytes(file).find("PK\x06\x06"), std::string::npos);
}

TEST(ZipWriter, FaultsOfTheFileNameIt) {
    TempDir dir;
    const auto missing = dir / "no-such-folder" / "out.xlsx";
    try {
        ZipWriter zip(missing, {});
        FAIL() << "opened a file in a missing folder";
    } catch (const WorkbookError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "无法写入文件“" + missing.string() + "”：" + std::strerror(ENOENT));
    }
    // /dev/full accepts the open and fails every write, as a full disk does.
    if (std::filesystem::exists("/dev/full")) {
        try {
            ZipWriter zip("/dev/full", {});
            writeStreamed(zip, "x.bin", 8);
            zip.finish();
            FAIL() << "writing to a full device succeeded";
        } catch (const WorkbookError& e) {
            EXPECT_EQ(std::string(e.what()),
                      std::string("无法写入文件“/dev/full”：") + std::strerror(ENOSPC));
        }
    }
}

TEST(ZipWriter, FailingProducerEndsTheEntryWithItsError) {
    TempDir dir;
    for (unsigned threads : {1u, 3u}) {
        ZipWriterOptions o;
        o.threads = threads;
        ZipWriter zip(dir / "fail.zip", o);
        std::atomic<int> calls{0};
        EXPECT_THROW(zip.addStreamedEntry(
                         "x", 1000,
                         [&](std::size_t i, std::string& out) {
                             ++calls;
                             if (i == 17) {
                                 throw std::runtime_error("boom");
                             }
                             out = piece(i);
                         },
                         1u << 30),
                     std::runtime_error);
        // The window of pieces in flight is small, so production stopped soon after the fault.
        EXPECT_LT(calls.load(), 100) << threads;
    }
}

namespace {

std::string inflateRaw(const std::string& in) {
    z_stream z{};
    inflateInit2(&z, -15);
    std::string out;
    char buf[65536];
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    z.avail_in = static_cast<uInt>(in.size());
    int rc = Z_OK;
    while (rc == Z_OK) {
        z.next_out = reinterpret_cast<Bytef*>(buf);
        z.avail_out = sizeof buf;
        rc = inflate(&z, Z_NO_FLUSH);
        out.append(buf, sizeof buf - z.avail_out);
        if (rc == Z_BUF_ERROR && z.avail_in == 0) {
            break;
        }
    }
    const bool ended = rc == Z_STREAM_END && z.avail_in == 0;
    inflateEnd(&z);
    if (!ended) {
        throw std::runtime_error("not one complete deflate stream");
    }
    return out;
}

// Inputs of the kinds that make libdeflate choose stored, fixed and dynamic blocks.
std::vector<std::string> sampleInputs() {
    std::mt19937 rng(12345);
    std::vector<std::string> inputs = {"", "a", std::string(1, '\0'), "<row r=\"1\"/>",
                                       std::string(100000, 'x')};
    std::string noise(70000, '\0');
    for (char& c : noise) {
        c = static_cast<char>(rng());
    }
    inputs.push_back(noise);
    std::string xml;
    for (int r = 1; xml.size() < 900000; ++r) {
        xml += "<row r=\"" + std::to_string(r) + "\"><c r=\"A" + std::to_string(r) +
               "\" s=\"3\"><v>" + std::to_string(rng() % 100000) + "." +
               std::to_string(rng() % 100) + "</v></c></row>";
    }
    inputs.push_back(xml);
    inputs.push_back(xml.substr(0, 3000) + noise.substr(0, 3000) + xml.substr(5000, 40000));
    return inputs;
}

} // namespace

TEST(UnfinishDeflate, ContinuedStreamsConcatenateIntoOne) {
    const auto inputs = sampleInputs();
    for (int level : {0, 1, 6, 12}) {
        libdeflate_compressor* c = libdeflate_alloc_compressor(level);
        ASSERT_NE(c, nullptr);
        std::string joined, expected;
        for (const std::string& in : inputs) {
            std::string out(libdeflate_deflate_compress_bound(c, in.size()) + 16, '\xAA');
            const std::size_t n =
                libdeflate_deflate_compress(c, in.data(), in.size(), out.data(), out.size() - 16);
            ASSERT_GT(n, 0u);
            const std::size_t m = quenly::wb::zip::unfinishDeflate(out, n);
            ASSERT_GT(m, n) << "level " << level << ", input of " << in.size();
            joined.append(out, 0, m);
            expected += in;
        }
        libdeflate_free_compressor(c);
        joined.append("\x03\x00", 2); // a final empty block closes the stream
        EXPECT_EQ(inflateRaw(joined), expected) << "level " << level;
    }
}

TEST(UnfinishDeflate, RefusesWhatIsNotOneDeflateStream) {
    libdeflate_compressor* c = libdeflate_alloc_compressor(1);
    const std::string xml = sampleInputs().back();
    std::string out(libdeflate_deflate_compress_bound(c, xml.size()) + 16, '\0');
    const std::size_t n =
        libdeflate_deflate_compress(c, xml.data(), xml.size(), out.data(), out.size() - 16);
    libdeflate_free_compressor(c);
    std::string copy = out;
    EXPECT_EQ(quenly::wb::zip::unfinishDeflate(copy, n / 2), 0u) << "cut short";
    copy = out;
    EXPECT_EQ(quenly::wb::zip::unfinishDeflate(copy, n + 3), 0u) << "trailing bytes";
    std::string reserved = std::string("\x07", 1) + std::string(16, '\0'); // block type 3
    EXPECT_EQ(quenly::wb::zip::unfinishDeflate(reserved, 1), 0u);
    std::string stored = std::string("\x01\x05\x00\x00\x00", 5) + std::string(16, '\0');
    EXPECT_EQ(quenly::wb::zip::unfinishDeflate(stored, 5), 0u) << "LEN and NLEN disagree";
    std::string tooSmall = out.substr(0, n + 4);
    EXPECT_EQ(quenly::wb::zip::unfinishDeflate(tooSmall, n), 0u) << "no room after the stream";
}
