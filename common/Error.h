#pragma once
#include <QString>
#include <stdexcept>

namespace varnelo {

// An error with a user-facing text. Operations throw it where a failure is meant
// to reach the unhandled-error dialog ("Information") with its own message.
class Error : public std::runtime_error {
public:
    explicit Error(const QString &message) : std::runtime_error(message.toStdString()), message_(message) {}
    const QString &message() const { return message_; }

private:
    QString message_;
};

} // namespace varnelo
