#include "split_decoding.h"

#include "large_buffers.h"

#include <algorithm>
#include <optional>
#include <system_error>
#include <thread>

namespace zariza {

namespace {

// Below this a second thread costs more than it saves.
constexpr qsizetype splitFrom = qsizetype(1) << 20;

} // namespace

QString decodeInHalves(QByteArrayView bytes, const DecodeInto &decodeInto, bool *clean) {
    QString text(bytes.size(), Qt::Uninitialized);
    adviseLargePages(text.data(), bytes.size() * qsizetype(sizeof(QChar)));
    auto *const begin = reinterpret_cast<char16_t *>(text.data());
    *clean = true;
    const qsizetype lineFeed =
        bytes.size() < splitFrom ? -1 : bytes.indexOf('\n', bytes.size() / 2);
    if (lineFeed < 0) {
        text.resize(decodeInto(bytes, begin, clean) - begin);
        return text;
    }
    // The second half is written where its bytes start, and moved down once the first is done:
    // the first half takes at most a unit a byte.
    const qsizetype split = lineFeed + 1;
    bool secondClean = true;
    char16_t *secondEnd = begin + split;
    const auto decodeSecond = [&] {
        secondEnd = decodeInto(bytes.sliced(split), begin + split, &secondClean);
    };
    std::optional<std::thread> second;
    try {
        second.emplace(decodeSecond);
    } catch (const std::system_error &) {
        decodeSecond(); // no thread to be had: one after the other
    }
    char16_t *end = decodeInto(bytes.first(split), begin, clean);
    if (second)
        second->join();
    end = std::copy(begin + split, secondEnd, end);
    *clean = *clean && secondClean;
    text.resize(end - begin);
    return text;
}

} // namespace zariza
