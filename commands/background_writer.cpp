#include "background_writer.h"

#include <QMutexLocker>
#include <QThread>
#include <utility>

namespace zariza {

namespace {

// Characters a chunk: a few milliseconds of encoding, small enough to stay in the cache.
constexpr qsizetype chunkLength = qsizetype(256) * 1024;
// Enough for the two sides to overlap; the buffers are reused.
constexpr qsizetype maxChunksInFlight = 4;

} // namespace

BackgroundWriter::BackgroundWriter(std::function<void(QByteArrayView)> write)
    : m_writer(std::move(write)) {
    m_chunk.reserve(chunkLength);
    m_thread.reset(QThread::create([this] { run(); }));
    m_thread->start();
}

BackgroundWriter::~BackgroundWriter() {
    {
        const QMutexLocker lock(&m_mutex);
        m_ended = true;
        m_stopped = true;
        m_filled.clear();
        m_changed.wakeAll();
    }
    m_thread->wait();
}

void BackgroundWriter::add(QStringView text) {
    while (!text.isEmpty()) {
        const qsizetype length = std::min(text.size(), chunkLength - m_chunk.size());
        m_chunk.append(text.first(length));
        text = text.sliced(length);
        if (m_chunk.size() == chunkLength)
            handOver();
    }
}

void BackgroundWriter::finishDocument() {
    handOver();
    {
        const QMutexLocker lock(&m_mutex);
        m_ended = true;
        m_changed.wakeAll();
    }
    m_thread->wait();
    throwFailure();
}

// Waits for a spare buffer while the thread is a few chunks behind.
void BackgroundWriter::handOver() {
    const QMutexLocker lock(&m_mutex);
    while (m_chunksInFlight >= maxChunksInFlight && !m_failure)
        m_changed.wait(&m_mutex);
    throwFailure();
    if (m_chunk.isEmpty())
        return;
    m_filled.push_back(std::move(m_chunk));
    ++m_chunksInFlight;
    m_changed.wakeAll();
    if (m_spare.empty()) {
        m_chunk = QString();
        m_chunk.reserve(chunkLength);
    } else {
        m_chunk = std::move(m_spare.back());
        m_spare.pop_back();
    }
}

void BackgroundWriter::run() {
    try {
        while (std::optional<QString> chunk = nextChunk()) {
            m_writer.add(*chunk);
            chunk->truncate(0);
            const QMutexLocker lock(&m_mutex);
            m_spare.push_back(std::move(*chunk));
            --m_chunksInFlight;
            m_changed.wakeAll();
        }
        if (!stopped())
            m_writer.finishDocument();
    } catch (...) {
        const QMutexLocker lock(&m_mutex);
        m_failure = std::current_exception();
        m_changed.wakeAll();
    }
}

// Nothing once the caller has ended or stopped.
std::optional<QString> BackgroundWriter::nextChunk() {
    const QMutexLocker lock(&m_mutex);
    while (m_filled.empty() && !m_ended)
        m_changed.wait(&m_mutex);
    if (m_stopped || m_filled.empty())
        return std::nullopt;
    QString chunk = std::move(m_filled.front());
    m_filled.pop_front();
    return chunk;
}

bool BackgroundWriter::stopped() {
    const QMutexLocker lock(&m_mutex);
    return m_stopped;
}

void BackgroundWriter::throwFailure() {
    if (m_failure)
        std::rethrow_exception(m_failure);
}

} // namespace zariza
