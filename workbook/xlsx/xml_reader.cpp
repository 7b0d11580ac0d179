// The expat driver: feeds a part through the parser in blocks and turns faults into messages.
#include "xlsx/xml_reader.h"

#include "little_endian.h"
#include "read_error.h"
#include "text_util.h"
#include "workbook.h"

#include <expat.h>
#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <utility>
#include <vector>

namespace quenly::wb::xlsx_read {

namespace {

constexpr int kBlock = 256 * 1024;

const char* chineseXmlError(XML_Error code) {
    switch (code) {
    case XML_ERROR_NO_MEMORY:
        return "内存不足";
    case XML_ERROR_SYNTAX:
        return "语法错误";
    case XML_ERROR_NO_ELEMENTS:
        return "没有任何内容";
    case XML_ERROR_INVALID_TOKEN:
        return "含有无效的字符或标记";
    case XML_ERROR_UNCLOSED_TOKEN:
        return "标记没有结束（内容被截断）";
    case XML_ERROR_PARTIAL_CHAR:
        return "字符不完整（内容被截断）";
    case XML_ERROR_TAG_MISMATCH:
        return "开始标记与结束标记不匹配";
    case XML_ERROR_DUPLICATE_ATTRIBUTE:
        return "属性重复";
    case XML_ERROR_JUNK_AFTER_DOC_ELEMENT:
        return "根元素之后还有多余内容";
    case XML_ERROR_UNDEFINED_ENTITY:
        return "使用了未定义的实体";
    case XML_ERROR_UNKNOWN_ENCODING:
    case XML_ERROR_INCORRECT_ENCODING:
        return "字符编码不受支持或与声明不符";
    case XML_ERROR_UNCLOSED_CDATA_SECTION:
        return "CDATA段没有结束";
    case XML_ERROR_AMPLIFICATION_LIMIT_BREACH:
        return "实体展开过多";
    default:
        return "格式错误";
    }
}

struct Context {
    XML_Parser parser = nullptr;
    XmlHandler* handler = nullptr;
    std::exception_ptr error;
    std::string fault; // a ContentFault's text
    unsigned long line = 0;
    int depth = 0;
    std::uint64_t events = 0; // callbacks so far: a block without one holds an unfinished token
};

void stop(Context& c) {
    c.line = XML_GetCurrentLineNumber(c.parser);
    XML_StopParser(c.parser, XML_FALSE);
}

template <class F>
void guarded(Context& c, F&& f) {
    if (c.error || !c.fault.empty()) {
        return;
    }
    try {
        f();
    } catch (const ContentFault& e) {
        c.fault = e.what();
        stop(c);
    } catch (const WorkbookError& e) {
        c.fault = e.what();
        stop(c);
    } catch (...) {
        c.error = std::current_exception();
        stop(c);
    }
}

// Stops the parser with `what` as the fault, unless it is already stopping.
void refuse(Context& c, std::string what) {
    if (!c.error && c.fault.empty()) {
        c.fault = std::move(what);
        stop(c);
    }
}

void XMLCALL onStart(void* data, const XML_Char* name, const XML_Char** atts) {
    auto& c = *static_cast<Context*>(data);
    ++c.events;
    if (++c.depth > kMaxXmlDepth) {
        refuse(c, "元素嵌套超过了 " + std::to_string(kMaxXmlDepth) + " 层，正常的工作簿不会这样");
        return;
    }
    guarded(c, [&] { c.handler->startElement(localName(name), Attributes(atts)); });
}

void XMLCALL onEnd(void* data, const XML_Char* name) {
    auto& c = *static_cast<Context*>(data);
    ++c.events;
    --c.depth;
    guarded(c, [&] { c.handler->endElement(localName(name)); });
}

void XMLCALL onOther(void* data, const XML_Char*, const XML_Char* = nullptr) {
    ++static_cast<Context*>(data)->events;
}

void XMLCALL onComment(void* data, const XML_Char* text) {
    onOther(data, text);
}

// Workbook parts never have a document type declaration; one may declare entities that expand
// without bound, so the part is refused before any declaration in it is read.
void XMLCALL onDoctype(void* data, const XML_Char*, const XML_Char*, const XML_Char*, int) {
    refuse(*static_cast<Context*>(data),
           "含有文档类型声明（DOCTYPE），正常的工作簿不会有，为安全起见不予读取");
}

void XMLCALL onEntity(void* data, const XML_Char*, int, const XML_Char*, int, const XML_Char*,
                      const XML_Char*, const XML_Char*, const XML_Char*) {
    refuse(*static_cast<Context*>(data), "声明了XML实体，正常的工作簿不会有，为安全起见不予读取");
}

void XMLCALL onText(void* data, const XML_Char* s, int len) {
    auto& c = *static_cast<Context*>(data);
    ++c.events;
    if (c.handler->wantText && len > 0) {
        guarded(c, [&] { c.handler->text(s, static_cast<std::size_t>(len)); });
    }
}

constexpr std::uint64_t kPrefetchFrom = 4 * 1024 * 1024;

// Reads a part ahead on a thread of its own, a few blocks at a time.
class Prefetcher {
public:
    struct Block {
        const char* data = nullptr;
        std::size_t size = 0;
        int slot = -1;
    };

