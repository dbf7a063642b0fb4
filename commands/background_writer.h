#pragma once

#include "document_writer.h"

#include <QMutex>
#include <QString>
#include <QStringView>
#include <QWaitCondition>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QThread;

namespace zariza {

// A DocumentWriter on a second thread: the text handed to add() is copied into chunks that the
// thread encodes and writes while the caller reads out the next ones. At most a few chunks are
// in flight, their buffers reused, so a large document costs no copy of its own.
class BackgroundWriter {
public:
    // `write` is called on the writer's thread only.
    explicit BackgroundWriter(std::function<void(QByteArrayView)> write);
    // Stops the thread; what was not written yet is dropped.
    ~BackgroundWriter();
    BackgroundWriter(const BackgroundWriter &) = delete;
    BackgroundWriter &operator=(const BackgroundWriter &) = delete;

    // Rethrows a failure of the thread, so that reading out stops at the first one.
    void add(QStringView text);
    // Writes the rest and the last line end (DocumentWriter::finishDocument) and waits for it;
    // rethrows a failure of the thread.
    void finishDocument();

private:
    void handOver();
    void run();
    std::optional<QString> nextChunk();
    bool stopped();
    void throwFailure();

    DocumentWriter m_writer; // used on the thread only
    QString m_chunk;         // being filled by the caller

    QMutex m_mutex;
    QWaitCondition m_changed;
    std::deque<QString> m_filled;   // waiting to be encoded
    std::vector<QString> m_spare;   // encoded, to be filled again
    qsizetype m_chunksInFlight = 0; // filled or being encoded
    bool m_ended = false;           // no more chunks
    bool m_stopped = false;         // nothing more is to be written
    std::exception_ptr m_failure;
    std::unique_ptr<QThread> m_thread;
};

} // namespace zariza
