#pragma once
// Shared pieces of the libFuzzer targets: quiet Qt messages, a check that ends
// the run as a crash (so libFuzzer keeps the input), and a reader that splits
// one input into the values a target needs.
#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace varnelo::fuzz {

// Parsers may warn through Qt on bad input; thousands of lines a second only
// slow the run down and hide libFuzzer's own report.
inline void quietQt() {
    static const bool done = [] {
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
        return true;
    }();
    (void)done;
}

[[noreturn]] inline void fail(const char *what, const char *file, int line) {
    std::fprintf(stderr, "%s:%d: fuzz check failed: %s\n", file, line, what);
    std::abort();
}

// A property the parser promises for every input; a broken one is a finding.
#define FUZZ_CHECK(cond)                                                                                     \
    do {                                                                                                     \
        if (!(cond))                                                                                         \
            ::varnelo::fuzz::fail(#cond, __FILE__, __LINE__);                                                \
    } while (0)

// Takes values off the front of the input; what is left is the payload.
class Input {
public:
    Input(const uint8_t *data, size_t size) : data_(data), size_(size) {}
    uint8_t byte() {
        if (pos_ >= size_)
            return 0;
        return data_[pos_++];
    }
    uint16_t word() { return uint16_t(byte() | (byte() << 8)); }
    QByteArray rest() const {
        return QByteArray(reinterpret_cast<const char *>(data_ + pos_), qsizetype(size_ - pos_));
    }
    bool empty() const { return pos_ >= size_; }

private:
    const uint8_t *data_;
    size_t size_;
    size_t pos_ = 0;
};

inline QByteArray bytesOf(const uint8_t *data, size_t size) {
    return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
}

} // namespace varnelo::fuzz