    explicit Prefetcher(ZipReader::Stream& stream)
        : m_stream(stream) {
        for (int i = 0; i < kSlots; ++i) {
            m_buffers[i].resize(kBlock);
            m_free.push_back(i);
        }
        m_thread = std::thread([this] { run(); });
    }

    ~Prefetcher() {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_changed.notify_all();
        m_thread.join();
    }

    Prefetcher(const Prefetcher&) = delete;
    Prefetcher& operator=(const Prefetcher&) = delete;

    // The next block; size 0 at the end. Rethrows a read fault of the part.
    Block next() {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return !m_filled.empty() || m_error || m_done; });
        if (!m_filled.empty()) {
            const auto [slot, size] = m_filled.front();
            m_filled.pop_front();
            return {m_buffers[slot].data(), size, slot};
        }
        if (m_error) {
            std::rethrow_exception(m_error);
        }
        return {};
    }

    void release(const Block& block) {
        if (block.slot < 0) {
            return;
        }
        {
            std::lock_guard lock(m_mutex);
            m_free.push_back(block.slot);
        }
        m_changed.notify_all();
    }

private:
    static constexpr int kSlots = 4;

    void run() {
        for (;;) {
            int slot = -1;
            {
                std::unique_lock lock(m_mutex);
                m_changed.wait(lock, [this] { return !m_free.empty() || m_stop; });
                if (m_stop) {
                    return;
                }
                slot = m_free.front();
                m_free.pop_front();
            }
            std::size_t n = 0;
            std::exception_ptr error;
            try {
                n = m_stream.read(m_buffers[slot].data(), kBlock);
            } catch (...) {
                error = std::current_exception();
            }
            {
                std::lock_guard lock(m_mutex);
                if (error) {
                    m_error = error;
                } else if (n == 0) {
                    m_done = true;
                } else {
                    m_filled.emplace_back(slot, n);
                }
            }
            m_changed.notify_all();
            if (error || n == 0) {
                return;
            }
        }
    }

    ZipReader::Stream& m_stream;
    std::vector<char> m_buffers[kSlots];
    std::deque<int> m_free;
    std::deque<std::pair<int, std::size_t>> m_filled;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::exception_ptr m_error;
    bool m_done = false;
    bool m_stop = false;
    std::thread m_thread;
};

// Declared encodings expat does not know (GBK, GB2312, Big5, windows-1252, ...), through iconv:
// every byte that iconv turns into one character is one; a byte that starts an incomplete
// sequence starts a two-byte character.
struct IconvEncoding {
    iconv_t cd;
};

int XMLCALL convertIconv(void* data, const char* s) {
    auto* e = static_cast<IconvEncoding*>(data);
    char in[2] = {s[0], s[1]};
    char* inPtr = in;
    std::size_t inLeft = 2;
    char out[4] = {};
    char* outPtr = out;
    std::size_t outLeft = sizeof out;
    iconv(e->cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(e->cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1) ||
        outLeft != 0) {
        return -1;
    }
    const std::uint32_t cp = le32(reinterpret_cast<const std::uint8_t*>(out));
    return cp > 0x10FFFF ? -1 : static_cast<int>(cp);
}

void XMLCALL releaseIconv(void* data) {
    auto* e = static_cast<IconvEncoding*>(data);
    iconv_close(e->cd);
    delete e;
}

int XMLCALL unknownEncoding(void*, const XML_Char* name, XML_Encoding* info) {
    iconv_t cd = iconv_open("UTF-32LE", name);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return XML_STATUS_ERROR;
    }
    for (int b = 0; b < 256; ++b) {
        char in = static_cast<char>(b);
        char* inPtr = &in;
        std::size_t inLeft = 1;
        char out[4] = {};
        char* outPtr = out;
        std::size_t outLeft = sizeof out;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        const std::size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        const std::uint32_t cp = le32(reinterpret_cast<const std::uint8_t*>(out));
        if (r != static_cast<std::size_t>(-1) && outLeft == 0 && cp <= 0x10FFFF) {
            info->map[b] = static_cast<int>(cp);
        } else if (r == static_cast<std::size_t>(-1) && errno == EINVAL) {
            info->map[b] = -2;
        } else {
            info->map[b] = -1;
        }
    }
    // The markup must read as ASCII, or the part is not XML that can be parsed this way.
    for (int b = 0; b < 0x80; ++b) {
        if (info->map[b] != b) {
            iconv_close(cd);
            return XML_STATUS_ERROR;
        }
    }
    info->data = new IconvEncoding{cd};
    info->convert = convertIconv;
    info->release = releaseIconv;
    return XML_STATUS_OK;
}

struct ParserDeleter {
    void operator()(XML_ParserStruct* p) const { XML_ParserFree(p); }
};

