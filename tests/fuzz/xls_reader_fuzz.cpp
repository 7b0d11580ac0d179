// libFuzzer harness for the .xls reader: any bytes must give a workbook or a WorkbookError.
#include "xls/xls_reader.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        quenly::wb::readXlsMemory(data, size, "fuzz", {.allSheets = true});
    } catch (const quenly::wb::WorkbookError&) {
        // A refused file is a good outcome; anything else escapes and is reported.
    }
    return 0;
}
