// Checks of mail addresses and hosts: one address of valid form, a loopback host.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quenly::delivery {

/// What is wrong with `address` as the one address of a person, in Chinese ("缺少“@”",
/// "写了不止一个地址"...), or nothing when it is a plain address of valid form
/// (local@domain.tld, ASCII, no spaces).
std::optional<std::string> addressProblem(std::string_view address);

/// Whether `host` is a loopback address: localhost, 127.0.0.0/8 or ::1.
bool isLoopback(std::string_view host);

/// `cell` as an address column may show it in messages and tables: a cell that holds only a
/// number (digits with separators, signs, a currency or percent sign) is shown as
/// "（数字，已隐去）", so that a wrong column given for the addresses never prints amounts.
std::string addressForDisplay(std::string_view cell);

} // namespace quenly::delivery
