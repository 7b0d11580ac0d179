// The one way tests take the message of a refusal: what an exception of the expected type says.
#pragma once

#include <exception>
#include <string>

namespace quenly::test {

/// The message of the exception of type E that `f` throws, or "(no error)" when it throws none.
/// Exceptions of other types pass through, so that a test never mistakes one for the refusal.
template <class E = std::exception, class F>
std::string errorOf(F&& f) {
    try {
        f();
    } catch (const E& e) {
        return e.what();
    }
    return "(no error)";
}

} // namespace quenly::test