class Driver {
public:
    Driver(const std::string& displayName, std::string_view part, XmlHandler& handler)
        : m_displayName(displayName)
        , m_part(part)
        , m_parser(XML_ParserCreate(nullptr)) {
        if (!m_parser) {
            throw std::bad_alloc();
        }
        m_context.parser = m_parser.get();
        m_context.handler = &handler;
        XML_SetUserData(m_parser.get(), &m_context);
        XML_SetElementHandler(m_parser.get(), onStart, onEnd);
        XML_SetCharacterDataHandler(m_parser.get(), onText);
        XML_SetUnknownEncodingHandler(m_parser.get(), unknownEncoding, nullptr);
        XML_SetStartDoctypeDeclHandler(m_parser.get(), onDoctype);
        XML_SetEntityDeclHandler(m_parser.get(), onEntity);
        XML_SetParamEntityParsing(m_parser.get(), XML_PARAM_ENTITY_PARSING_NEVER);
        XML_SetCommentHandler(m_parser.get(), onComment);
        XML_SetProcessingInstructionHandler(m_parser.get(), onOther);
    }

    void* buffer() {
        void* b = XML_GetBuffer(m_parser.get(), kBlock);
        if (!b) {
            throw std::bad_alloc();
        }
        return b;
    }

    void parse(std::size_t n, bool final) {
        if (XML_ParseBuffer(m_parser.get(), static_cast<int>(n), final) != XML_STATUS_OK) {
            raise();
        }
        // The parser keeps an unfinished tag whole: one without end would take all memory.
        if (m_context.events != m_eventsBefore) {
            m_eventsBefore = m_context.events;
            m_sinceEvent = 0;
        } else {
            m_sinceEvent += n;
        }
        if (m_sinceEvent > kMaxXmlToken) {
            throw ReadError(fault(XML_GetCurrentLineNumber(m_parser.get()), 0,
                                  "一个XML标记长于 " + std::to_string(kMaxXmlToken >> 20) +
                                      " MB，正常的工作簿不会这样"));
        }
    }

private:
    [[noreturn]] void raise() {
        if (m_context.error) {
            std::rethrow_exception(m_context.error);
        }
        if (!m_context.fault.empty()) {
            throw ReadError(fault(m_context.line, 0, m_context.fault));
        }
        const XML_Error code = XML_GetErrorCode(m_parser.get());
        throw ReadError(fault(XML_GetCurrentLineNumber(m_parser.get()),
                              XML_GetCurrentColumnNumber(m_parser.get()) + 1,
                              std::string("XML") + chineseXmlError(code) + "（" +
                                  XML_ErrorString(code) + "）"));
    }

    // A fault of this part at `line` (and `column`, when not 0).
    ReadFault fault(std::uint64_t line, std::uint64_t column, std::string what) const {
        ReadFault f(ReadFault::Kind::Damaged, m_displayName, std::string(m_part));
        f.line = line;
        f.column = column;
        f.fault = std::move(what);
        return f;
    }

    const std::string& m_displayName;
    std::string_view m_part;
    std::unique_ptr<XML_ParserStruct, ParserDeleter> m_parser;
    Context m_context;
    std::uint64_t m_eventsBefore = 0;
    std::uint64_t m_sinceEvent = 0; // bytes fed since the last block with a callback
};

} // namespace

const char* Attributes::get(std::string_view name) const {
    for (const char** a = m_list; *a; a += 2) {
        if (localName(*a) == name) {
            return a[1];
        }
    }
    return nullptr;
}

void parsePart(const ZipReader& zip, std::string_view part, XmlHandler& handler,
               std::uint64_t maxSize) {
    ZipReader::Stream stream = zip.open(part, maxSize);
    Driver driver(zip.displayName(), part, handler);
    if (zip.size(part) < kPrefetchFrom) {
        for (;;) {
            void* buffer = driver.buffer();
            const std::size_t n = stream.read(buffer, kBlock);
            driver.parse(n, n == 0);
            if (n == 0) {
                return;
            }
        }
    }
    // A large part: inflate on a second thread while this one parses.
    Prefetcher prefetch(stream);
    for (;;) {
        const Prefetcher::Block block = prefetch.next();
        void* buffer = driver.buffer();
        if (block.size) {
            std::memcpy(buffer, block.data, block.size);
        }
        driver.parse(block.size, block.size == 0);
        prefetch.release(block);
        if (block.size == 0) {
            return;
        }
    }
}

void parseXml(std::string_view xml, const std::string& displayName, std::string_view part,
              XmlHandler& handler) {
    Driver driver(displayName, part, handler);
    std::size_t pos = 0;
    for (;;) {
        const std::size_t n = std::min<std::size_t>(kBlock, xml.size() - pos);
        void* buffer = driver.buffer();
        if (n) {
            std::memcpy(buffer, xml.data() + pos, n);
        }
        pos += n;
        driver.parse(n, n == 0);
        if (n == 0) {
            break;
        }
    }
}

} // namespace quenly::wb::xlsx_read
