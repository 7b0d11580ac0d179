// How the automation objects describe their members: a table of name, allowed ways of calling,
// argument count and handler per object, and the checks every call goes through.
#pragma once

#include "spreadsheet_automation.h"
#include "text_util.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace quenly::wb {

using Args = std::span<const Variant>;

/// The ways a member may be invoked, as a set.
enum class Calls : unsigned {
    Method = 1,
    Get = 2,
    Put = 4,
    /// A member that yields a value may be called as a method or read as a property.
    Value = Method | Get,
};

constexpr Calls operator|(Calls a, Calls b) {
    return static_cast<Calls>(static_cast<unsigned>(a) | static_cast<unsigned>(b));
}

/// Arguments of a member that takes an index or none (Worksheets, Workbooks).
inline constexpr int kOptionalIndex = -1;

/// One call as a member's handler receives it, its checks passed.
struct Call {
    std::string_view member;
    CallKind kind;
    Args args;
};

/// One member of an object of type Object: its name, how it may be invoked, the arguments a call
/// or a read takes (an assignment takes the value besides), and what it does.
template <class Object>
struct Member {
    std::string_view name;
    Calls calls;
    int args;
    Variant (*handler)(Object& self, const Call& call);
};

/// Throws AutomationError ("成员 X 不能…") when `kind` is not one of `calls`.
void requireKind(std::string_view member, CallKind kind, Calls calls);
/// Throws AutomationError when `args` does not hold `count` arguments.
void requireArgs(std::string_view member, Args args, std::size_t count);

/// Argument `i` as text, a whole-number index, a number or a truth value; anything else throws
/// AutomationError naming the member, the argument and what it received.
const std::string& textArg(std::string_view member, Args args, std::size_t i);
std::int64_t indexArg(std::string_view member, Args args, std::size_t i);
double numberArg(std::string_view member, Args args, std::size_t i);
bool boolArg(std::string_view member, Args args, std::size_t i);

/// The id of the member called `name` (ASCII letters compared without case), or -1.
template <class Object, std::size_t N>
int findMember(const std::array<Member<Object>, N>& members, std::string_view name) {
    for (std::size_t i = 0; i < N; ++i) {
        if (equalsIgnoreAsciiCase(members[i].name, name)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

/// Checks how member `id` is invoked and its argument count, then runs its handler.
template <class Object, std::size_t N>
Variant callMember(Object& self, const std::array<Member<Object>, N>& members, int id,
                   CallKind kind, Args args) {
    const Member<Object>& m = members.at(static_cast<std::size_t>(id));
    requireKind(m.name, kind, m.calls);
    if (m.args != kOptionalIndex) {
        requireArgs(m.name, args,
                    static_cast<std::size_t>(m.args) + (kind == CallKind::PropertyPut ? 1 : 0));
    }
    return m.handler(self, Call{m.name, kind, args});
}

} // namespace quenly::wb
