#pragma once
// What an operating system error means, in the user's words (Dutch), for the detail at the end
// of a message: "schijf vol" rather than "No space left on device".

#include <string>
#include <system_error>

namespace tivaro {

// The text for an errno value; the system's own text for the rare ones without a Dutch text.
std::string SystemErrorText(int errnum);
std::string SystemErrorText(const std::error_code& error);

}  // namespace tivaro
