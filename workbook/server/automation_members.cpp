// The checks every member call goes through: how it is invoked, how many arguments it has, and
// what each argument holds.
#include "server/automation_members.h"

#include <cmath>

namespace quenly::wb {

namespace {

[[noreturn]] void wrongArg(std::string_view member, std::size_t i, std::string_view wanted,
                           const Variant& v) {
    throw AutomationError("成员 " + std::string(member) + " 的第 " + std::to_string(i + 1) +
                          " 个参数应为" + std::string(wanted) + "，收到 " + describeVariant(v));
}

Calls callOf(CallKind kind) {
    switch (kind) {
    case CallKind::Method:
        return Calls::Method;
    case CallKind::PropertyGet:
        return Calls::Get;
    case CallKind::PropertyPut:
        return Calls::Put;
    }
    return Calls::Method;
}

} // namespace

void requireKind(std::string_view member, CallKind kind, Calls calls) {
    if ((static_cast<unsigned>(callOf(kind)) & static_cast<unsigned>(calls)) != 0) {
        return;
    }
    std::string how;
    switch (kind) {
    case CallKind::Method:
        how = "作为方法调用";
        break;
    case CallKind::PropertyGet:
        how = "读取";
        break;
    case CallKind::PropertyPut:
        how = "赋值";
        break;
    }
    throw AutomationError("成员 " + std::string(member) + " 不能" + how);
}

void requireArgs(std::string_view member, Args args, std::size_t count) {
    if (args.size() != count) {
        throw AutomationError("成员 " + std::string(member) + " 需要 " + std::to_string(count) +
                              " 个参数，收到 " + std::to_string(args.size()) + " 个");
    }
}

const std::string& textArg(std::string_view member, Args args, std::size_t i) {
    if (args[i].type() != Variant::Type::Text) {
        wrongArg(member, i, "文本", args[i]);
    }
    return args[i].text();
}

std::int64_t indexArg(std::string_view member, Args args, std::size_t i) {
    const Variant& v = args[i];
    if (v.type() == Variant::Type::Int) {
        return v.toInt();
    }
    if (v.type() == Variant::Type::Double) {
        const double d = v.toDouble();
        if (std::isfinite(d) && d == std::floor(d) && std::fabs(d) < 1e15) {
            return static_cast<std::int64_t>(d);
        }
    }
    wrongArg(member, i, "整数序号", v);
}

double numberArg(std::string_view member, Args args, std::size_t i) {
    const Variant& v = args[i];
    if (v.type() == Variant::Type::Int || v.type() == Variant::Type::Double) {
        return v.toDouble();
    }
    wrongArg(member, i, "数值", v);
}

bool boolArg(std::string_view member, Args args, std::size_t i) {
    const Variant& v = args[i];
    if (v.type() == Variant::Type::Bool) {
        return v.toBool();
    }
    if (v.type() == Variant::Type::Int || v.type() == Variant::Type::Double) {
        return v.toDouble() != 0;
    }
    wrongArg(member, i, "布尔值", v);
}

} // namespace quenly::wb
