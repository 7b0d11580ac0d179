// Late-bound automation: values, object handles whose members are found by name at every call,
// and the registry that starts spreadsheet instances from a program identifier.
#pragma once

#include "cell_names.h" // CellErrorCode

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace quenly {

class AutomationObject;

/// A failed automation call. The message is meant for the user: it says what went wrong in
/// words they can act on (the file, the address, the member).
class AutomationError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// A value passed to or returned from an automation call.
class Variant {
public:
    enum class Type { Empty, Bool, Int, Double, Text, Error, Object };

    Variant() = default;
    Variant(bool b)
        : m_value(b) {}
    Variant(std::int32_t i)
        : m_value(i) {}
    Variant(double d)
        : m_value(d) {}
    Variant(std::string s)
        : m_value(std::move(s)) {}
    Variant(const char* s)
        : m_value(std::string(s)) {}
    Variant(CellErrorCode e)
        : m_value(e) {}
    Variant(std::shared_ptr<AutomationObject> o)
        : m_value(std::move(o)) {}

    Type type() const { return static_cast<Type>(m_value.index()); }
    bool isEmpty() const { return type() == Type::Empty; }

    /// Typed accessors; each throws AutomationError when the value holds another type.
    bool toBool() const;
    std::int32_t toInt() const;
    /// A number of either numeric type (or a boolean, as -1 and 0) as a double.
    double toDouble() const;
    const std::string& text() const;
    CellErrorCode errorCode() const;
    const std::shared_ptr<AutomationObject>& object() const;

    bool operator==(const Variant& other) const = default;

private:
    std::variant<std::monostate, bool, std::int32_t, double, std::string, CellErrorCode,
                 std::shared_ptr<AutomationObject>>
        m_value;
};

/// Converts a value to text the way the automation layer hands values to its callers:
/// empty gives "", booleans "TRUE" and "FALSE", numbers their shortest round-trip decimal form,
/// text itself. An error value or an object has no text form and throws AutomationError.
std::string variantToText(const Variant& value);

/// Short description of a value for messages and call records, such as 1, 2.5, "A1", false.
std::string describeVariant(const Variant& value);

/// How a member is invoked.
enum class CallKind { Method, PropertyGet, PropertyPut };

std::string_view callKindName(CallKind kind);

/// The server side of an automation object: members are looked up by name, then invoked by
/// the id the lookup gave. Implemented by spreadsheet back ends.
class AutomationObject : public std::enable_shared_from_this<AutomationObject> {
public:
    virtual ~AutomationObject() = default;

    /// The id of the member called `name`, or -1 when the object has no such member.
    /// Names match without regard to ASCII case.
    virtual int memberId(std::string_view name) const = 0;

    /// Invokes a member. For PropertyPut the last argument is the value assigned.
    /// Throws AutomationError with a user-readable message when the server refuses the call.
    virtual Variant invoke(int memberId, CallKind kind, std::span<const Variant> args) = 0;
};

/// A client handle to an automation object. Every call looks the member up by name on the
/// object and then invokes it; nothing is cached between calls.
class Dispatch {
public:
    Dispatch() = default;
    explicit Dispatch(std::shared_ptr<AutomationObject> object)
        : m_object(std::move(object)) {}

    bool isNull() const { return !m_object; }
    const std::shared_ptr<AutomationObject>& object() const { return m_object; }

    /// Calls `member` as a method. Throws AutomationError for an unknown member or a refusal.
    Variant call(std::string_view member, std::span<const Variant> args = {});
    /// Reads the property `member`, optionally indexed by one argument.
    Variant get(std::string_view member);
    Variant get(std::string_view member, const Variant& index);
    /// Assigns `value` to the property `member`.
    void put(std::string_view member, const Variant& value);

    /// Reads a property that yields an object and wraps it in a handle.
    Dispatch getObject(std::string_view member);
    Dispatch getObject(std::string_view member, const Variant& index);

private:
    Variant invoke(std::string_view member, CallKind kind, std::span<const Variant> args);

    std::shared_ptr<AutomationObject> m_object;
};

/// Maps program identifiers ("Excel.Application") to factories that start a new instance.
class ServerRegistry {
public:
    using Factory = std::function<std::shared_ptr<AutomationObject>()>;

    /// Registers (or replaces) the factory for `progId`. Identifiers match without regard to
    /// ASCII case.
    void registerServer(std::string progId, Factory factory);

    /// Starts a new instance. An unknown identifier, or a factory that fails, throws
    /// AutomationError saying the spreadsheet application cannot be started.
    Dispatch start(std::string_view progId) const;

private:
    std::map<std::string, Factory> m_factories;
};

/// The program identifier of the spreadsheet application.
inline constexpr std::string_view kSpreadsheetProgId = "Excel.Application";

} // namespace quenly
