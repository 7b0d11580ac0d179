// Late-bound automation: value conversions, by-name dispatch and the server registry.
#include "spreadsheet_automation.h"

#include <array>
#include <charconv>

namespace quenly {

namespace {

std::string lowerAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

[[noreturn]] void wrongType(std::string_view wanted, const Variant& v) {
    throw AutomationError("类型不匹配：需要" + std::string(wanted) + "，得到 " +
                          describeVariant(v));
}

std::string numberText(double d) {
    std::array<char, 32> buf{};
    auto res = std::to_chars(buf.data(), buf.data() + buf.size(), d);
    return std::string(buf.data(), res.ptr);
}

} // namespace

bool Variant::toBool() const {
    if (const bool* b = std::get_if<bool>(&m_value)) {
        return *b;
    }
    wrongType("布尔值", *this);
}

std::int32_t Variant::toInt() const {
    if (const std::int32_t* i = std::get_if<std::int32_t>(&m_value)) {
        return *i;
    }
    wrongType("整数", *this);
}

double Variant::toDouble() const {
    switch (type()) {
    case Type::Int:
        return std::get<std::int32_t>(m_value);
    case Type::Double:
        return std::get<double>(m_value);
    case Type::Bool:
        return std::get<bool>(m_value) ? -1.0 : 0.0;
    default:
        wrongType("数值", *this);
    }
}

const std::string& Variant::text() const {
    if (const std::string* s = std::get_if<std::string>(&m_value)) {
        return *s;
    }
    wrongType("文本", *this);
}

CellErrorCode Variant::errorCode() const {
    if (const CellErrorCode* e = std::get_if<CellErrorCode>(&m_value)) {
        return *e;
    }
    wrongType("错误值", *this);
}

const std::shared_ptr<AutomationObject>& Variant::object() const {
    if (const auto* o = std::get_if<std::shared_ptr<AutomationObject>>(&m_value)) {
        return *o;
    }
    wrongType("对象", *this);
}

std::string variantToText(const Variant& value) {
    switch (value.type()) {
    case Variant::Type::Empty:
        return {};
    case Variant::Type::Bool:
        return value.toBool() ? "TRUE" : "FALSE";
    case Variant::Type::Int:
        return std::to_string(value.toInt());
    case Variant::Type::Double:
        return numberText(value.toDouble());
    case Variant::Type::Text:
        return value.text();
    case Variant::Type::Error:
        throw AutomationError("单元格的值是错误值 " +
                              std::string(cellErrorText(value.errorCode())) + "，无法转换为文本");
    case Variant::Type::Object:
        break;
    }
    throw AutomationError("对象无法转换为文本");
}

std::string describeVariant(const Variant& value) {
    switch (value.type()) {
    case Variant::Type::Empty:
        return "(empty)";
    case Variant::Type::Bool:
        return value.toBool() ? "true" : "false";
    case Variant::Type::Int:
        return std::to_string(value.toInt());
    case Variant::Type::Double:
        return numberText(value.toDouble());
    case Variant::Type::Text:
        return "\"" + value.text() + "\"";
    case Variant::Type::Error:
        return std::string(cellErrorText(value.errorCode()));
    case Variant::Type::Object:
        return "(object)";
    }
    return "?";
}

std::string_view callKindName(CallKind kind) {
    switch (kind) {
    case CallKind::Method:
        return "method";
    case CallKind::PropertyGet:
        return "get";
    case CallKind::PropertyPut:
        return "put";
    }
    return "?";
}

Variant Dispatch::invoke(std::string_view member, CallKind kind, std::span<const Variant> args) {
    if (!m_object) {
        throw AutomationError("调用 " + std::string(member) + " 时对象不存在");
    }
    const int id = m_object->memberId(member);
    if (id < 0) {
        throw AutomationError("对象不支持成员 " + std::string(member));
    }
    return m_object->invoke(id, kind, args);
}

Variant Dispatch::call(std::string_view member, std::span<const Variant> args) {
    return invoke(member, CallKind::Method, args);
}

Variant Dispatch::get(std::string_view member) {
    return invoke(member, CallKind::PropertyGet, {});
}

Variant Dispatch::get(std::string_view member, const Variant& index) {
    return invoke(member, CallKind::PropertyGet, std::span<const Variant>(&index, 1));
}

void Dispatch::put(std::string_view member, const Variant& value) {
    invoke(member, CallKind::PropertyPut, std::span<const Variant>(&value, 1));
}

Dispatch Dispatch::getObject(std::string_view member) {
    Variant v = get(member);
    if (v.type() != Variant::Type::Object || !v.object()) {
        throw AutomationError("成员 " + std::string(member) + " 没有返回对象");
    }
    return Dispatch(v.object());
}

Dispatch Dispatch::getObject(std::string_view member, const Variant& index) {
    Variant v = get(member, index);
    if (v.type() != Variant::Type::Object || !v.object()) {
        throw AutomationError("成员 " + std::string(member) + " 没有返回对象");
    }
    return Dispatch(v.object());
}

void ServerRegistry::registerServer(std::string progId, Factory factory) {
    m_factories[lowerAscii(progId)] = std::move(factory);
}

Dispatch ServerRegistry::start(std::string_view progId) const {
    auto it = m_factories.find(lowerAscii(progId));
    if (it == m_factories.end()) {
        throw AutomationError("无法启动电子表格程序 " + std::string(progId) + "：未安装或未注册");
    }
    std::shared_ptr<AutomationObject> instance;
    try {
        instance = it->second();
    } catch (const std::exception& e) {
        throw AutomationError("无法启动电子表格程序 " + std::string(progId) + "：" + e.what());
    }
    if (!instance) {
        throw AutomationError("无法启动电子表格程序 " + std::string(progId));
    }
    return Dispatch(std::move(instance));
}

} // namespace quenly
