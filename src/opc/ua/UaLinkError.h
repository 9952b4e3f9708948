// The errors of the link to an OPC UA server, below the chunks and their security, which
// both raise them.
#pragma once

#include <stdexcept>

// The link to the server failed or the server broke the protocol; what() is the text an
// engineer reads. The connection is closed afterwards.
class UaLinkError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
// A wait on the server that ran out of time (the channel says which bound it was).
class UaTimeoutError : public UaLinkError {
 public:
  using UaLinkError::UaLinkError;
};
