// libFuzzer harness for the .xlsx reader: any bytes must give a workbook or a WorkbookError.
#include "xlsx/xlsx_reader_memory.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        quenly::wb::readXlsxMemory(data, size, "fuzz", {.allSheets = true});
    } catch (const quenly::wb::WorkbookError&) {
        // A refused file is a good outcome; anything else escapes and is reported.
    }
    return 0;
}
