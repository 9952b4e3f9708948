// The window's Slovenian text for an error of the plant connection. The client's own
// texts stay English (the command line prints them); the window shows what happened in
// Slovenian and keeps the server's status name (BadTimeout, …) beside it for the plant's
// IT department, and a server, computer or item it names.
#pragma once

#include <string>

// `english` is the what() of an OpcError (possibly "<server>: <link error>"). A text the
// table does not know becomes a general sentence with its status name, never English.
std::string OpcWindowText(const std::string& english);
