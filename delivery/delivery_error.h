// The fault of a delivery run, with a Chinese message for the user.
#pragma once

#include <stdexcept>

namespace quenly::delivery {

/// A fault of a delivery run, with a Chinese message for the user.
class DeliveryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace quenly::delivery
