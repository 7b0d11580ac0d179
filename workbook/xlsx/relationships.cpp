// Relationship parts: targets resolved against their source part, refused outside the package.
#include "xlsx/relationships.h"

#include "xlsx/xml_reader.h"

#include <algorithm>
#include <optional>

namespace quenly::wb::xlsx_read {

namespace {

std::string percentDecode(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size()) {
            auto hex = [](char c) {
                return c >= '0' && c <= '9'   ? c - '0'
                       : c >= 'a' && c <= 'f' ? c - 'a' + 10
                       : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                              : -1;
            };
            const int hi = hex(s[i + 1]);
            const int lo = hex(s[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out.push_back(static_cast<char>(hi * 16 + lo));
                i += 2;
                continue;
            }
        }
        out.push_back(s[i]);
    }
    return out;
}

// Whether `t` starts with a URI scheme or drive ("http:", "file:", "C:").
bool hasScheme(std::string_view t) {
    std::size_t i = 0;
    while (i < t.size() && ((t[i] >= 'a' && t[i] <= 'z') || (t[i] >= 'A' && t[i] <= 'Z') ||
                            (i > 0 && ((t[i] >= '0' && t[i] <= '9') || t[i] == '+' || t[i] == '-' ||
                                       t[i] == '.')))) {
        ++i;
    }
    return i > 0 && i < t.size() && t[i] == ':';
}

// The part a relationship of `source` points at: absolute targets start at the package root,
// others are relative to the source part's folder. Nothing for a target outside the package:
// a URL, a drive or network path, or ".." above the root.
std::optional<std::string> resolveTarget(std::string_view source, std::string_view target) {
    std::string path;
    std::string t = percentDecode(target);
    std::replace(t.begin(), t.end(), '\\', '/');
    if (hasScheme(t) || t.starts_with("//")) {
        return std::nullopt;
    }
    if (!t.empty() && t.front() == '/') {
        path = t;
    } else {
        const auto slash = source.rfind('/');
        path = std::string(slash == std::string_view::npos ? "" : source.substr(0, slash + 1)) + t;
    }
    std::vector<std::string> parts;
    std::size_t pos = 0;
    while (pos <= path.size()) {
        auto next = path.find('/', pos);
        if (next == std::string::npos) {
            next = path.size();
        }
        const std::string seg = path.substr(pos, next - pos);
        if (seg == "..") {
            if (parts.empty()) {
                return std::nullopt;
            }
            parts.pop_back();
        } else if (!seg.empty() && seg != ".") {
            parts.push_back(seg);
        }
        pos = next + 1;
    }
    std::string out;
    for (const std::string& p : parts) {
        if (!out.empty()) {
            out.push_back('/');
        }
        out += p;
    }
    return out;
}

// The relationships part of `source` ("xl/workbook.xml" -> "xl/_rels/workbook.xml.rels").
std::string relsPartOf(std::string_view source) {
    const auto slash = source.rfind('/');
    if (slash == std::string_view::npos) {
        return "_rels/" + std::string(source) + ".rels";
    }
    return std::string(source.substr(0, slash + 1)) + "_rels/" +
           std::string(source.substr(slash + 1)) + ".rels";
}

class RelsHandler : public XmlHandler {
public:
    RelsHandler(const ZipReader& zip, std::string_view source)
        : m_zip(zip)
        , m_source(source) {}
    std::vector<Relationship> rels;

    void startElement(std::string_view name, const Attributes& a) override {
        if (name != "Relationship") {
            return;
        }
        const char* id = a.get("Id");
        const char* type = a.get("Type");
        const char* target = a.get("Target");
        if (!id || !type || !target) {
            return;
        }
        std::string_view t(type);
        const auto slash = t.rfind('/');
        Relationship r{id, std::string(slash == std::string_view::npos ? t : t.substr(slash + 1)),
                       "", target, false};
        const char* mode = a.get("TargetMode");
        if (mode && std::string_view(mode) == "External") {
            r.outside = true;
            rels.push_back(std::move(r));
            return;
        }
        std::optional<std::string> part = resolveTarget(m_source, target);
        if (!part || !m_zip.has(*part)) {
            // Some writers give package-absolute targets without the leading "/".
            if (auto absolute = resolveTarget("", target); absolute && m_zip.has(*absolute)) {
                part = std::move(absolute);
            }
        }
        if (part) {
            r.target = std::move(*part);
        } else {
            r.outside = true;
        }
        rels.push_back(std::move(r));
    }
    void endElement(std::string_view) override {}
    void text(const char*, std::size_t) override {}

private:
    const ZipReader& m_zip;
    std::string_view m_source;
};

} // namespace

std::vector<Relationship> readRels(const ZipReader& zip, std::string_view source) {
    const std::string part = source.empty() ? "_rels/.rels" : relsPartOf(source);
    RelsHandler h(zip, source);
    if (zip.has(part)) {
        parsePart(zip, part, h, kMaxSmallPart);
    }
    return std::move(h.rels);
}

const Relationship* findByType(const std::vector<Relationship>& rels, std::string_view type) {
    for (const Relationship& r : rels) {
        if (r.type == type) {
            return &r;
        }
    }
    return nullptr;
}

} // namespace quenly::wb::xlsx_read
