// Status and Result: how the core reports failures that input can cause.
//
// A Status is either OK or a failure with a code and a message that names what failed
// (usually a path). Result<T> is a value or the Status that explains why there is none.
// No exception crosses the core's interfaces.
#pragma once

#include <optional>
#include <string>
#include <utility>

#include "base/check.h"

namespace pix {

class Status {
 public:
  enum class Code {
    kOk,
    kNotFound,
    kCorrupt,
    kIoError,
    kInvalidArgument,
    kTooLarge,
    kExists,
    kRefused
  };

  Status() = default;
  static Status OK() { return Status(); }
  static Status NotFound(std::string message) {
    return Status(Code::kNotFound, std::move(message));
  }
  static Status Corrupt(std::string message) { return Status(Code::kCorrupt, std::move(message)); }
  static Status IoError(std::string message) { return Status(Code::kIoError, std::move(message)); }
  static Status InvalidArgument(std::string message) {
    return Status(Code::kInvalidArgument, std::move(message));
  }
  static Status TooLarge(std::string message) {
    return Status(Code::kTooLarge, std::move(message));
  }
  static Status Exists(std::string message) { return Status(Code::kExists, std::move(message)); }
  /// A change the program chose not to make, because the file's mode, owner or kind says
  /// that it should not; the message says why in one line.
  static Status Refused(std::string message) { return Status(Code::kRefused, std::move(message)); }

  bool ok() const { return code_ == Code::kOk; }
  Code code() const { return code_; }
  const std::string& message() const { return message_; }

 private:
  Status(Code code, std::string message) : code_(code), message_(std::move(message)) {}

  Code code_ = Code::kOk;
  std::string message_;
};

/// A value of type T, or the Status that says why there is none.
template <typename T>
class Result {
 public:
  Result(T value) : value_(std::move(value)) {}         // NOLINT: implicit by design
  Result(Status status) : status_(std::move(status)) {  // NOLINT: implicit by design
    PIX_CHECK(!status_.ok());
  }

  bool ok() const { return value_.has_value(); }
  const Status& status() const { return status_; }
  T& value() & { return *value_; }
  const T& value() const& { return *value_; }
  T&& value() && { return std::move(*value_); }
  T* operator->() { return &*value_; }
  const T* operator->() const { return &*value_; }
  T& operator*() { return *value_; }
  const T& operator*() const { return *value_; }

 private:
  std::optional<T> value_;
  Status status_;
};

}  // namespace pix
