// The platform's exception classes. Every error the platform raises is an Exception with a
// message a person can act on; handlers let them reach the default exception display.
#pragma once

#include <stdexcept>
#include <string>

namespace halvik {

class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& Message) : std::runtime_error(Message) {}
  std::string Message() const { return what(); }
};

// An object cannot be assigned to one of another class.
class EConvertError : public Exception { using Exception::Exception; };
// An operation on a graphic that its state does not allow (a row outside the image, say).
class EInvalidGraphicOperation : public Exception { using Exception::Exception; };
// Data that is not a valid image of the expected kind.
class EInvalidGraphic : public Exception { using Exception::Exception; };
// The platform could not get a resource: memory for a pixel store, a device context, a window.
class EOutOfResources : public Exception { using Exception::Exception; };
// Stream errors: a read or write that could not move the bytes asked for.
class EStreamError : public Exception { using Exception::Exception; };
class EReadError : public EStreamError { using EStreamError::EStreamError; };
class EWriteError : public EStreamError { using EStreamError::EStreamError; };
// A file could not be opened or created.
class EFOpenError : public EStreamError { using EStreamError::EStreamError; };
class EFCreateError : public EStreamError { using EStreamError::EStreamError; };

}  // namespace halvik
